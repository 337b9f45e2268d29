#include "point_cloud.h"

#include <algorithm>

#include "undistort_maps.h"

namespace qzapi::detail {

namespace {
constexpr std::uint32_t kUndefinedColourByte = 0xFF000000U;
}

int CornerMargin(int width, bool halfCornerMargin) {
  const int scale = width == 320 ? 2 : 1;
  const int margin = 80 / scale;
  return halfCornerMargin ? margin / 2 : margin;
}

KeptSpan KeptColumns(int row, int width, int height, int margin) {
  if (row < 2 || row > height - 2) {
    return {0, -1};
  }
  // The corner triangles row + col < m, row + col > h + w - m,
  // col - row > w - m and row - col > h - m, solved for col, narrow the
  // 2-pixel frame [2, w - 2].
  const int first = std::max({2, margin - row, row - (height - margin)});
  const int last = std::min({width - 2, height + width - margin - row, width - margin + row});
  return {first, last};
}

void BackProject(RefinedPoint* points, const std::uint8_t* colours, const std::uint16_t* depth,
                 int height, int width, const float* mapX, const float* mapY,
                 bool halfCornerMargin) {
  const int scale = width == 320 ? 2 : 1;
  const int margin = CornerMargin(width, halfCornerMargin);
  for (int row = 0; row < height; ++row) {
    const KeptSpan span = KeptColumns(row, width, height, margin);
    const int rowStart = row * width;
    // Entry (scale * row, scale * col) of the 640 x 480 maps.
    const float* mx = mapX + scale * row * kMapWidth;
    const float* my = mapY + scale * row * kMapWidth;
    for (int col = 0; col < width; ++col) {
      const int i = rowStart + col;
      const float z = static_cast<float>(depth[i]);
      if (!(z > 0.0F)) {
        continue;
      }
      RefinedPoint& p = points[i];
      const std::uint32_t keptTop = p.colour & kUndefinedColourByte;
      if (col < span.first || col > span.last) {
        p.x = 0.0F;
        p.y = 0.0F;
        p.z = 0.0F;
        p.colour = keptTop;
        continue;
      }
      const std::uint8_t* rgb = colours + 3 * i;
      p.x = z * mx[scale * col];
      p.y = z * my[scale * col];
      p.z = z;
      p.colour = keptTop | static_cast<std::uint32_t>(rgb[0]) |
                 (static_cast<std::uint32_t>(rgb[1]) << 8) |
                 (static_cast<std::uint32_t>(rgb[2]) << 16);
    }
  }
}

}  // namespace qzapi::detail
