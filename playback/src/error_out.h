// Filling the caller's pvx3_error out-argument, as the SDK's own objects do.
#pragma once

#include <string>

#include "parvolux3/pvx3.h"

namespace playback::detail {

inline void ok(pvx3::pvx3_error* e)
{
    if (e) {
        e->code = pvx3::PVX3_SUCCESS;
        e->message.clear();
    }
}

// Writes code and message into `e` (may be null) and returns `code`.
inline int fail(pvx3::pvx3_error* e, int code, const std::string& message)
{
    if (e) {
        e->code = code;
        e->message = message;
    }
    return code;
}

}  // namespace playback::detail
