// Infrared block-deviation filter on small hand-written images.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "ir_block_filter.h"

namespace {

using qzapi::detail::IrBlockDeviationFilter;

cv::Mat Filtered(cv::Mat image) {
  IrBlockDeviationFilter(image);
  return image;
}

TEST(IrBlockDeviationFilter, FlatBlocksKeepTopLeftNoisyBlocksClear) {
  // clang-format off
  const cv::Mat ir = (cv::Mat_<std::uint16_t>(6, 5) <<
      9,   9,   9,   9, 9,
      9,   9,   9,   9, 9,
    100, 100, 100, 700, 9,
    100, 100, 100, 900, 9,
    100, 100, 100, 100, 9,
      9,   9,   9,   9, 9);
  // Rows 0, 1 and 5 and column 4 are never kept. Row 2: blocks at columns
  // 0 and 1 are flat; columns 2 and 3 hold 700/900 (spread in the hundreds).
  // Row 3: block at column 2 holds 900, column 3 holds 900 and 9s.
  // Row 4: blocks reach row 5's 9s (mean 54, spread sqrt(8282) ~ 91).
  const cv::Mat expected = (cv::Mat_<std::uint16_t>(6, 5) <<
      0,   0, 0, 0, 0,
      0,   0, 0, 0, 0,
    100, 100, 0, 0, 0,
    100, 100, 0, 0, 0,
      0,   0, 0, 0, 0,
      0,   0, 0, 0, 0);
  // clang-format on
  const cv::Mat out = Filtered(ir.clone());
  EXPECT_EQ(cv::norm(out, expected, cv::NORM_INF), 0.0) << out;
}

struct SpreadCase {
  const char* name;
  std::uint16_t a, b, c, d;  // block: a b / c d
  bool kept;
};

// Values v, v, v + s, v + s have mean v + s / 2 and spread exactly s when s
// is even; s = 51 gives 25, 25, 26, 26 around the truncated mean: sqrt(2602).
const SpreadCase kSpreadCases[] = {
    {"Flat", 500, 500, 500, 500, true},
    {"SpreadFifty", 500, 500, 550, 550, true},
    {"SpreadJustOverFifty", 500, 500, 551, 551, false},
    {"SpreadFiftyTwo", 500, 500, 552, 552, false},
    {"FullScaleFlat", 65535, 65535, 65535, 65535, true},
    {"FullScaleChecker", 0, 65535, 65535, 0, false},
    {"ZeroBlock", 0, 0, 0, 0, true},
};

class IrBlockSpread : public testing::TestWithParam<SpreadCase> {};

TEST_P(IrBlockSpread, KeepsBlockUpToSpreadFifty) {
  const SpreadCase& s = GetParam();
  cv::Mat ir(5, 3, CV_16UC1, cv::Scalar(0));
  ir.at<std::uint16_t>(2, 0) = s.a;
  ir.at<std::uint16_t>(2, 1) = s.b;
  ir.at<std::uint16_t>(3, 0) = s.c;
  ir.at<std::uint16_t>(3, 1) = s.d;
  const cv::Mat out = Filtered(ir);
  EXPECT_EQ(out.at<std::uint16_t>(2, 0), s.kept ? s.a : 0);
}

INSTANTIATE_TEST_SUITE_P(Threshold, IrBlockSpread, testing::ValuesIn(kSpreadCases),
                         [](const testing::TestParamInfo<SpreadCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(IrBlockDeviationFilter, ThreeRowsOrFewerBecomeZero) {
  for (int rows = 1; rows <= 3; ++rows) {
    const cv::Mat out = Filtered(cv::Mat(rows, 4, CV_16UC1, cv::Scalar(321)));
    EXPECT_EQ(cv::countNonZero(out), 0) << rows << " rows";
  }
  // Four rows: only row 2 (minus its last column) survives.
  const cv::Mat out = Filtered(cv::Mat(4, 4, CV_16UC1, cv::Scalar(321)));
  EXPECT_EQ(cv::countNonZero(out), 3);
  EXPECT_EQ(cv::countNonZero(out.row(2).colRange(0, 3) != 321), 0);
}

}  // namespace
