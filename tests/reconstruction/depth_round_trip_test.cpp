// Distance -> synthetic raw frame -> ComputeDepth -> the same distance.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "forward_model.h"
#include "reconstruction_impl.h"

namespace {

using qzapi::CalibrationBlock;
using qzapi::ReconstructionImpl;
using namespace qzr_test;

constexpr int32_t kW = 640, kH = 480;
constexpr float kFx = 500.0f, kFy = 505.0f, kCx = 319.5f, kCy = 239.5f;

struct RoundTripCase {
  std::string name;
  bool dual;
  bool withCorrections;  // global offsets, wiggling tables, fitting, depth offset
  bool referenceKernel;
  int32_t orientation;
  double nearMm;
  double farMm;
};

std::vector<float> SmoothTable(int n, double amplitude, double phase) {
  std::vector<float> t(n);
  for (int k = 0; k < n; ++k) t[k] = static_cast<float>(amplitude * std::sin(2.0 * kPi * k / n * 4.0 + phase));
  return t;
}

class DepthRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(DepthRoundTrip, RecoversEveryDistanceWithinOneMillimetre) {
  const RoundTripCase& c = GetParam();
  CalibrationBlock block = PlainBlock(kFx, kFy, kCx, kCy);
  std::vector<float> table80, table100;
  double offset80 = 0.0, offset100 = 0.0;
  int32_t depthOffset = 0;
  if (c.withCorrections) {
    table80 = SmoothTable(39, 12.0, 0.3);
    table100 = SmoothTable(31, 9.0, 1.1);
    block.globalOffset80 = -0.303f;   // metres
    block.globalOffset100 = -434.0f;  // millimetres
    offset80 = -303.0;
    offset100 = -434.0;
    block.fitting80[0] = 0.42f;
    block.fitting80[1] = 0.013f;
    block.fitting80[5] = -0.002f;
    block.fitting100[0] = -0.37f;
    block.fitting100[2] = 0.021f;
    depthOffset = c.dual ? 7 : 0;
    block.depthOffset = depthOffset;
  }
  block.wigglingError80Count = static_cast<int32_t>(table80.size());
  std::copy(table80.begin(), table80.end(), block.wigglingError80);
  block.wigglingError100Count = static_cast<int32_t>(table100.size());
  std::copy(table100.begin(), table100.end(), block.wigglingError100);

  ReconstructionImpl impl;
  impl.useReferenceKernels = c.referenceKernel;
  ASSERT_EQ(impl.InitWithSize(0, c.dual ? 0 : 5, &block, kW, kH), 0);
  impl.SetFilterEnabled(0);
  impl.SetOrientation(c.orientation);

  const double singleOffset80 = offset80 + 0.5 * 1875.0;
  const ChannelModel ch80 = MakeChannel(80e6, c.dual ? offset80 : singleOffset80, table80);
  const ChannelModel ch100 = MakeChannel(100e6, offset100, table100);
  auto fitting = [&](const float* k, int32_t u, int32_t v) {
    const double x = u / 100.0, y = v / 100.0;
    return (k[0] + k[1] * x + k[2] * y + k[3] * x * x + k[4] * x * y + k[5] * y * y) * 100.0;
  };

  std::vector<uint16_t> frame(static_cast<std::size_t>(4) * kW * kH * (c.dual ? 4 : 1), 511);
  std::vector<double> expected(static_cast<std::size_t>(kW) * kH, -1.0);
  int32_t written = 0;
  for (int32_t i = 2; i < kH; ++i) {
    for (int32_t j = 0; j < kW; ++j) {
      // The tables are read at the pixel the orientation maps (i, j) to.
      const int32_t ti = (c.orientation & 1) ? kH - 1 - i : i;
      const int32_t tj = (c.orientation & 2) ? kW - 1 - j : j;
      const std::size_t n = static_cast<std::size_t>(i) * kW + j;
      // Radial distances sweep the range; axial targets lie half-way between integers.
      const double toAxial = RadialToAxial(kFx, kFy, kCx, kCy, tj, ti);
      const double sweep = c.nearMm + (c.farMm - c.nearMm) * (static_cast<double>(n % 7919) / 7919.0);
      const double axial = std::floor(sweep * toAxial) + 0.5;
      const double radial = axial / toAxial;
      const double fit80 = c.withCorrections ? fitting(block.fitting80, tj, ti) : 0.0;
      const double fit100 = c.withCorrections ? fitting(block.fitting100, tj, ti) : 0.0;
      // The dual path truncates the fitting term: keep clear of integer steps.
      auto nearInteger = [](double v) { return std::fabs(v - std::round(v)) < 0.01; };
      if (c.withCorrections && c.dual && (nearInteger(fit80) || nearInteger(fit100))) continue;
      const auto phi1 = PhaseFor(ch80, radial, c.dual ? std::trunc(fit80) : fit80);
      if (!phi1) continue;
      if (c.dual) {
        const auto phi2 = PhaseFor(ch100, radial, std::trunc(fit100));
        if (!phi2) continue;
        WriteDualPixel(frame, kW, kH, i, j, *phi1, *phi2);
      } else {
        WriteSinglePixel(frame, kW, i, j, *phi1);
      }
      expected[n] = axial + depthOffset;
      ++written;
    }
  }
  ASSERT_GT(written, kW * (kH - 2) * 6 / 10) << "the sweep must cover most pixels";

  if (c.orientation != 0) {
    // The forward model writes samples in orientation-0 roles: permute each
    // 2 x 2 block so the library reads them back in those roles.
    const int32_t subFrames = c.dual ? 4 : 1;
    const std::size_t stride = static_cast<std::size_t>(2) * kW;
    for (int32_t s = 0; s < subFrames; ++s) {
      uint16_t* sub = frame.data() + static_cast<std::size_t>(s) * 4 * kW * kH;
      for (int32_t i = 0; i < kH; ++i) {
        for (int32_t j = 0; j < kW; ++j) {
          uint16_t* p = sub + static_cast<std::size_t>(2 * i) * stride + 2 * j;
          if (c.orientation & 1) std::swap(p[0], p[stride]), std::swap(p[1], p[stride + 1]);
          if (c.orientation & 2) std::swap(p[0], p[1]), std::swap(p[stride], p[stride + 1]);
        }
      }
    }
  }

  uint16_t* depth = nullptr;
  impl.ComputeDepth(frame.data(), &depth, kW, kH);
  ASSERT_NE(depth, nullptr);
  double worst = 0.0;
  int32_t worstAt = -1;
  for (std::size_t n = 0; n < expected.size(); ++n) {
    if (expected[n] < 0.0) continue;
    const double error = std::fabs(depth[n] - expected[n]);
    if (error > worst) worst = error, worstAt = static_cast<int32_t>(n);
  }
  for (int32_t j = 0; j < 2 * kW; ++j) EXPECT_EQ(depth[j], 0) << "rows 0 and 1 are not computed";
  delete[] depth;
  EXPECT_LE(worst, 1.0) << "at pixel " << worstAt << " expected " << (worstAt >= 0 ? expected[worstAt] : 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Distances, DepthRoundTrip,
    ::testing::Values(
        RoundTripCase{"SingleFrequencyPlain", false, false, false, 0, 20.0, 1700.0},
        RoundTripCase{"SingleFrequencyCorrected", false, true, false, 0, 20.0, 1700.0},
        RoundTripCase{"SingleFrequencyReference", false, true, true, 0, 20.0, 1700.0},
        RoundTripCase{"DualFrequencyPlain", true, false, false, 0, 20.0, 7300.0},
        RoundTripCase{"DualFrequencyCorrected", true, true, false, 0, 20.0, 7300.0},
        RoundTripCase{"DualFrequencyReference", true, true, true, 0, 20.0, 7300.0},
        RoundTripCase{"DualBeyondBothChannelRanges", true, true, false, 0, 1900.0, 7300.0},
        RoundTripCase{"DualRowsReversed", true, true, false, 1, 20.0, 7300.0},
        RoundTripCase{"DualColumnsReversed", true, true, false, 2, 20.0, 7300.0},
        RoundTripCase{"DualBothReversedReference", true, true, true, 3, 20.0, 7300.0},
        RoundTripCase{"SingleBothReversed", false, true, false, 3, 20.0, 1700.0}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

// Saturation wins over everything; equal samples carry no amplitude.
struct SpecialPixelCase {
  std::string name;
  bool dual;
  bool referenceKernel;
};

class SpecialPixels : public ::testing::TestWithParam<SpecialPixelCase> {};

TEST_P(SpecialPixels, SaturatedIsOneAndFlatIsZero) {
  const SpecialPixelCase& c = GetParam();
  CalibrationBlock block = PlainBlock(kFx, kFy, kCx, kCy);
  ReconstructionImpl impl;
  impl.useReferenceKernels = c.referenceKernel;
  ASSERT_EQ(impl.InitWithSize(0, c.dual ? 0 : 5, &block, kW, kH), 0);
  impl.SetFilterEnabled(0);
  const int32_t subFrames = c.dual ? 4 : 1;
  std::vector<uint16_t> frame(static_cast<std::size_t>(4) * kW * kH * subFrames, 400);  // flat: amplitude 0
  const ChannelModel ch80 = MakeChannel(80e6, c.dual ? 0.0 : 937.5, {});
  const ChannelModel ch100 = MakeChannel(100e6, 0.0, {});
  // Pixel (10, 10): a good measurement; (10, 11): one saturated sample in
  // the first channel; (10, 12): one in the second channel.
  const double radial = 1000.25 / RadialToAxial(kFx, kFy, kCx, kCy, 10, 10);
  if (c.dual) {
    WriteDualPixel(frame, kW, kH, 10, 10, *PhaseFor(ch80, radial, 0), *PhaseFor(ch100, radial, 0));
    WriteDualPixel(frame, kW, kH, 10, 11, 0.5, 0.5);
    WriteDualPixel(frame, kW, kH, 10, 12, 0.5, 0.5);
    const std::size_t sub = static_cast<std::size_t>(4) * kW * kH;
    frame[2 * sub + static_cast<std::size_t>(20) * 2 * kW + 22 + 1] = 1023;  // a01
    frame[0 * sub + static_cast<std::size_t>(21) * 2 * kW + 24] = 1023;      // c10
  } else {
    WriteSinglePixel(frame, kW, 10, 10, *PhaseFor(ch80, radial, 0));
    WriteSinglePixel(frame, kW, 10, 11, 0.5);
    frame[static_cast<std::size_t>(21) * 2 * kW + 22 + 1] = 1023;  // s11
  }
  uint16_t* depth = nullptr;
  impl.ComputeDepth(frame.data(), &depth, kW, kH);
  ASSERT_NE(depth, nullptr);
  EXPECT_NEAR(depth[10 * kW + 10], 1000.25, 1.0);
  EXPECT_EQ(depth[10 * kW + 11], 1);
  if (c.dual) {
    EXPECT_EQ(depth[10 * kW + 12], 1);
  }
  EXPECT_EQ(depth[100 * kW + 100], 0) << "equal samples have no amplitude";
  delete[] depth;
}

INSTANTIATE_TEST_SUITE_P(Codes, SpecialPixels,
                         ::testing::Values(SpecialPixelCase{"SingleFast", false, false},
                                           SpecialPixelCase{"SingleReference", false, true},
                                           SpecialPixelCase{"DualFast", true, false},
                                           SpecialPixelCase{"DualReference", true, true}),
                         [](const ::testing::TestParamInfo<SpecialPixelCase>& info) { return info.param.name; });

TEST(ComputeDepthSingle, ReportsTheInitialisedSizeAndRecoversDistance) {
  CalibrationBlock block = PlainBlock(kFx, kFy, kCx, kCy);
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitWithSize(0, 5, &block, kW, kH), 0);
  std::vector<uint16_t> frame(static_cast<std::size_t>(4) * kW * kH, 400);
  const ChannelModel ch80 = MakeChannel(80e6, 937.5, {});
  const double radial = 1234.5 / RadialToAxial(kFx, kFy, kCx, kCy, 300, 200);
  WriteSinglePixel(frame, kW, 200, 300, *PhaseFor(ch80, radial, 0));
  uint16_t* depth = nullptr;
  int32_t w = 0, h = 0;
  ASSERT_EQ(impl.ComputeDepthSingle(frame.data(), nullptr, &depth, &w, &h), 0);
  ASSERT_NE(depth, nullptr);
  EXPECT_EQ(w, kW);
  EXPECT_EQ(h, kH);
  EXPECT_NEAR(depth[200 * kW + 300], 1234.5, 1.0);
  delete[] depth;
}

// Device type 1 drift: the sensor reads 25 degrees, so the first channel
// loses (3.58724e-8 T^3 + 1.46942e-5 T^2 + 0.00270372 T - 0.0950557) rad.
TEST(ComputeDepth, DeviceType1RemovesTheTemperatureDrift) {
  CalibrationBlock block = PlainBlock(kFx, kFy, kCx, kCy);
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitWithSize(1, 5, &block, kW, kH), 0);
  impl.SetFilterEnabled(0);
  const double t = 25.0;
  const double driftRad = 3.58724e-8 * t * t * t + 1.46942e-5 * t * t + 0.00270372 * t - 0.0950557;
  const ChannelModel plain = MakeChannel(40e6, 0.0, {});  // type 1 mode 5: 40 MHz
  const double drift = driftRad * plain.millimetresPerRadian;
  const ChannelModel ch = MakeChannel(40e6, 0.5 * plain.range - drift, {});
  std::vector<uint16_t> frame(static_cast<std::size_t>(4) * kW * kH, 400);
  frame[188] = 4;
  frame[190] = 160;
  const double radial = 2500.5 / RadialToAxial(kFx, kFy, kCx, kCy, 320, 240);
  WriteSinglePixel(frame, kW, 240, 320, *PhaseFor(ch, radial, 0));
  uint16_t* depth = nullptr;
  impl.ComputeDepth(frame.data(), &depth, kW, kH);
  ASSERT_NE(depth, nullptr);
  EXPECT_NEAR(depth[240 * kW + 320], 2500.5, 1.5);  // 40 MHz doubles the phase quantisation
  delete[] depth;
}

}  // namespace
