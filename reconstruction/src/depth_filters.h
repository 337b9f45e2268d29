// In-place filters on 16-bit depth images (mm, 0 = invalid), W x H row-major.
#pragma once

#include <cstdint>

namespace qzapi {

void MedianFilter(uint16_t* depth, int32_t width, int32_t height, int32_t window, int32_t passes);
void BlockDeviationFilter(uint16_t* depth, int32_t width, int32_t height, int32_t threshold);
void SmallRegionFilter(uint16_t* depth, int32_t width, int32_t height, int32_t maxSize, int32_t maxStep);
void SpikeFilter(uint16_t* depth, int32_t width, int32_t height);
void FlyingPixelFilter(uint16_t* depth, int32_t width, int32_t height, int32_t factor);
void GaussianFilter(uint16_t* depth, int32_t width, int32_t height, int32_t window, int32_t passes);

}  // namespace qzapi
