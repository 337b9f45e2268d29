#pragma once

#include <QString>

// The camera SDK's version text, empty when it reports none.
QString sdk_version_text();

// Asks the SDK for the first camera. Returns false when there is no context
// or no device; otherwise stores its module-name text (empty when the SDK has
// none) in raw_name. The SDK objects belong to the SDK.
bool probe_first_module(QString *raw_name);
