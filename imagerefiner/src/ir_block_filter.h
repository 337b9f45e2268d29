// Block-deviation filter for infrared images: keeps a pixel only where the
// 2 x 2 block it starts is flat, which removes speckle before texturing.
#pragma once

#include <opencv2/core.hpp>

namespace qzapi::detail {

// Spread above which a block is dropped: sqrt of the summed squared
// differences from the block's integer mean, truncated.
constexpr int kIrBlockMaxSpread = 50;

// In place on a CV_16UC1 image. Pixel (r, c) survives, for r in
// 2..rows-2 and c in 0..cols-2, when the block (r..r+1, c..c+1) has a spread
// of at most kIrBlockMaxSpread; every other pixel becomes 0 (so rows 0, 1 and
// rows-1 and the last column always do). `scratch` receives the previous
// pixels; its storage is reused between calls.
void IrBlockDeviationFilter(cv::Mat& infrared, cv::Mat& scratch);

// As above with a scratch image of its own.
void IrBlockDeviationFilter(cv::Mat& infrared);

}  // namespace qzapi::detail
