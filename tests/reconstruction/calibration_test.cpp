// Loading calibration blocks: channels, built-in blocks, the text dump.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "builtin_calibration.h"
#include "calibration_loader.h"
#include "forward_model.h"
#include "reconstruction_impl.h"

namespace {

using qzapi::CalibrationBlock;
using qzapi::ReconstructionImpl;

TEST(ChannelArithmetic, RangesAndMillimetresPerRadian) {
  struct Row {
    int32_t hz;
    int32_t range;
    double perRadian;
  };
  for (const Row& r : {Row{80000000, 1875, 298.4155}, Row{100000000, 1500, 238.7324}, Row{28000000, 5357, 852.6},
                       Row{40000000, 3750, 596.831}}) {
    EXPECT_EQ(qzapi::ChannelRange(r.hz), r.range) << r.hz;
    EXPECT_NEAR(qzapi::MillimetresPerRadian(r.hz), r.perRadian, 0.1) << r.hz;
  }
  EXPECT_EQ(qzapi::ChannelRange(0), 0);
  EXPECT_EQ(qzapi::ChannelRange(-5), 0);
}

TEST(ChannelArithmetic, OffsetsBelowOneHundredAreMetres) {
  EXPECT_FLOAT_EQ(qzapi::OffsetToMillimetres(-0.303f), -303.0f);
  EXPECT_FLOAT_EQ(qzapi::OffsetToMillimetres(-303.0f), -303.0f);
  EXPECT_FLOAT_EQ(qzapi::OffsetToMillimetres(99.0f), 99000.0f);
  EXPECT_FLOAT_EQ(qzapi::OffsetToMillimetres(100.0f), 100.0f);
}

struct LoadCase {
  std::string name;
  int32_t count80;
  float expectedStep;
  int32_t expectedCount;
};

class ChannelLoading : public ::testing::TestWithParam<LoadCase> {};

TEST_P(ChannelLoading, TableStepCountAndDoubledTable) {
  const LoadCase& c = GetParam();
  CalibrationBlock block = qzr_test::PlainBlock(500, 500, 320, 240);
  block.wigglingError80Count = c.count80;
  for (int k = 0; k < 256; ++k) block.wigglingError80[k] = static_cast<float>(k + 1);
  block.globalOffset80 = -0.303f;
  block.globalOffset100 = -303.0f;
  block.serialNumber = "SN-0042";
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitWithSize(0, 0, &block, 640, 480), 0);
  EXPECT_EQ(impl.frequency80.tableCount, c.expectedCount);
  EXPECT_FLOAT_EQ(impl.frequency80.tableStep, c.expectedStep);
  for (int k = 0; k < c.expectedCount; ++k) {
    ASSERT_FLOAT_EQ(impl.frequency80.wiggling[k], k + 1.0f);
    ASSERT_FLOAT_EQ(impl.frequency80.wiggling[k + c.expectedCount], k + 1.0f) << "second copy";
  }
  EXPECT_FLOAT_EQ(impl.frequency80.globalOffset, -303.0f);
  EXPECT_FLOAT_EQ(impl.frequency100.globalOffset, -303.0f);
  EXPECT_EQ(impl.frequency80.serial, "SN-0042");
  EXPECT_EQ(impl.frequency80.frequency, 80000000);
  EXPECT_EQ(impl.frequency100.range, 1500);
}

INSTANTIATE_TEST_SUITE_P(Counts, ChannelLoading,
                         ::testing::Values(LoadCase{"Twenty", 20, 0.01f, 20}, LoadCase{"TwentyOne", 21, 0.02f, 21},
                                           LoadCase{"Builtin39", 39, 0.02f, 39},
                                           LoadCase{"TooLongClampedTo128", 200, 0.02f, 128},
                                           LoadCase{"NegativeIsEmpty", -3, 0.01f, 0}),
                         [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

struct FrequencyCase {
  std::string name;
  int32_t deviceType;
  int32_t mode;
  bool viaInit;
  std::vector<float> otherOffset5;
  int32_t f80, f100;
  float gain80, gain100;
};

class ChannelFrequencies : public ::testing::TestWithParam<FrequencyCase> {};

TEST_P(ChannelFrequencies, ModeDeviceAndOverrides) {
  const FrequencyCase& c = GetParam();
  CalibrationBlock block = qzr_test::PlainBlock(500, 500, 320, 240);
  block.otherOffset5Count = static_cast<int32_t>(c.otherOffset5.size());
  std::copy(c.otherOffset5.begin(), c.otherOffset5.end(), block.otherOffset5);
  ReconstructionImpl impl;
  if (c.viaInit) {
    ASSERT_EQ(impl.InitDefault(c.deviceType, c.mode), 0);
    ASSERT_EQ(impl.Init(block, block), 0);
  } else {
    ASSERT_EQ(impl.InitWithSize(c.deviceType, c.mode, &block, 640, 480), 0);
  }
  EXPECT_EQ(impl.frequency80.frequency, c.f80);
  EXPECT_EQ(impl.frequency100.frequency, c.f100);
  EXPECT_NEAR(impl.frequency80.gain, c.gain80, 1e-5);
  EXPECT_NEAR(impl.frequency100.gain, c.gain100, 1e-5);
  EXPECT_EQ(impl.frequency80.range, qzapi::ChannelRange(c.f80));
}

INSTANTIATE_TEST_SUITE_P(
    Plans, ChannelFrequencies,
    ::testing::Values(
        FrequencyCase{"DualDefault", 1, 0, false, {}, 80000000, 100000000, 1.0f, 1.0f},
        FrequencyCase{"Type4SingleInit", 4, 5, true, {}, 28000000, 28000000, 1.0f / 1.023288f, 1.0f / 1.023288f},
        FrequencyCase{"Type4SingleInitWithSize", 4, 5, false, {}, 28000000, 28000000, 1.0f / 0.977242f, 1.0f / 0.977242f},
        FrequencyCase{"Type1Single", 1, 5, false, {}, 40000000, 40000000, 1.0f, 1.0f},
        FrequencyCase{"OtherOffset5Frequencies", 1, 0, false, {28, 28}, 28000000, 28000000, 1.0f, 1.0f},
        FrequencyCase{"OtherOffset5OneZeroIgnored", 1, 0, false, {28, 0}, 80000000, 100000000, 1.0f, 1.0f},
        FrequencyCase{"OtherOffset5Gains", 1, 0, false, {60, 90, 2.0f, 0.5f}, 60000000, 90000000, 0.5f, 2.0f},
        FrequencyCase{"ZeroGainKeepsUnity", 1, 0, false, {60, 90, 0.0f, 4.0f}, 60000000, 90000000, 1.0f, 0.25f},
        FrequencyCase{"AbsurdFrequencyIgnored", 1, 0, false, {1e-9f, 90}, 80000000, 100000000, 1.0f, 1.0f}),
    [](const ::testing::TestParamInfo<FrequencyCase>& info) { return info.param.name; });

TEST(ChannelFrequencies, TwentyEightMegahertzRange) {
  CalibrationBlock block = qzr_test::PlainBlock(500, 500, 320, 240);
  block.otherOffset5Count = 2;
  block.otherOffset5[0] = block.otherOffset5[1] = 28.0f;
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitWithSize(1, 0, &block, 640, 480), 0);
  EXPECT_EQ(impl.frequency80.range, 5357);
  EXPECT_EQ(impl.frequency100.range, 5357);
  // Both channels alike cannot be unwrapped: every pixel is invalid, not garbage.
  std::vector<uint16_t> frame(static_cast<std::size_t>(16) * 640 * 480, 300);
  for (std::size_t k = 0; k < frame.size(); k += 3) frame[k] = 700;
  uint16_t* depth = nullptr;
  impl.ComputeDepth(frame.data(), &depth, 640, 480);
  ASSERT_NE(depth, nullptr);
  for (int k = 0; k < 640 * 480; ++k) ASSERT_EQ(depth[k], 0);
  delete[] depth;
}

TEST(BuiltInCalibration, TablesBeginWithTheCalibratedValues) {
  CalibrationBlock b;
  ASSERT_TRUE(qzapi::BuildBuiltInCalibration(1, 0, b));
  EXPECT_EQ(b.wigglingError80Count, 39);
  EXPECT_EQ(b.wigglingError100Count, 31);
  EXPECT_FLOAT_EQ(b.wigglingError80[0], 20.1f);
  EXPECT_FLOAT_EQ(b.wigglingError80[3], 10.0f);
  EXPECT_FLOAT_EQ(b.wigglingError100[2], 26.5f);
  EXPECT_FLOAT_EQ(b.globalOffset80, -303.0f);
  EXPECT_FLOAT_EQ(b.fitting100[0], -2.16496f);
  EXPECT_TRUE(b.serialNumber.empty());
  ASSERT_TRUE(qzapi::BuildBuiltInCalibration(4, 5, b));
  EXPECT_FLOAT_EQ(b.depthIntrinsics[0], 188.457f);
  EXPECT_FLOAT_EQ(b.wigglingError80[2], 5.891724f);
  EXPECT_FLOAT_EQ(b.wigglingError100[0], 11.303284f);
  EXPECT_FLOAT_EQ(b.globalOffset100, -1926.0f);
  EXPECT_FALSE(qzapi::BuildBuiltInCalibration(2, 0, b));
  EXPECT_FALSE(qzapi::BuildBuiltInCalibration(3, 0, b));
}

// Cyclic errors stay a few centimetres and change smoothly between samples.
TEST(BuiltInCalibration, WigglingTablesAreSmoothAndPlausible) {
  for (int type : {1, 4}) {
    CalibrationBlock b;
    ASSERT_TRUE(qzapi::BuildBuiltInCalibration(type, 0, b));
    for (const auto& [table, count] : {std::pair{b.wigglingError80, b.wigglingError80Count},
                                       std::pair{b.wigglingError100, b.wigglingError100Count}}) {
      for (int k = 0; k < count; ++k) {
        EXPECT_LT(std::fabs(table[k]), 50.0f);
        EXPECT_LT(std::fabs(table[(k + 1) % count] - table[k]), 20.0f) << "type " << type << " entry " << k;
      }
    }
  }
}

TEST(BuiltInCalibration, InitDefaultSizesAndCopies) {
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitDefault(1, 5), 0);
  EXPECT_EQ(impl.depthWidth, 320);
  EXPECT_EQ(impl.depthHeight, 240);
  EXPECT_EQ(impl.deviceType, 1);
  EXPECT_EQ(impl.mode, 5);
  EXPECT_FLOAT_EQ(impl.defaultCalibration.depthIntrinsics[0], 239.6082f);
  EXPECT_FLOAT_EQ(impl.builtInCalibration.depthIntrinsics[0], 239.6082f);
  EXPECT_EQ(impl.initialised, 1);
  ASSERT_EQ(impl.InitDefault(4, 0), 0);
  EXPECT_EQ(impl.depthWidth, 640);
  EXPECT_EQ(impl.activeCalibration.depthGridWidth, 640) << "grid forced to 640 x 480";
  EXPECT_EQ(impl.rayMapX.size(), 640u * 480u);
  EXPECT_EQ(impl.InitDefault(7, 0), qzapi::StatusNoBuiltIn);
  EXPECT_EQ(impl.initialised, 1) << "a refused built-in leaves the set-up alone";
}

TEST(CalibrationText, FirstLineOfTheType1BuiltInBlock) {
  CalibrationBlock b;
  ASSERT_TRUE(qzapi::BuildBuiltInCalibration(1, 0, b));
  ReconstructionImpl impl;
  std::stringstream out;
  impl.DumpCalibration(out, b);
  std::istringstream in(out.str());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[0], "cameraMatrix = { 556.545105,0,315.446808,0,558.206177,238.530472,0,0,1}");
  EXPECT_EQ(lines[1], "distCoeffs= { 0.314280,-1.605089,0.001825,-0.002152,2.151922}");
  EXPECT_EQ(lines[2], "globalOffset80 = { -303.000000}");
  EXPECT_EQ(lines[4].rfind("wigglingError80 = { 20,7,2,10,", 0), 0u) << lines[4];
  EXPECT_EQ(lines[10], "serialNumber = {  }");
  EXPECT_EQ(lines[11], "depthOffset = { 0 }");
  EXPECT_EQ(lines[12], "fittingOffset80 = {0.000000,0.000000,0.000000,0.000000,0.000000,0.000000}");
  EXPECT_EQ(lines[17], "otherOffset4 = {}");
  EXPECT_EQ(out.str().back(), '\n');
}

TEST(CalibrationText, UsedEntriesAndHostileCounts) {
  CalibrationBlock b;
  b.serialNumber = "A1";
  b.depthOffset = -12;
  b.otherOffset4Count = 2;
  b.otherOffset4[0] = 1.5f;
  b.otherOffset4[1] = -2.25f;
  b.otherOffset5Count = 100000;  // clamped to the 256 entries that exist
  b.wigglingError100Count = -4;
  b.colourIntrinsics[0] = 948.5f;
  ReconstructionImpl impl;
  std::stringstream out;
  impl.DumpCalibration(out, b);
  const std::string text = out.str();
  EXPECT_NE(text.find("otherOffset4 = {1.500000,-2.250000}\n"), std::string::npos);
  EXPECT_NE(text.find("serialNumber = { A1 }\n"), std::string::npos);
  EXPECT_NE(text.find("depthOffset = { -12 }\n"), std::string::npos);
  EXPECT_NE(text.find("wigglingError100 = { }\n"), std::string::npos);
  EXPECT_NE(text.find("otherOffset1 = {948.500000,0.000000,"), std::string::npos);
  const auto line = text.substr(text.find("otherOffset5 = {"));
  EXPECT_EQ(std::count(line.begin(), line.end(), ','), 255);
}

// Wiggling entries are truncated to integers in the dump. Values that do not
// fit a 64-bit integer (and NaN) used to go through an unchecked conversion,
// which is undefined and printed -9223372036854775808 on x86-64.
struct TruncatedCase {
  const char* name;
  float value;
  const char* text;
};

void PrintTo(const TruncatedCase& c, std::ostream* os) { *os << c.name; }

class WigglingDumpOfValuesBeyondInt64 : public ::testing::TestWithParam<TruncatedCase> {};

TEST_P(WigglingDumpOfValuesBeyondInt64, WritesTheWholeValue) {
  const TruncatedCase& c = GetParam();
  CalibrationBlock b;
  b.wigglingError80Count = 2;
  b.wigglingError80[0] = c.value;
  b.wigglingError80[1] = -7.9f;
  b.wigglingError100Count = 1;
  b.wigglingError100[0] = c.value;
  ReconstructionImpl impl;
  std::stringstream out;
  impl.DumpCalibration(out, b);
  const std::string text = out.str();
  EXPECT_NE(text.find(std::string("wigglingError80 = { ") + c.text + ",-7}\n"), std::string::npos) << text;
  EXPECT_NE(text.find(std::string("wigglingError100 = { ") + c.text + "}\n"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 19);
}

INSTANTIATE_TEST_SUITE_P(
    CalibrationText, WigglingDumpOfValuesBeyondInt64,
    ::testing::Values(TruncatedCase{"OneE20", 1e20f, "100000002004087734272"},
                      TruncatedCase{"TwoToThe63", 9223372036854775808.0f, "9223372036854775808"},
                      TruncatedCase{"MinusTwoToThe63", -9223372036854775808.0f, "-9223372036854775808"},
                      TruncatedCase{"LargestFloat", 3.4028235e38f,
                                    "340282346638528859811704183484516925440"},
                      TruncatedCase{"NaN", std::nanf(""), "nan"},
                      TruncatedCase{"Infinity", INFINITY, "inf"},
                      TruncatedCase{"MinusInfinity", -INFINITY, "-inf"},
                      TruncatedCase{"Ordinary", 20.1f, "20"},
                      TruncatedCase{"NegativeFraction", -0.5f, "0"}),
    [](const ::testing::TestParamInfo<TruncatedCase>& info) { return info.param.name; });

}  // namespace
