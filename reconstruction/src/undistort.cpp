#include "undistort.h"

#include <cmath>
#include <cstring>

namespace qzapi {

void UndistortKernel(const uint16_t* src, uint16_t* dst, int32_t width, int32_t height, int32_t channels,
                     const LensModel& l) {
  const std::size_t n = static_cast<std::size_t>(width) * height;
  if (l.fx == 0.0f || l.fy == 0.0f) {
    std::memset(dst, 0, n * channels * sizeof(uint16_t));
    return;
  }
  for (int32_t v = 0; v < height; ++v) {
    const float y = (static_cast<float>(v) - l.cy) / l.fy;
    for (int32_t u = 0; u < width; ++u) {
      const float x = (static_cast<float>(u) - l.cx) / l.fx;
      const float r2 = x * x + y * y;
      const float k = 1.0f + l.k1 * r2 + l.k2 * r2 * r2 + l.k3 * r2 * r2 * r2;
      const float sx = (x * k + 2.0f * l.p1 * x * y + l.p2 * (r2 + 2.0f * x * x)) * l.fx + l.cx + 0.5f;
      const float sy = (y * k + 2.0f * l.p2 * x * y + l.p1 * (r2 + 2.0f * y * y)) * l.fy + l.cy + 0.5f;
      uint16_t* out = dst + (static_cast<std::size_t>(v) * width + u) * channels;
      // Compared as floats first: far-off or non-finite positions never
      // reach the integer conversion.
      const bool inside = sx > 0.0f && sx < static_cast<float>(width) && sy > 0.0f &&
                          sy < static_cast<float>(height);
      const int32_t col = inside ? static_cast<int32_t>(sx) : -1;
      const int32_t row = inside ? static_cast<int32_t>(sy) : -1;
      if (col > 0 && col < width - 1 && row > 0 && row < height - 1) {
        const uint16_t* in = src + (static_cast<std::size_t>(row) * width + col) * channels;
        for (int32_t ch = 0; ch < channels; ++ch) out[ch] = in[ch];
      } else {
        for (int32_t ch = 0; ch < channels; ++ch) out[ch] = 0;
      }
    }
  }
}

}  // namespace qzapi
