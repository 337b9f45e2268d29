// Filling the caller's pvx3_error out-argument.
#pragma once

#include "parvolux3/pvx3.h"

namespace pvx3::detail {

// Writes code and message into `error` (may be null) and returns `code`.
int report(pvx3_error* error, int code, const char* message);
inline int report_ok(pvx3_error* error) { return report(error, PVX3_SUCCESS, ""); }

}  // namespace pvx3::detail
