#include "texture_blend.h"

#include <array>
#include <cmath>

namespace qzapi::detail {

namespace {
// Every (colour, texture) pair, so the per-pixel work is three lookups that
// also swap B and R on the way out.
using BlendTable = std::array<std::uint8_t, 256 * 256>;

const BlendTable& Table() {
  static const BlendTable table = [] {
    BlendTable t{};
    for (int c = 0; c < 256; ++c) {
      for (int g = 0; g < 256; ++g) {
        t[c * 256 + g] = BlendChannel(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(g));
      }
    }
    return t;
  }();
  return table;
}
}  // namespace

std::uint8_t BlendChannel(std::uint8_t colour, std::uint8_t texture) {
  const double v = std::nearbyint(0.8 * colour + 0.2 * texture - 80.0);
  return static_cast<std::uint8_t>(v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v));
}

void BlendTextureToRgb(const cv::Mat& colourBgr, const cv::Mat& texture, std::uint8_t* rgbOut) {
  CV_Assert(colourBgr.type() == CV_8UC3 && texture.type() == CV_8UC1 &&
            colourBgr.size() == texture.size());
  const BlendTable& table = Table();
  const int cols = colourBgr.cols;
  for (int r = 0; r < colourBgr.rows; ++r) {
    const std::uint8_t* bgr = colourBgr.ptr<std::uint8_t>(r);
    const std::uint8_t* tex = texture.ptr<std::uint8_t>(r);
    std::uint8_t* out = rgbOut + static_cast<std::size_t>(r) * cols * 3;
    for (int c = 0; c < cols; ++c) {
      const std::uint8_t* row = &table[static_cast<std::size_t>(tex[c])];
      out[3 * c + 0] = row[256 * bgr[3 * c + 2]];
      out[3 * c + 1] = row[256 * bgr[3 * c + 1]];
      out[3 * c + 2] = row[256 * bgr[3 * c + 0]];
    }
  }
}

}  // namespace qzapi::detail
