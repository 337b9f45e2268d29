// The vectorised kernels against the plain reference kernels.
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "depth_kernel.h"
#include "forward_model.h"
#include "reconstruction_impl.h"

namespace {

using qzapi::CalibrationBlock;
using qzapi::ReconstructionImpl;

struct EquivalenceCase {
  std::string name;
  bool dual;
  int32_t orientation;
  int32_t width, height;
  bool binned;     // calibration grid 320 wide: tables twice the image
  bool randomRaw;  // uniform noise instead of a smooth scene
};

class KernelEquivalence : public ::testing::TestWithParam<EquivalenceCase> {};

std::vector<uint16_t> MakeFrame(const EquivalenceCase& c, std::mt19937& rng) {
  const std::size_t n = static_cast<std::size_t>(4) * c.width * c.height * (c.dual ? 4 : 1);
  std::vector<uint16_t> frame(n);
  if (c.randomRaw) {
    std::uniform_int_distribution<int> sample(0, 1023);  // 1023 is saturation
    for (auto& v : frame) v = static_cast<uint16_t>(sample(rng));
    return frame;
  }
  // A tilted plane with noise: realistic phases everywhere.
  std::normal_distribution<double> noise(0.0, 2.0);
  for (auto& v : frame) v = 511;
  for (int32_t i = 0; i < c.height; ++i) {
    for (int32_t j = 0; j < c.width; ++j) {
      const double phi1 = std::remainder(0.002 * (i * 7 + j * 3) + noise(rng) * 0.01, 2 * qzr_test::kPi);
      const double phi2 = std::remainder(0.0025 * (i * 7 + j * 3) + noise(rng) * 0.01, 2 * qzr_test::kPi);
      if (c.dual) {
        qzr_test::WriteDualPixel(frame, c.width, c.height, i, j, phi1, phi2);
      } else {
        qzr_test::WriteSinglePixel(frame, c.width, i, j, phi1);
      }
    }
  }
  return frame;
}

TEST_P(KernelEquivalence, FastPathsStayWithinOneMillimetreOfReference) {
  const EquivalenceCase& c = GetParam();
  CalibrationBlock block = qzr_test::PlainBlock(520.0f, 518.0f, 321.0f, 242.0f);
  block.distCoeffs[0] = -0.2f;
  block.distCoeffs[1] = 0.05f;
  block.globalOffset80 = -303.0f;
  block.globalOffset100 = -434.0f;
  block.wigglingError80Count = 39;
  block.wigglingError100Count = 31;
  for (int k = 0; k < 39; ++k) block.wigglingError80[k] = 15.0f * std::sin(0.7f * k);
  for (int k = 0; k < 31; ++k) block.wigglingError100[k] = 11.0f * std::cos(0.9f * k);
  block.fitting80[0] = 1.47409f;
  block.fitting80[1] = -0.606449f;
  block.fitting100[0] = -2.16496f;
  block.fitting100[2] = -0.052805f;
  block.depthOffset = 5;
  if (c.binned) block.depthGridWidth = 320, block.depthGridHeight = 240;

  ReconstructionImpl simd, scalar, reference;
  scalar.allowSimdKernels = false;
  reference.useReferenceKernels = true;
  for (ReconstructionImpl* impl : {&simd, &scalar, &reference}) {
    ASSERT_EQ(impl->InitWithSize(4, c.dual ? 0 : 5, &block, c.width, c.height), 0);
    impl->SetFilterEnabled(0);
    impl->SetOrientation(c.orientation);
  }
  ASSERT_EQ(simd.TableBinning(c.width, c.height), c.binned ? 2 : 1);

  std::mt19937 rng(1234 + c.orientation);
  std::vector<uint16_t> frame = MakeFrame(c, rng);
  frame[26] = 100, frame[28] = 512;  // 25.5 degrees for the drift polynomials
  uint16_t* expected = nullptr;
  reference.ComputeDepth(frame.data(), &expected, c.width, c.height);
  ASSERT_NE(expected, nullptr);
  const int32_t n = c.width * c.height;
  int valid = 0;
  for (int32_t k = 0; k < n; ++k) valid += expected[k] > 1;
  if (!c.randomRaw) {
    EXPECT_GT(valid, n / 2) << "the scene must exercise the full computation";
  }
  for (ReconstructionImpl* impl : {&simd, &scalar}) {
    uint16_t* depth = nullptr;
    impl->ComputeDepth(frame.data(), &depth, c.width, c.height);
    ASSERT_NE(depth, nullptr);
    int worst = 0, worstAt = -1;
    for (int32_t k = 0; k < n; ++k) {
      const int error = std::abs(static_cast<int>(depth[k]) - static_cast<int>(expected[k]));
      if (error > worst) worst = error, worstAt = k;
    }
    EXPECT_LE(worst, 1) << (impl == &simd ? "vectorised" : "scalar") << " pixel " << worstAt << ": fast "
                        << (worstAt >= 0 ? depth[worstAt] : 0) << ", reference "
                        << (worstAt >= 0 ? expected[worstAt] : 0);
    delete[] depth;
  }
  delete[] expected;
}

// The noise-aware mode (kernels and filter) on the same frames: the fast
// kernels differ from the reference only by FastAtan2 (micrometres), the
// filter is the same arithmetic.
// A slanted wall both channels agree on (to within their noise), with
// sensor-like samples; random cases keep uniform noise.
std::vector<uint16_t> MakeConsistentFrame(const EquivalenceCase& c, std::mt19937& rng) {
  if (c.randomRaw) return MakeFrame(c, rng);
  std::vector<uint16_t> frame(static_cast<std::size_t>(4) * c.width * c.height * (c.dual ? 4 : 1), 511);
  std::normal_distribution<double> noise(0.0, 3.0);
  for (int32_t i = 0; i < c.height; ++i) {
    for (int32_t j = 0; j < c.width; ++j) {
      const double d = 900.0 + 4.0 * i + 3.0 * j + noise(rng);
      const double amplitude = 60.0 + 0.2 * j;  // dimmer to the left: varying noise
      if (c.dual) {
        qzr_test::WriteDualPixelSignal(frame, c.width, c.height, i, j, {2.0 * qzr_test::kPi * d / 1875.0, amplitude, 300.0},
                                       {2.0 * qzr_test::kPi * d / 1500.0, amplitude, 300.0});
      } else {
        qzr_test::WriteSinglePixel(frame, c.width, i, j, 2.0 * qzr_test::kPi * d / 1875.0 - qzr_test::kPi);
      }
    }
  }
  // A sensor read out bottom to top or right to left delivers its
  // sub-frames mirrored; the orientation setting undoes that.
  const int32_t rows = 2 * c.height, columns = 2 * c.width;
  const bool mirrorRows = c.orientation == 1 || c.orientation == 3;
  const bool mirrorColumns = c.orientation == 2 || c.orientation == 3;
  for (std::size_t sub = 0; sub < frame.size(); sub += static_cast<std::size_t>(rows) * columns) {
    uint16_t* base = frame.data() + sub;
    for (int32_t r = 0; mirrorRows && r < rows / 2; ++r) {
      std::swap_ranges(base + r * columns, base + (r + 1) * columns, base + (rows - 1 - r) * columns);
    }
    for (int32_t r = 0; mirrorColumns && r < rows; ++r) std::reverse(base + r * columns, base + (r + 1) * columns);
  }
  return frame;
}

TEST_P(KernelEquivalence, NoiseAwareFastPathsStayWithinOneMillimetreOfReference) {
  const EquivalenceCase& c = GetParam();
  CalibrationBlock block = qzr_test::PlainBlock(520.0f, 518.0f, 321.0f, 242.0f);
  block.distCoeffs[0] = -0.2f;
  block.distCoeffs[1] = 0.05f;
  block.wigglingError80Count = 39;
  block.wigglingError100Count = 31;
  for (int k = 0; k < 39; ++k) block.wigglingError80[k] = 1.5f * std::sin(0.7f * k);
  for (int k = 0; k < 31; ++k) block.wigglingError100[k] = 1.1f * std::cos(0.9f * k);
  block.depthOffset = 5;
  if (c.binned) block.depthGridWidth = 320, block.depthGridHeight = 240;

  ReconstructionImpl simd, scalar, reference;
  scalar.allowSimdKernels = false;
  reference.useReferenceKernels = true;
  for (ReconstructionImpl* impl : {&simd, &scalar, &reference}) {
    ASSERT_EQ(impl->InitWithSize(4, c.dual ? 0 : 5, &block, c.width, c.height), 0);
    impl->SetFilterEnabled(qzapi::FilterModeNoiseAware);
    impl->SetOrientation(c.orientation);
  }
  std::mt19937 rng(4321 + c.orientation);
  std::vector<uint16_t> frame = MakeConsistentFrame(c, rng);
  frame[26] = 100, frame[28] = 512;
  uint16_t* expected = nullptr;
  reference.ComputeDepth(frame.data(), &expected, c.width, c.height);
  ASSERT_NE(expected, nullptr);
  const int32_t n = c.width * c.height;
  int valid = 0;
  for (int32_t k = 0; k < n; ++k) valid += expected[k] > 1;
  if (!c.randomRaw) {
    EXPECT_GT(valid, n / 2) << "the scene must exercise the full computation";
  }
  for (ReconstructionImpl* impl : {&simd, &scalar}) {
    uint16_t* depth = nullptr;
    impl->ComputeDepth(frame.data(), &depth, c.width, c.height);
    ASSERT_NE(depth, nullptr);
    int worst = 0, worstAt = -1;
    for (int32_t k = 0; k < n; ++k) {
      const int error = std::abs(static_cast<int>(depth[k]) - static_cast<int>(expected[k]));
      if (error > worst) worst = error, worstAt = k;
    }
    EXPECT_LE(worst, 1) << (impl == &simd ? "vectorised" : "scalar") << " pixel " << worstAt << ": fast "
                        << (worstAt >= 0 ? depth[worstAt] : 0) << ", reference "
                        << (worstAt >= 0 ? expected[worstAt] : 0);
    delete[] depth;
  }
  delete[] expected;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, KernelEquivalence,
    ::testing::Values(EquivalenceCase{"DualScene", true, 0, 640, 480, false, false},
                      EquivalenceCase{"DualRandom", true, 0, 640, 480, false, true},
                      EquivalenceCase{"DualRowsReversed", true, 1, 640, 480, false, false},
                      EquivalenceCase{"DualColumnsReversed", true, 2, 640, 480, false, true},
                      EquivalenceCase{"DualBothReversed", true, 3, 640, 480, false, false},
                      EquivalenceCase{"DualBinnedOddWidth", true, 0, 161, 121, true, false},
                      EquivalenceCase{"DualBinnedReversed", true, 3, 160, 120, true, true},
                      EquivalenceCase{"DualTiny", true, 2, 3, 3, false, true},
                      EquivalenceCase{"SingleScene", false, 0, 640, 480, false, false},
                      EquivalenceCase{"SingleRandom", false, 1, 640, 480, false, true},
                      EquivalenceCase{"SingleBinned", false, 2, 320, 240, true, false},
                      EquivalenceCase{"SingleOdd", false, 3, 97, 53, false, true},
                      EquivalenceCase{"UnknownOrientation", true, 7, 64, 48, false, true}),
    [](const ::testing::TestParamInfo<EquivalenceCase>& info) { return info.param.name; });

// FastAtan2 against the library function over all quadrants and the axes.
TEST(FastAtan2, MatchesAtan2fToAFewMicroradians) {
  float worst = 0.0f;
  for (int y = -1100; y <= 1100; y += 7) {
    for (int x = -1100; x <= 1100; x += 5) {
      const float fy = static_cast<float>(y), fx = static_cast<float>(x);
      worst = std::max(worst, std::fabs(qzapi::FastAtan2(fy, fx) - std::atan2(fy, fx)));
    }
  }
  for (float v : {-3.0f, 0.0f, 3.0f}) {
    for (float w : {-3.0f, 0.0f, 3.0f}) {
      if (v == 0.0f && w == 0.0f) continue;
      worst = std::max(worst, std::fabs(qzapi::FastAtan2(v, w) - std::atan2(v, w)));
    }
  }
  EXPECT_EQ(qzapi::FastAtan2(0.0f, 0.0f), 0.0f);
  EXPECT_LT(worst, 2e-6f);
}

}  // namespace

namespace {

// Table index per orientation on a 4 x 3 image (binning 1 and 2).
TEST(TableIndex, OrientationsMirrorRowsAndColumns) {
  struct Row {
    int32_t orientation, i, j, kb;
    std::size_t expected;
  };
  for (const Row& r : {Row{0, 1, 2, 1, 6}, Row{1, 0, 2, 1, 10}, Row{2, 0, 0, 1, 3}, Row{2, 1, 3, 1, 4},
                       Row{3, 0, 0, 1, 11}, Row{0, 1, 2, 2, 20}, Row{3, 2, 3, 2, 0}, Row{9, 1, 2, 1, 6}}) {
    EXPECT_EQ(qzapi::TableIndex(r.orientation, r.i, r.j, 4, 3, r.kb), r.expected)
        << "orientation " << r.orientation << " (" << r.i << ", " << r.j << ") binning " << r.kb;
  }
}

}  // namespace
