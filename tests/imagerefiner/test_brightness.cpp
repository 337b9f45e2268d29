// AdjustBrightness: v * gain + offset, rounded with ties to even, clamped.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image_refine_impl.h"

namespace {

struct BrightnessCase {
  const char* name;
  int offset;
  float gain;
  std::uint8_t in;
  std::uint8_t out;
};

const BrightnessCase kCases[] = {
    {"Zero", 30, 1.3F, 0, 30},
    {"Hundred", 30, 1.3F, 100, 160},
    {"ClampsHigh", 30, 1.3F, 200, 255},
    {"HalfOfOneTiesDownToZero", 0, 0.5F, 1, 0},
    {"HalfOfThreeTiesUpToTwo", 0, 0.5F, 3, 2},
    {"HalfOfFiveTiesDownToTwo", 0, 0.5F, 5, 2},
    {"HalfOfSevenTiesUpToFour", 0, 0.5F, 7, 4},
    {"IrTextureTieUp", 80, 0.5F, 255, 208},    // 207.5
    {"IrTextureTieDown", 80, 0.5F, 253, 206},  // 206.5
    {"ClampsLow", -10, 1.0F, 5, 0},
    {"NegativeGain", 0, -1.0F, 50, 0},
    {"HugeOffset", 2000000000, 1.0F, 3, 255},
};

class AdjustBrightness : public testing::TestWithParam<BrightnessCase> {};

TEST_P(AdjustBrightness, MapsEveryChannel) {
  const BrightnessCase& c = GetParam();
  constexpr int kWidth = 3;
  constexpr int kHeight = 2;
  std::vector<std::uint8_t> rgb(kWidth * kHeight * 3, c.in);
  rgb.push_back(11);  // guard byte after the image
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.AdjustBrightness(rgb.data(), kWidth, kHeight, c.offset, c.gain), 0);
  for (int i = 0; i < kWidth * kHeight * 3; ++i) {
    ASSERT_EQ(rgb[i], c.out) << "byte " << i;
  }
  EXPECT_EQ(rgb.back(), 11) << "wrote past the image";
}

INSTANTIATE_TEST_SUITE_P(Values, AdjustBrightness, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<BrightnessCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(AdjustBrightnessArguments, RefusedCallsLeaveBufferUntouched) {
  qzapi::ImageRefineImpl refiner;
  std::vector<std::uint8_t> rgb(12, 100);
  EXPECT_EQ(refiner.AdjustBrightness(nullptr, 2, 2, 30, 1.3F), -3);
  EXPECT_EQ(refiner.AdjustBrightness(rgb.data(), 0, 2, 30, 1.3F), -3);
  EXPECT_EQ(refiner.AdjustBrightness(rgb.data(), 2, -1, 30, 1.3F), -3);
  EXPECT_EQ(refiner.AdjustBrightness(rgb.data(), 65536, 65536, 30, 1.3F), -3);
  EXPECT_EQ(rgb, std::vector<std::uint8_t>(12, 100));
}

}  // namespace
