#pragma once

#include <QString>

namespace pvx3 {
class context;
}

// The camera SDK's version text, empty when it reports none.
QString sdk_version_text();

// A new SDK context (null when the SDK cannot make one). The SDK's
// configuration variables are read here; the context belongs to the SDK.
pvx3::context* create_sdk_context();

// Asks `context` for its first camera. Returns false when there is no context
// or no camera connected; otherwise stores its module-name text (empty when
// the SDK has none) in raw_name. The SDK objects belong to the SDK.
bool probe_first_module(pvx3::context* context, QString* raw_name);
