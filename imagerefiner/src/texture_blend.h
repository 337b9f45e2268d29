// Final step of both refinement operations: blend a grey texture into the
// ramp colours and emit R, G, B.
#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

namespace qzapi::detail {

// One channel: 0.8 * colour + 0.2 * texture - 80, rounded to nearest and
// clamped to 0..255 (the value never falls on a tie: it is a multiple of 0.2).
std::uint8_t BlendChannel(std::uint8_t colour, std::uint8_t texture);

// colourBgr: CV_8UC3 (B, G, R); texture: CV_8UC1 of the same size, applied to
// all three channels. Writes rows * cols * 3 bytes (R, G, B) to rgbOut.
void BlendTextureToRgb(const cv::Mat& colourBgr, const cv::Mat& texture, std::uint8_t* rgbOut);

}  // namespace qzapi::detail
