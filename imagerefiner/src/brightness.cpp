#include "brightness.h"

#include <cmath>

#include <opencv2/core.hpp>

namespace qzapi::detail {

std::uint8_t BrightnessValue(std::uint8_t v, int offset, float gain) {
  const float value = static_cast<float>(v) * gain + static_cast<float>(offset);
  if (!(value > 0.0F)) {
    return 0;  // also NaN
  }
  if (value >= 255.0F) {
    return 255;
  }
  // nearbyint follows the default rounding mode: nearest, ties to even.
  return static_cast<std::uint8_t>(std::nearbyint(value));
}

void AdjustBrightnessBytes(std::uint8_t* data, std::size_t count, int offset, float gain) {
  // 256 possible inputs: a table gives the exact per-value result at the cost
  // of one lookup per byte.
  cv::Mat table(1, 256, CV_8UC1);
  for (int v = 0; v < 256; ++v) {
    table.at<std::uint8_t>(v) = BrightnessValue(static_cast<std::uint8_t>(v), offset, gain);
  }
  cv::Mat bytes(1, static_cast<int>(count), CV_8UC1, data);
  cv::Mat adjusted;
  cv::LUT(bytes, table, adjusted);
  adjusted.copyTo(bytes);
}

}  // namespace qzapi::detail
