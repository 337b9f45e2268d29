#include "texture_pattern.h"

#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace qzapi::detail {

void TextureGrey(const cv::Mat& image, cv::Mat& grey) {
  if (image.type() == CV_8UC3) {
    cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    return;
  }
  CV_Assert(image.channels() == 1);
  double mn = 0.0;
  double mx = 0.0;
  cv::minMaxLoc(image, &mn, &mx);
  if (mn == mx) {
    grey.create(image.size(), CV_8UC1);
    grey.setTo(cv::Scalar::all(0));
    return;
  }
  const double scale = 255.0 / (mx - mn);
  image.convertTo(grey, CV_8U, scale, -mn * scale);
}

void LocalBinaryPattern(const cv::Mat& grey, cv::Mat& pattern, cv::Mat& padded) {
  CV_Assert(grey.type() == CV_8UC1);
  cv::copyMakeBorder(grey, padded, 1, 1, 1, 1, cv::BORDER_REFLECT_101);
  pattern.create(grey.size(), CV_8UC1);
  const int cols = grey.cols;
  for (int r = 0; r < grey.rows; ++r) {
    const std::uint8_t* top = padded.ptr<std::uint8_t>(r);
    const std::uint8_t* mid = padded.ptr<std::uint8_t>(r + 1);
    const std::uint8_t* bot = padded.ptr<std::uint8_t>(r + 2);
    std::uint8_t* out = pattern.ptr<std::uint8_t>(r);
    // Branch-free so the compiler can vectorise the row.
    for (int c = 0; c < cols; ++c) {
      const std::uint8_t g = mid[c + 1];
      out[c] = static_cast<std::uint8_t>(
          (top[c] >= g ? 1 : 0) | (top[c + 1] >= g ? 2 : 0) | (top[c + 2] >= g ? 4 : 0) |
          (mid[c] >= g ? 8 : 0) | (mid[c + 2] >= g ? 16 : 0) | (bot[c] >= g ? 32 : 0) |
          (bot[c + 1] >= g ? 64 : 0) | (bot[c + 2] >= g ? 128 : 0));
    }
  }
}

void TexturePattern(const cv::Mat& image, cv::Mat& pattern, TextureScratch& scratch) {
  TextureGrey(image, scratch.grey);
  LocalBinaryPattern(scratch.grey, pattern, scratch.padded);
}

cv::Mat TextureGrey(const cv::Mat& image) {
  cv::Mat grey;
  TextureGrey(image, grey);
  return grey;
}

cv::Mat LocalBinaryPattern(const cv::Mat& grey) {
  cv::Mat pattern;
  cv::Mat padded;
  LocalBinaryPattern(grey, pattern, padded);
  return pattern;
}

cv::Mat TexturePattern(const cv::Mat& image) {
  cv::Mat pattern;
  TextureScratch scratch;
  TexturePattern(image, pattern, scratch);
  return pattern;
}

}  // namespace qzapi::detail
