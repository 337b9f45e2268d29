#include "depth_points.h"

#include <algorithm>
#include <cstddef>

namespace qzapi {

int32_t PointsMargin(int32_t binning, int32_t width) {
  int32_t m = binning > 0 ? 60 / binning : 60;
  if (width == 320) m /= 2;
  return m;
}

void DepthToPointsKernelReference(const PointsRequest& q) {
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

void DepthToPointsKernel(const PointsRequest& q) {
  const int32_t w = q.width, h = q.height, m = q.margin, kb = q.tableBinning;
  const std::size_t width = static_cast<std::size_t>(w);
  for (int32_t row = 0; row < h; ++row) {
    float* const out = q.xyz + 3 * width * row;
    // Columns [lo, hi] of this row satisfy every test of the reference.
    int32_t lo = std::max({2, m - row, row - h + m});
    int32_t hi = std::min({w - 2, w + h - m - row, w - m + row});
    if (row <= 1 || row > h - 2) hi = -1;
    lo = std::clamp(lo, 0, w);
    const int32_t end = std::clamp(hi + 1, lo, w);  // one past the run
    std::fill(out, out + 3 * static_cast<std::size_t>(lo), 0.0f);
    const uint16_t* const zs = q.depth + width * row;
    const std::size_t step = static_cast<std::size_t>(kb);
    const float* const rx = q.rayX + step * step * width * row;
    const float* const ry = q.rayY + step * step * width * row;
    for (int32_t col = lo; col < end; ++col) {
      const float z = zs[col];
      float* const p = out + 3 * static_cast<std::size_t>(col);
      p[0] = z * rx[step * col];
      p[1] = z * ry[step * col];
      p[2] = z;
    }
    std::fill(out + 3 * static_cast<std::size_t>(end), out + 3 * width, 0.0f);
  }
}

}  // namespace qzapi
