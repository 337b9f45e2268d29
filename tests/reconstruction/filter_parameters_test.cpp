// SetFilterParameter / GetFilterParameter rules, row by row.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reconstruction_impl.h"

namespace {

using qzapi::FilterSettings;

struct ParameterCase {
  std::string name;
  int32_t code;
  std::vector<float> values;
  int32_t expectedReturn;
  std::vector<std::pair<FilterSettings::Index, uint16_t>> expectedSettings;
  std::vector<float> expectedWrittenBack;
};

class FilterParameterRules : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(FilterParameterRules, StoresClampsAndReturns) {
  const ParameterCase& c = GetParam();
  qzapi::ReconstructionImpl impl;
  std::vector<float> values = c.values;
  EXPECT_EQ(impl.SetFilterParameter(c.code, values.data(), static_cast<int32_t>(values.size())), c.expectedReturn);
  for (const auto& [index, value] : c.expectedSettings) EXPECT_EQ(impl.filterSettings->values[index], value) << index;
  if (!c.expectedWrittenBack.empty()) {
    EXPECT_EQ(values, c.expectedWrittenBack);
  }
}

using I = FilterSettings;
INSTANTIATE_TEST_SUITE_P(
    Rules, FilterParameterRules,
    ::testing::Values(
        ParameterCase{"MedianFourIsRefusedPassesStored", 1, {4, 2}, 0, {{I::MedianWindow, 3}, {I::MedianPasses, 2}}, {}},
        ParameterCase{"MedianFive", 1, {5, 1}, 5, {{I::MedianWindow, 5}, {I::MedianPasses, 1}}, {}},
        ParameterCase{"MedianClampedToFive", 1, {9, 3}, 5, {{I::MedianWindow, 5}, {I::MedianPasses, 3}}, {5, 3}},
        ParameterCase{"MedianSingleValueNotClamped", 1, {9}, 0, {{I::MedianWindow, 3}, {I::MedianPasses, 1}}, {9}},
        ParameterCase{"AmplitudeClamped", 2, {150}, 100, {{I::AmplitudeThreshold, 100}}, {100}},
        ParameterCase{"BlockDeviationLow", 4, {10}, 20, {{I::BlockDeviation, 20}}, {20}},
        ParameterCase{"BlockDeviationHigh", 4, {500}, 200, {{I::BlockDeviation, 200}}, {200}},
        ParameterCase{"RegionSizeOnly", 8, {30}, 40, {{I::RegionMaxSize, 40}, {I::RegionMaxStep, 40}}, {40}},
        ParameterCase{"RegionStepOutsideReturnsFour", 8, {100, 10}, 4, {{I::RegionMaxSize, 100}, {I::RegionMaxStep, 40}}, {}},
        ParameterCase{"RegionStepStored", 8, {120, 60}, 60, {{I::RegionMaxSize, 120}, {I::RegionMaxStep, 60}}, {}},
        ParameterCase{"Spike", 16, {5}, 10, {{I::SpikeValue, 10}}, {10}},
        ParameterCase{"FlyingPixel", 32, {101}, 100, {{I::FlyingPixelFactor, 100}}, {100}},
        ParameterCase{"GaussianWindowAndPasses", 64, {5, 9}, 5, {{I::GaussianWindow, 5}, {I::GaussianPasses, 5}}, {5, 5}},
        ParameterCase{"GaussianBadWindow", 64, {4, 2}, 0, {{I::GaussianWindow, 3}, {I::GaussianPasses, 2}}, {}},
        ParameterCase{"GaussianOneValueReadsNoPasses", 64, {5}, 5, {{I::GaussianWindow, 5}, {I::GaussianPasses, 1}}, {}},
        ParameterCase{"Reserved128", 128, {-3}, 0, {{I::Value128, 0}}, {0}},
        ParameterCase{"Reserved256", 256, {42.7f}, 42, {{I::Value256, 42}}, {}},
        ParameterCase{"UnknownCode", 3, {42}, 0, {{I::AmplitudeThreshold, 6}}, {42}},
        ParameterCase{"NoValues", 4, {}, 0, {{I::BlockDeviation, 50}}, {}}),
    [](const ::testing::TestParamInfo<ParameterCase>& info) { return info.param.name; });

TEST(FilterParameters, DefaultsAndReadBack) {
  qzapi::ReconstructionImpl impl;
  struct Row {
    int32_t code;
    int32_t count;
    float first, second;
  };
  for (const Row& r : {Row{1, 2, 3, 1}, Row{2, 1, 6, -1}, Row{4, 1, 50, -1}, Row{8, 2, 100, 40}, Row{16, 1, 30, -1},
                       Row{32, 1, 15, -1}, Row{64, 2, 3, 1}, Row{128, 1, 0, -1}, Row{256, 1, 0, -1}}) {
    float values[2] = {-1, -1};
    int32_t count = 0;
    impl.GetFilterParameter(r.code, values, &count);
    EXPECT_EQ(count, r.count) << r.code;
    EXPECT_EQ(values[0], r.first) << r.code;
    EXPECT_EQ(values[1], r.second) << r.code;
  }
  float untouched[2] = {-7, -7};
  int32_t count = 9;
  impl.GetFilterParameter(1000, untouched, &count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(untouched[0], -7);
}

TEST(FilterParameters, SupportedFilters) {
  qzapi::ReconstructionImpl impl;
  int32_t codes[3] = {};
  int32_t count = 0;
  uint8_t flag = 9;
  EXPECT_EQ(impl.GetSupportedFilters(codes, &count, &flag), 8);
  EXPECT_EQ(codes[0], 8);
  EXPECT_EQ(codes[1], 16);
  EXPECT_EQ(codes[2], 32);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(flag, 0);
}

}  // namespace
