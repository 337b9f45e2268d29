// The depth colour ramp, directly (B, G, R) and through RefineDepth (R, G, B).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "depth_ramp.h"
#include "image_refine_impl.h"

namespace {

struct RampCase {
  std::string name;
  std::uint16_t depth;
  int nearLimit;
  int farLimit;
  int b, g, r;
};

// Limits 1000 and 2021 make f = d - 1000 exactly.
const std::vector<RampCase> kRampCases = {
    {"Invalid", 0, 1000, 2021, 0, 0, 0},
    {"Saturated", 1, 1000, 2021, 127, 0, 170},
    {"F0", 1000, 1000, 2021, 127, 0, 0},
    {"F128", 1128, 1000, 2021, 255, 0, 0},
    {"F129", 1129, 1000, 2021, 255, 1, 0},
    {"F383", 1383, 1000, 2021, 255, 255, 0},
    {"F384", 1384, 1000, 2021, 254, 255, 1},
    {"F638", 1638, 1000, 2021, 0, 255, 255},
    {"F639", 1639, 1000, 2021, 0, 254, 255},
    {"F893", 1893, 1000, 2021, 0, 0, 255},
    {"F894", 1894, 1000, 2021, 0, 0, 128},
    {"AtFarLimit", 2021, 1000, 2021, 0, 0, 128},
    {"BelowNear", 2, 1000, 2021, 127, 0, 0},
    {"AboveFar", 60000, 1000, 2021, 0, 0, 128},
    {"NearOf500", 500, 500, 1500, 127, 0, 0},
    {"FarOf1500", 1500, 500, 1500, 0, 0, 128},
    {"Beyond1500", 2000, 500, 1500, 0, 0, 128},
    {"BothLimitsEqualDepth", 700, 700, 700, 0, 0, 128},
    {"LimitsSwappedBetween", 1000, 1500, 500, 0, 0, 128},
    // f = (65535 + 2^31) / (2^32 - 1) * 1021 = 510.5: needs 64-bit differences.
    {"ExtremeLimits", 65535, -2147483647 - 1, 2147483647, 128, 255, 127},
};

class DepthRamp : public testing::TestWithParam<RampCase> {};

TEST_P(DepthRamp, GivesBgrTriple) {
  const RampCase& c = GetParam();
  const cv::Vec3b bgr = qzapi::detail::RampColour(c.depth, c.nearLimit, c.farLimit);
  EXPECT_EQ(bgr[0], c.b);
  EXPECT_EQ(bgr[1], c.g);
  EXPECT_EQ(bgr[2], c.r);
}

// A flat image has a flat texture pattern (255 everywhere), so every output
// channel is 0.8 * ramp + 0.2 * 255 - 80, rounded and clamped, in R, G, B.
TEST_P(DepthRamp, ReachesCallerAsRgbThroughRefineDepth) {
  const RampCase& c = GetParam();
  auto blend = [](int v) {
    return static_cast<int>(std::min(255.0, std::max(0.0, std::round(0.8 * v + 51.0 - 80.0))));
  };
  constexpr int kWidth = 5;
  constexpr int kHeight = 4;
  std::vector<std::uint16_t> depth(kWidth * kHeight, c.depth);
  std::vector<std::uint8_t> rgb(kWidth * kHeight * 3, 77);
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.RefineDepth(rgb.data(), depth.data(), kWidth, kHeight, c.nearLimit,
                                c.farLimit),
            0);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    ASSERT_EQ(rgb[3 * i + 0], blend(c.r)) << "pixel " << i;
    ASSERT_EQ(rgb[3 * i + 1], blend(c.g)) << "pixel " << i;
    ASSERT_EQ(rgb[3 * i + 2], blend(c.b)) << "pixel " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Boundaries, DepthRamp, testing::ValuesIn(kRampCases),
                         [](const testing::TestParamInfo<RampCase>& info) {
                           return info.param.name;
                         });

// Every row of a colourised image matches the per-value ramp, whatever mix of
// values (including 0, 1 and the extremes) the image holds.
TEST(ColouriseDepth, MatchesRampForEveryPixel) {
  cv::Mat depth(3, 6, CV_16UC1);
  const std::uint16_t values[] = {0, 1, 2, 999, 1000, 1500, 2021, 2022, 65535,
                                  1129, 1384, 1639, 1893, 1894, 300, 40000, 7, 1700};
  std::copy(std::begin(values), std::end(values), depth.ptr<std::uint16_t>(0));
  const cv::Mat colour = qzapi::detail::ColouriseDepth(depth, 1000, 2021);
  ASSERT_EQ(colour.type(), CV_8UC3);
  ASSERT_EQ(colour.size(), depth.size());
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(colour.at<cv::Vec3b>(i / 6, i % 6),
              qzapi::detail::RampColour(values[i], 1000, 2021))
        << "value " << values[i];
  }
}

}  // namespace
