// Version text of the SDK.
#pragma once

namespace pvx3::detail {
inline constexpr const char* kSdkVersion = "v0.6.0.3";
}
