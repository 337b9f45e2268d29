#include "depth_ramp.h"

#include <algorithm>
#include <cmath>

namespace qzapi::detail {

int RampIndex(std::uint16_t d, int nearLimit, int farLimit) {
  // 64-bit differences: the limits may be any 32-bit values.
  const std::int64_t value = d;
  const std::int64_t lo = std::min<std::int64_t>(nearLimit, value);
  const std::int64_t hi = std::max<std::int64_t>(farLimit, value);
  const double ratio =
      static_cast<double>(value - lo) / static_cast<double>(hi - lo) * 1021.0;
  if (!(ratio >= 0.0) || ratio > 1021.0) {
    return -1;  // NaN (d equal to both limits); converting it would be undefined
  }
  return static_cast<int>(ratio);
}

cv::Vec3b RampColour(std::uint16_t d, int nearLimit, int farLimit) {
  if (d == 0) {
    return {0, 0, 0};
  }
  if (d == 1) {
    return {127, 0, 170};
  }
  const int f = RampIndex(d, nearLimit, farLimit);
  auto u8 = [](int v) { return static_cast<std::uint8_t>(v); };
  if (f >= 0 && f <= 128) {
    return {u8(127 + f), 0, 0};
  }
  if (f >= 129 && f <= 383) {
    return {255, u8(f - 128), 0};
  }
  if (f >= 384 && f <= 638) {
    return {u8(638 - f), 255, u8(f - 383)};
  }
  if (f >= 639 && f <= 893) {
    return {0, u8(893 - f), 255};
  }
  return {0, 0, 128};
}

void ColouriseDepth(const cv::Mat& depth, int nearLimit, int farLimit, cv::Mat& colour,
                    std::vector<cv::Vec3b>& table) {
  CV_Assert(depth.type() == CV_16UC1);
  // Colours depend on the value alone: a table over the values present costs
  // far less than the ramp's division per pixel.
  double mn = 0.0;
  double mx = 0.0;
  cv::minMaxLoc(depth, &mn, &mx);
  const int first = static_cast<int>(mn);
  const int last = static_cast<int>(mx);
  table.resize(static_cast<std::size_t>(last - first + 1));
  for (int v = first; v <= last; ++v) {
    table[static_cast<std::size_t>(v - first)] =
        RampColour(static_cast<std::uint16_t>(v), nearLimit, farLimit);
  }
  colour.create(depth.size(), CV_8UC3);
  for (int r = 0; r < depth.rows; ++r) {
    const auto* in = depth.ptr<std::uint16_t>(r);
    auto* out = colour.ptr<cv::Vec3b>(r);
    for (int c = 0; c < depth.cols; ++c) {
      out[c] = table[in[c] - first];
    }
  }
}

cv::Mat ColouriseDepth(const cv::Mat& depth, int nearLimit, int farLimit) {
  cv::Mat colour;
  std::vector<cv::Vec3b> table;
  ColouriseDepth(depth, nearLimit, farLimit, colour, table);
  return colour;
}

}  // namespace qzapi::detail
