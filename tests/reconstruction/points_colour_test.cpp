// DepthToPoints, ColouriseDepth, the colour table and Undistort.
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "depth_colour.h"
#include "depth_points.h"
#include "forward_model.h"
#include "reconstruction_impl.h"

namespace {

using qzapi::CalibrationBlock;
using qzapi::ReconstructionImpl;

class DepthToPointsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block_ = qzr_test::PlainBlock(500.0f, 500.0f, 320.0f, 240.0f);
    ASSERT_EQ(impl_.InitWithSize(0, 0, &block_, 640, 480), 0);
  }
  CalibrationBlock block_;
  ReconstructionImpl impl_;
};

TEST_F(DepthToPointsTest, OctagonAndBorderMargins) {
  std::vector<uint16_t> depth(640 * 480, 2000);
  std::vector<float> xyz(640 * 480 * 3, -1.0f);
  ASSERT_EQ(impl_.DepthToPoints(depth.data(), xyz.data(), 640, 480), 0);
  auto point = [&](int row, int col) {
    const float* p = &xyz[3 * (row * 640 + col)];
    return std::array<float, 3>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(point(10, 10), (std::array<float, 3>{0, 0, 0})) << "corner cut: 10 + 10 < 60";
  const auto centre = point(240, 320);
  EXPECT_FLOAT_EQ(centre[2], 2000.0f);
  EXPECT_NEAR(centre[0], 0.0f, 1e-3);
  // Pinhole: x = z (u - cx) / fx.
  const auto right = point(240, 420);
  EXPECT_NEAR(right[0], 2000.0f * 100.0f / 500.0f, 1e-2);
  EXPECT_NEAR(right[1], 0.0f, 1e-2);
  EXPECT_EQ(point(1, 320)[2], 0.0f) << "rows 0 and 1";
  EXPECT_EQ(point(240, 639)[2], 0.0f) << "last column";
  EXPECT_EQ(point(478, 320)[2], 2000.0f) << "row h - 2 is inside";
  EXPECT_EQ(point(30, 30)[2], 2000.0f) << "30 + 30 = 60 is on the cut";
  EXPECT_EQ(point(29, 30)[2], 0.0f);
  EXPECT_EQ(point(449, 610)[2], 2000.0f) << "449 + 610 = 640 + 480 - 60 is on the far cut";
  EXPECT_EQ(point(450, 611)[2], 0.0f) << "far corner";
}

TEST_F(DepthToPointsTest, SizeThatDoesNotFitTheTablesIsRefusedAndZeroed) {
  std::vector<uint16_t> depth(800 * 600, 2000);
  std::vector<float> xyz(800 * 600 * 3, -1.0f);
  EXPECT_EQ(impl_.DepthToPoints(depth.data(), xyz.data(), 800, 600), qzapi::StatusInvalidArgument);
  for (float v : xyz) ASSERT_EQ(v, 0.0f);
  std::vector<float> big(1920 * 1080 * 3, -1.0f);
  std::vector<uint16_t> bigDepth(1920 * 1080, 1000);
  EXPECT_EQ(impl_.DepthToPoints(bigDepth.data(), big.data(), 1920, 1080), qzapi::StatusInvalidArgument)
      << "no colour-camera rays without a device type 4 block with colour intrinsics";
}

TEST(DepthToPoints, ColourGridAfterDeviceType4) {
  CalibrationBlock block = qzr_test::PlainBlock(500.0f, 500.0f, 320.0f, 240.0f);
  block.colourIntrinsics[0] = 1000.0f;
  block.colourIntrinsics[1] = 1000.0f;
  block.colourIntrinsics[2] = 960.0f;
  block.colourIntrinsics[3] = 540.0f;
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitWithSize(4, 0, &block, 640, 480), 0);
  std::vector<uint16_t> depth(1920 * 1080, 1000);
  std::vector<float> xyz(1920 * 1080 * 3, -1.0f);
  ASSERT_EQ(impl.DepthToPoints(depth.data(), xyz.data(), 1920, 1080), 0);
  const float* p = &xyz[3 * (540 * 1920 + 1160)];
  EXPECT_NEAR(p[0], 1000.0f * 200.0f / 1000.0f, 1e-2);
  EXPECT_FLOAT_EQ(p[2], 1000.0f);
}

// The row-run kernel against the pixel-by-pixel reference: sizes from one
// pixel up, margins that cut nothing, part of the image or all of it,
// binned ray tables, non-finite rays; the output starts with stale values.
TEST(DepthToPoints, KernelEqualsThePixelByPixelReference) {
  struct Case {
    const char* name;
    int32_t w, h, margin, binning;
  };
  const Case cases[] = {
      {"1x1", 1, 1, 60, 1},
      {"2x2", 2, 2, 0, 1},
      {"5x4, no margin", 5, 4, 0, 1},
      {"7x9, margin cuts all", 7, 9, 1000, 1},
      {"13x11, margin 6", 13, 11, 6, 2},
      {"odd 33x17", 33, 17, 9, 1},
      {"negative margin", 12, 10, -5, 1},
      {"320x240 binned", 320, 240, 15, 2},
      {"640x480", 640, 480, 60, 1},
      {"1920x1080", 1920, 1080, 60, 1},
  };
  std::mt19937 rng(23);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t n = static_cast<std::size_t>(c.w) * c.h;
    const std::size_t table = n * c.binning * c.binning;
    std::vector<float> rx(table), ry(table);
    std::uniform_real_distribution<float> slope(-1.5f, 1.5f);
    for (std::size_t i = 0; i < table; ++i) {
      rx[i] = rng() % 89 == 0 ? nan : slope(rng);
      ry[i] = slope(rng);
    }
    std::vector<uint16_t> depth(n);
    for (auto& d : depth) d = static_cast<uint16_t>(rng() % 5 == 0 ? 0 : rng() % 65536);
    std::vector<float> expected(3 * n, 7.0f), got(3 * n, -3.0f);
    qzapi::PointsRequest q{depth.data(), expected.data(), c.w, c.h, c.margin, c.binning, rx.data(), ry.data()};
    qzapi::DepthToPointsKernelReference(q);
    q.xyz = got.data();
    qzapi::DepthToPointsKernel(q);
    std::size_t first = 3 * n;
    for (std::size_t i = 0; i < 3 * n && first == 3 * n; ++i)
      if (std::memcmp(&got[i], &expected[i], sizeof(float)) != 0) first = i;
    EXPECT_EQ(first, 3 * n) << "first differing value at pixel " << first / 3;
  }
}

TEST(DepthToPoints, MarginDependsOnBinningAndWidth) {
  EXPECT_EQ(qzapi::PointsMargin(1, 640), 60);
  EXPECT_EQ(qzapi::PointsMargin(2, 640), 30);
  EXPECT_EQ(qzapi::PointsMargin(2, 320), 15);
  EXPECT_EQ(qzapi::PointsMargin(1, 320), 30);
}

struct ColourCase {
  std::string name;
  uint16_t depth;
  int32_t nearLimit, farLimit;
  std::array<uint8_t, 3> rgb;
};

class ColouriseDepthTest : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColouriseDepthTest, RampValues) {
  const ColourCase& c = GetParam();
  ReconstructionImpl impl;
  impl.SetDistanceRange(c.nearLimit, c.farLimit);
  uint8_t* rgb = nullptr;
  const uint16_t depth[1] = {c.depth};
  impl.ColouriseDepth(&rgb, depth, 1, 1);
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ((std::array<uint8_t, 3>{rgb[0], rgb[1], rgb[2]}), c.rgb);
  delete[] rgb;
}

INSTANTIATE_TEST_SUITE_P(
    Ramp, ColouriseDepthTest,
    ::testing::Values(ColourCase{"Invalid", 0, 0, 7500, {0, 0, 0}}, ColourCase{"Saturated", 1, 0, 7500, {127, 0, 170}},
                      ColourCase{"Middle", 3750, 0, 7500, {128, 255, 127}},
                      ColourCase{"FarLimit", 7500, 0, 7500, {0, 0, 128}},
                      ColourCase{"Near", 2, 0, 7500, {127, 0, 0}},
                      // f = 1000 / 7500 * 1021 = 136
                      ColourCase{"SecondBand", 1000, 0, 7500, {255, 8, 0}},
                      // f = 5000 / 7500 * 1021 = 680
                      ColourCase{"FourthBand", 5000, 0, 7500, {0, 213, 255}},
                      ColourCase{"BeyondFarStretchesRamp", 9000, 0, 7500, {0, 0, 128}},
                      ColourCase{"BelowNearStretchesRamp", 400, 500, 7500, {127, 0, 0}},
                      ColourCase{"EqualLimitsUndefined", 500, 500, 500, {0, 0, 128}},
                      ColourCase{"ExtremeLimitsDoNotOverflow", 3000, INT32_MIN, INT32_MAX, {128, 255, 127}}),
    [](const ::testing::TestParamInfo<ColourCase>& info) { return info.param.name; });

TEST(ColourTable, TellingRows) {
  ReconstructionImpl impl;
  uint8_t* table = nullptr;
  int32_t count = 0;
  impl.GetColourTable(&table, &count);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(count, 360);
  struct Row {
    int index;
    std::array<uint8_t, 3> rgb;
  };
  for (const Row& r : {Row{0, {128, 0, 0}}, Row{44, {255, 0, 0}}, Row{120, {255, 207, 0}}, Row{140, {248, 255, 7}},
                       Row{200, {80, 255, 175}}, Row{240, {0, 223, 255}}, Row{320, {0, 0, 255}},
                       Row{359, {0, 0, 143}}}) {
    EXPECT_EQ((std::array<uint8_t, 3>{table[3 * r.index], table[3 * r.index + 1], table[3 * r.index + 2]}), r.rgb)
        << "row " << r.index;
  }
  // Smooth: no component jumps by more than 3 between rows.
  for (int k = 1; k < 360; ++k)
    for (int ch = 0; ch < 3; ++ch) ASSERT_LE(std::abs(table[3 * k + ch] - table[3 * (k - 1) + ch]), 3) << k;
  delete[] table;
}

TEST(Undistort, IdentityWithoutDistortionAndZeroBorder) {
  CalibrationBlock block = qzr_test::PlainBlock(50.0f, 50.0f, 4.0f, 3.0f);
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitWithSize(0, 0, &block, 640, 480), 0);
  const int w = 8, h = 6;
  std::vector<uint16_t> src(w * h), dst(w * h, 7);
  for (int k = 0; k < w * h; ++k) src[k] = static_cast<uint16_t>(100 + k);
  impl.Undistort(src.data(), w, h, dst.data(), 1);
  for (int v = 0; v < h; ++v) {
    for (int u = 0; u < w; ++u) {
      const bool inner = u > 0 && u < w - 1 && v > 0 && v < h - 1;
      EXPECT_EQ(dst[v * w + u], inner ? src[v * w + u] : 0) << u << "," << v;
    }
  }
}

TEST(Undistort, RadialDistortionSamplesOutward) {
  CalibrationBlock block = qzr_test::PlainBlock(10.0f, 10.0f, 10.0f, 10.0f);
  block.distCoeffs[0] = 0.5f;  // k1: source lies further out than destination
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitWithSize(0, 0, &block, 640, 480), 0);
  const int w = 21, h = 21;
  std::vector<uint16_t> src(w * h), dst(w * h);
  for (int k = 0; k < w * h; ++k) src[k] = static_cast<uint16_t>(k);
  impl.Undistort(src.data(), w, h, dst.data(), 0x101);  // low byte 1: depth camera
  // Destination (15, 10): x = 0.5, r2 = 0.25, k = 1.125 -> column 0.5625 * 10 + 10 + 0.5 = 16.125 -> 16.
  EXPECT_EQ(dst[10 * w + 15], src[10 * w + 16]);
  EXPECT_EQ(dst[10 * w + 10], src[10 * w + 10]);
}

TEST(Undistort, ColourUsesBuiltInModelWithoutColourIntrinsics) {
  ReconstructionImpl impl;  // not initialised: no colour intrinsics
  const int w = 1920, h = 1080;
  std::vector<uint16_t> src(static_cast<std::size_t>(w) * h * 3), dst(src.size(), 9);
  for (std::size_t k = 0; k < src.size(); ++k) src[k] = static_cast<uint16_t>(k % 60000);
  impl.Undistort(src.data(), w, h, dst.data(), 0x100);  // low byte 0: colour, three channels
  // Built-in model by hand: destination (1500, 575) samples source column
  // 1487.7 -> 1487, row 576.4 -> 576; (400, 200) samples (432.5, 222.1).
  auto at = [&](int u, int v) { return (static_cast<std::size_t>(v) * w + u) * 3; };
  for (int ch = 0; ch < 3; ++ch) {
    EXPECT_EQ(dst[at(1500, 575) + ch], src[at(1487, 576) + ch]);
    EXPECT_EQ(dst[at(400, 200) + ch], src[at(432, 222) + ch]);
  }
}

TEST(Undistort, DepthModelBeforeInitialisationZeroesOutput) {
  ReconstructionImpl impl;
  std::vector<uint16_t> src(16, 500), dst(16, 9);
  impl.Undistort(src.data(), 4, 4, dst.data(), 1);
  for (uint16_t v : dst) EXPECT_EQ(v, 0);
}

}  // namespace
