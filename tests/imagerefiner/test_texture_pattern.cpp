// Texture pattern: grey conversion, stretching and the 8-neighbour pattern,
// including the mirrored border chosen for the outermost pixels.
#include <cstdint>

#include <gtest/gtest.h>

#include "texture_pattern.h"

namespace {

using qzapi::detail::LocalBinaryPattern;
using qzapi::detail::TextureGrey;
using qzapi::detail::TexturePattern;

TEST(LocalBinaryPattern, CodesEachNeighbourBit) {
  // clang-format off
  const cv::Mat grey = (cv::Mat_<std::uint8_t>(3, 3) <<
      1, 2, 3,
      4, 5, 6,
      7, 8, 9);
  // Centre 5: right 6 (16), bottom-left 7 (32), bottom 8 (64), bottom-right 9 (128).
  // Corner 1 mirrors onto larger neighbours only: 255.
  // Top edge 2: row -1 mirrors row 1 (4, 5, 6); only the left 1 is smaller: 255 - 8.
  // Right edge 6: column 3 mirrors column 1 (2, 5, 8); only the bottom row
  // (8, 9, 8) is >= 6: 32 + 64 + 128.
  // Bottom-left 7: only the row itself (8 on both sides) counts: 8 + 16.
  // Corner 9: every neighbour, mirrored or not, is smaller: 0.
  const cv::Mat expected = (cv::Mat_<std::uint8_t>(3, 3) <<
      255, 247, 231,
      248, 240, 224,
       24,  16,   0);
  // clang-format on
  const cv::Mat pattern = LocalBinaryPattern(grey);
  ASSERT_EQ(pattern.type(), CV_8UC1);
  EXPECT_EQ(cv::norm(pattern, expected, cv::NORM_INF), 0.0) << pattern;
}

TEST(LocalBinaryPattern, EqualNeighboursCountAsGreaterOrEqual) {
  const cv::Mat flat(4, 5, CV_8UC1, cv::Scalar(42));
  const cv::Mat pattern = LocalBinaryPattern(flat);
  EXPECT_EQ(cv::countNonZero(pattern != 255), 0) << pattern;
}

TEST(LocalBinaryPattern, SinglePixelAndSingleRowMirrorOntoThemselves) {
  EXPECT_EQ(LocalBinaryPattern(cv::Mat(1, 1, CV_8UC1, cv::Scalar(9))).at<std::uint8_t>(0), 255);
  // Row 3 7 5: the middle pixel sees 3 and 5 on both sides, above and below.
  const cv::Mat row = (cv::Mat_<std::uint8_t>(1, 3) << 3, 7, 5);
  EXPECT_EQ(LocalBinaryPattern(row).at<std::uint8_t>(0, 1), 2 + 64);
}

TEST(TextureGrey, StretchesOneChannelImageOntoFullRange) {
  const cv::Mat depth = (cv::Mat_<std::uint16_t>(1, 4) << 1000, 1100, 1255, 1001);
  const cv::Mat grey = TextureGrey(depth);
  ASSERT_EQ(grey.type(), CV_8UC1);
  const cv::Mat expected = (cv::Mat_<std::uint8_t>(1, 4) << 0, 100, 255, 1);
  EXPECT_EQ(cv::norm(grey, expected, cv::NORM_INF), 0.0) << grey;
}

TEST(TextureGrey, ConstantOneChannelImageIsAllZero) {
  const cv::Mat depth(3, 3, CV_16UC1, cv::Scalar(1234));
  const cv::Mat grey = TextureGrey(depth);
  ASSERT_EQ(grey.type(), CV_8UC1);
  EXPECT_EQ(cv::countNonZero(grey), 0);
  EXPECT_EQ(cv::countNonZero(TexturePattern(depth) != 255), 0);
}

TEST(TextureGrey, ColourImageUsesLuminanceOfBgr) {
  // Pure blue and pure red differ in luminance weight (0.114 vs 0.299), which
  // tells B, G, R from R, G, B.
  cv::Mat colour(1, 2, CV_8UC3);
  colour.at<cv::Vec3b>(0, 0) = {255, 0, 0};
  colour.at<cv::Vec3b>(0, 1) = {0, 0, 255};
  const cv::Mat grey = TextureGrey(colour);
  EXPECT_NEAR(grey.at<std::uint8_t>(0, 0), 29, 1);
  EXPECT_NEAR(grey.at<std::uint8_t>(0, 1), 76, 1);
}

}  // namespace
