// Texture pattern: an 8-neighbour local binary pattern of an image's grey
// levels, used to make surfaces readable in the refined colour images.
#pragma once

#include <opencv2/core.hpp>

namespace qzapi::detail {

// Grey image of a CV_8UC3 (B, G, R) image, or of a one-channel image
// stretched by its own minimum and maximum onto 0..255. A constant
// one-channel image has no range to stretch and gives all 0.
void TextureGrey(const cv::Mat& image, cv::Mat& grey);

// Pattern of a CV_8UC1 image: bit set where a neighbour is >= the centre
// (top-left 1, top 2, top-right 4, left 8, right 16, bottom-left 32,
// bottom 64, bottom-right 128). Border pixels use mirrored neighbours
// (reflect-101), the border rule of the filters around it. `padded` is
// scratch space.
void LocalBinaryPattern(const cv::Mat& grey, cv::Mat& pattern, cv::Mat& padded);

// Working images of TexturePattern, kept by callers that run it per frame so
// that their storage is reused.
struct TextureScratch {
  cv::Mat grey;
  cv::Mat padded;
};

// LocalBinaryPattern(TextureGrey(image)) into pattern (CV_8UC1).
void TexturePattern(const cv::Mat& image, cv::Mat& pattern, TextureScratch& scratch);

// Convenience forms returning new images.
cv::Mat TextureGrey(const cv::Mat& image);
cv::Mat LocalBinaryPattern(const cv::Mat& grey);
cv::Mat TexturePattern(const cv::Mat& image);

}  // namespace qzapi::detail
