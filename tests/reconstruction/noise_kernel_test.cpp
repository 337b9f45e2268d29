// The noise-aware estimator on synthetic raw frames of known phase,
// amplitude and level: each expectation is worked out here in double
// precision from the sensor's noise model (shot noise level / 10 e- per LSB,
// 1 LSB read noise, 1/12 LSB^2 quantisation) and the four-phase geometry.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "forward_model.h"
#include "noise_kernel.h"
#include "noise_kernel_pixel.h"
#include "reconstruction_impl.h"

namespace {

using namespace qzr_test;

constexpr int32_t kW = 24, kH = 6;
constexpr double kFx = 40.0, kFy = 40.0, kCx = 11.5, kCy = 2.5;
constexpr double kR1 = 1875.0, kR2 = 1500.0, kRc = 7500.0;

double SampleVariance(double level) { return level / 10.0 + 1.0 + 1.0 / 12.0; }

// A kernel frame of plain channels (no offsets, no cyclic error, no fitting)
// over a kW x kH image with a pinhole lens.
struct Rig {
  std::vector<uint16_t> raw = std::vector<uint16_t>(static_cast<std::size_t>(16) * kW * kH, 511);
  std::vector<float> zeros = std::vector<float>(static_cast<std::size_t>(kW) * kH, 0.0f);
  std::vector<float> r2a = std::vector<float>(static_cast<std::size_t>(kW) * kH);
  std::vector<float> wiggle = std::vector<float>(256, 0.0f);
  std::vector<float> cyclic1, cyclic2;
  qzapi::DepthFrame f;

  Rig() {
    for (int32_t v = 0; v < kH; ++v)
      for (int32_t u = 0; u < kW; ++u) r2a[static_cast<std::size_t>(v) * kW + u] = static_cast<float>(RadialToAxial(kFx, kFy, kCx, kCy, u, v));
    auto channel = [&](double range) {
      qzapi::ChannelParams c;
      c.range = static_cast<float>(range);
      c.millimetresPerRadian = static_cast<float>(range / (2.0 * kPi));
      c.tableStep = 0.02f;
      c.wiggling = wiggle.data();
      return c;
    };
    f.raw = raw.data();
    f.width = kW;
    f.height = kH;
    f.fitting80 = f.fitting100 = zeros.data();
    f.radialToAxial = r2a.data();
    f.first = channel(kR1);
    f.second = channel(kR2);
    cyclic1 = qzapi::CyclicErrorTable(f.first);
    cyclic2 = qzapi::CyclicErrorTable(f.second);
    f.first.cyclic = cyclic1.data(), f.first.cyclicCount = static_cast<int32_t>(cyclic1.size() / 2);
    f.second.cyclic = cyclic2.data(), f.second.cyclicCount = static_cast<int32_t>(cyclic2.size() / 2);
    f.u = -4.0f, f.v = -5.0f;  // 80 / (80 - 100), 100 / (80 - 100)
    f.combinedRange = static_cast<float>(kRc);
  }
};

// What one channel tells about a pixel, from its samples.
struct ChannelTruth {
  double distance;  // on the lap nearest `near`, mm
  double variance;  // mm^2
};

ChannelTruth Expected(const std::vector<uint16_t>& raw, int32_t i, int32_t j, bool first, double near) {
  const ReadBack rb = ReadDualChannel(raw, kW, kH, i, j, first);
  const double range = first ? kR1 : kR2;
  const double mmPerRadian = range / (2.0 * kPi);
  double d = std::atan2(rb.y, rb.x) * mmPerRadian;
  d += range * std::round((near - d) / range);
  // Each phasor component carries one sample's noise; noise alone adds twice
  // that to |phasor|^2, which the signal estimate leaves out.
  const double s2 = SampleVariance(rb.level);
  const double signal2 = std::max(rb.x * rb.x + rb.y * rb.y - 2.0 * s2, s2);
  return {d, s2 / signal2 * mmPerRadian * mmPerRadian};
}

enum class Outcome { Valid,
                     Invalid,
                     Saturated };

struct EstimatorCase {
  std::string name;
  double distance;              // true radial distance, mm
  double gap;                   // the second channel reads this much further, mm
  ChannelSignal first, second;  // phases filled in from distance and gap
  Outcome outcome;
  bool runnerUp;  // the next lap pair agrees as well
};

class NoiseEstimator : public ::testing::TestWithParam<EstimatorCase> {};

TEST_P(NoiseEstimator, MatchesTheNoiseModel) {
  const EstimatorCase& c = GetParam();
  Rig rig;
  const int32_t i = 3, j = 7;
  ChannelSignal first = c.first, second = c.second;
  first.phi = std::remainder(2.0 * kPi * c.distance / kR1, 2.0 * kPi);
  second.phi = std::remainder(2.0 * kPi * (c.distance + c.gap) / kR2, 2.0 * kPi);
  WriteDualPixelSignal(rig.raw, kW, kH, i, j, first, second);
  // One sample of the second channel's first sub-frame at full scale.
  if (c.outcome == Outcome::Saturated) rig.raw[static_cast<std::size_t>(2 * i) * 2 * kW + 2 * j] = 1023;

  const std::size_t n = static_cast<std::size_t>(kW) * kH, at = static_cast<std::size_t>(i) * kW + j;
  for (int path = 0; path < 3; ++path) {
    SCOPED_TRACE(path == 0 ? "reference" : path == 1 ? "scalar"
                                                     : "vectorised");
    std::vector<float> depth(n, -7.0f), variance(n), alternate(n);
    const qzapi::NoisyDepth out{depth.data(), variance.data(), alternate.data()};
    qzapi::DepthFrame f = rig.f;
    f.allowSimd = path == 2;
    const qzapi::NoiseParams q = qzapi::MakeNoiseParams(f);
    if (path == 0) {
      qzapi::DualFrequencyNoiseReference(f, q, out, 0, kH);
    } else {
      qzapi::DualFrequencyNoiseFast(f, q, out, 0, kH);
    }
    EXPECT_EQ(depth[at - 1], 0.0f) << "a flat neighbour carries no signal";
    if (c.outcome == Outcome::Saturated) {
      EXPECT_EQ(depth[at], qzapi::kNoisySaturated);
      continue;
    }
    if (c.outcome == Outcome::Invalid) {
      EXPECT_EQ(depth[at], 0.0f);
      continue;
    }
    const ChannelTruth one = Expected(rig.raw, i, j, true, c.distance);
    const ChannelTruth two = Expected(rig.raw, i, j, false, c.distance + c.gap);
    const double w1 = 1.0 / one.variance, w2 = 1.0 / two.variance;
    const double radial = (w1 * one.distance + w2 * two.distance) / (w1 + w2);
    const double r2a = rig.r2a[at];
    EXPECT_NEAR(depth[at], radial * r2a, 0.02);
    EXPECT_NEAR(variance[at], r2a * r2a / (w1 + w2), 0.002 * variance[at]);
    if (!c.runnerUp) {
      EXPECT_EQ(alternate[at], 0.0f);
      continue;
    }
    // Both channels one lap further in the direction that closes the gap.
    const double sign = (one.distance - two.distance) * (kR1 - kR2) > 0 ? -1.0 : 1.0;
    double other = (w1 * (one.distance + sign * kR1) + w2 * (two.distance + sign * kR2)) / (w1 + w2);
    other = other < 0 ? other + kRc : other >= kRc ? other - kRc
                                                   : other;
    EXPECT_NEAR(alternate[at], other * r2a, 0.05);
  }
}

const ChannelSignal Bright{0, 400, 600}, Strong{0, 200, 300}, Weak{0, 40, 300}, Dim{0, 10, 60}, Faint{0, 4.5, 45};

INSTANTIATE_TEST_SUITE_P(
    Frames, NoiseEstimator,
    ::testing::Values(
        // The combination weighs each channel by its own noise: the noisier
        // reading pulls less, whichever frequency it is.
        EstimatorCase{"EqualSignals", 2345.0, 12.0, Strong, Strong, Outcome::Valid, false},
        EstimatorCase{"FirstChannelStronger", 2345.0, 30.0, Strong, Weak, Outcome::Valid, false},
        EstimatorCase{"SecondChannelStronger", 4321.0, -30.0, Weak, Strong, Outcome::Valid, false},
        EstimatorCase{"BrighterLevelCarriesMoreShotNoise", 3100.0, 20.0, Strong, ChannelSignal{0, 200, 800},
                      Outcome::Valid, false},
        // Unwrapping by each pixel's own noise: 60 mm apart is far beyond the
        // noise of two bright readings (a fixed 200 mm would accept it) ...
        EstimatorCase{"BrightChannelsFarApartAreInvalid", 2345.0, 60.0, Bright, Bright, Outcome::Invalid, false},
        // ... while 100 mm is within the noise of two dim ones (4 sigma about
        // 210 mm), and the next lap pair, 275 mm off, does not agree.
        EstimatorCase{"DimChannelsAgreeWithinTheirNoise", 1800.0, 100.0, Dim, Dim, Outcome::Valid, false},
        // So noisy (4 sigma about 430 mm) that the next lap pair agrees too:
        // it travels along for the filter to settle.
        EstimatorCase{"FaintChannelsKeepTheRunnerUp", 2600.0, 40.0, Faint, Faint, Outcome::Valid, true},
        EstimatorCase{"PhasorNoLongerThanNoiseIsInvalid", 2600.0, 0.0, ChannelSignal{0, 0.5, 300}, Strong,
                      Outcome::Invalid, false},
        EstimatorCase{"SaturatedSample", 2600.0, 0.0, Strong, Strong, Outcome::Saturated, false}),
    [](const ::testing::TestParamInfo<EstimatorCase>& info) { return info.param.name; });

// The cubic reading of the cyclic-error table goes through every entry and
// follows a smooth cyclic error better than a straight line between entries.
TEST(CyclicError, CubicThroughEntriesAndCloserThanLinearBetween) {
  std::vector<float> table(256, 0.0f);
  const int32_t count = 39;
  auto truth = [](double mm) { return 8.0 * std::sin(2.0 * kPi * 4.0 * mm / 1875.0 + 0.7); };
  for (int k = 0; k < count; ++k) table[k] = table[k + count] = static_cast<float>(truth(50.0 * k));
  qzapi::ChannelParams c;
  c.tableStep = 0.02f;
  c.wiggling = table.data();
  c.tableCount = count;
  const std::vector<float> dense = qzapi::CyclicErrorTable(c);
  c.cyclic = dense.data();
  c.cyclicCount = static_cast<int32_t>(dense.size() / 2);
  double worstCubic = 0.0, worstLinear = 0.0;
  for (double mm = 50.0; mm < 1800.0; mm += 3.7) {
    const double t = mm / 50.0;
    const double linear = table[static_cast<int>(t)] + (t - std::floor(t)) * (table[static_cast<int>(t) + 1] - table[static_cast<int>(t)]);
    worstCubic = std::max(worstCubic, std::fabs(qzapi::CyclicError(static_cast<float>(mm), c) - truth(mm)));
    worstLinear = std::max(worstLinear, std::fabs(linear - truth(mm)));
  }
  for (int k = 1; k < count - 2; ++k) EXPECT_NEAR(qzapi::CyclicError(50.0f * k, c), table[k], 1e-4) << "entry " << k;
  EXPECT_LT(worstCubic, 0.1);
  EXPECT_GT(worstLinear, 0.3);
  EXPECT_EQ(qzapi::CyclicError(-1.0f, c), 0.0f);
}

// End to end: a wall facing the camera at 1234.7 mm reads 1235 in the
// noise-aware mode (rounded), 1234 in the standard one (truncated).
TEST(NoiseAwareDepth, RoundsToTheNearestMillimetre) {
  constexpr int32_t w = 640, h = 480;
  const qzapi::CalibrationBlock block = PlainBlock(500.0f, 500.0f, 319.5f, 239.5f);
  std::vector<uint16_t> raw(static_cast<std::size_t>(16) * w * h, 511);
  const double axial = 1234.7;
  for (int32_t i = 0; i < h; ++i) {
    for (int32_t j = 0; j < w; ++j) {
      const double radial = axial / RadialToAxial(500.0, 500.0, 319.5, 239.5, j, i);
      WriteDualPixelSignal(raw, w, h, i, j, {2.0 * kPi * radial / kR1, 400.0, 500.0},
                           {2.0 * kPi * radial / kR2, 400.0, 500.0});
    }
  }
  for (const int32_t mode : {qzapi::FilterModeNoiseAware, qzapi::FilterModeStandard}) {
    qzapi::ReconstructionImpl impl;
    ASSERT_EQ(impl.InitWithSize(4, 0, &block, w, h), 0);
    impl.SetFilterEnabled(mode);
    uint16_t* depth = nullptr;
    impl.ComputeDepth(raw.data(), &depth, w, h);
    ASSERT_NE(depth, nullptr);
    long n = 0, at1235 = 0;
    double sum = 0.0;
    for (int32_t i = 10; i < h - 10; ++i) {
      for (int32_t j = 10; j < w - 10; ++j) {
        const uint16_t d = depth[static_cast<std::size_t>(i) * w + j];
        ++n;
        at1235 += d == 1235;
        sum += d;
      }
    }
    delete[] depth;
    if (mode == qzapi::FilterModeNoiseAware) {
      EXPECT_GT(at1235, n * 99 / 100);
      EXPECT_NEAR(sum / n - axial, 0.3, 0.05);  // 1235 - 1234.7
    } else {
      EXPECT_LT(sum / n, 1234.7 - 0.5) << "the standard mode truncates";
    }
  }
}

}  // namespace
