#include "depth_points.h"

#include <cstddef>

namespace qzapi {

int32_t PointsMargin(int32_t binning, int32_t width) {
  int32_t m = binning > 0 ? 60 / binning : 60;
  if (width == 320) m /= 2;
  return m;
}

void DepthToPointsKernel(const PointsRequest& q) {
  const int32_t w = q.width, h = q.height, m = q.margin, kb = q.tableBinning;
  for (int32_t row = 0; row < h; ++row) {
    for (int32_t col = 0; col < w; ++col) {
      const std::size_t i = static_cast<std::size_t>(row) * w + col;
      float* p = q.xyz + 3 * i;
      const bool inside = row > 1 && col > 1 && col <= w - 2 && row <= h - 2 && row + col >= m &&
                          row + col <= w + h - m && col - row <= w - m && row - col <= h - m;
      if (!inside) {
        p[0] = p[1] = p[2] = 0.0f;
        continue;
      }
      const float z = q.depth[i];
      const std::size_t idx = static_cast<std::size_t>(kb) * (col + static_cast<std::size_t>(w) * row * kb);
      p[0] = z * q.rayX[idx];
      p[1] = z * q.rayY[idx];
      p[2] = z;
    }
  }
}

}  // namespace qzapi
