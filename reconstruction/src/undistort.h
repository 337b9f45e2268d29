// Lens undistortion of an image by inverse mapping.
#pragma once

#include <cstdint>

#include "pixel_tables.h"

namespace qzapi {

// Built-in colour camera model for blocks without colour intrinsics.
constexpr LensModel kBuiltInColourLens{948.63586f, 944.20496f, 983.40295f, 575.1525f, -0.09826878f,
                                       0.014067019f, 0.0033607031f, 0.001895969f, 0.003046452f};

// `channels` 16-bit elements per pixel (1 or 3). A zero focal length zeroes
// `dst`.
void UndistortKernel(const uint16_t* src, uint16_t* dst, int32_t width, int32_t height, int32_t channels,
                     const LensModel& lens);

}  // namespace qzapi
