// Hostile blocks and calls out of order: refused or harmless, never a crash
// or an out-of-bounds access (run under AddressSanitizer).
#include <cmath>
#include <limits>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "forward_model.h"
#include "reconstruction_impl.h"

namespace {

using qzapi::CalibrationBlock;
using qzapi::ReconstructionImpl;

struct HostileCase {
  std::string name;
  void (*spoil)(CalibrationBlock&);
};

class HostileBlocks : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileBlocks, InitAndEveryFrameOperationStaySafe) {
  CalibrationBlock block = qzr_test::PlainBlock(500, 500, 320, 240);
  block.colourIntrinsics[0] = block.colourIntrinsics[1] = 1000.0f;
  block.colourIntrinsics[2] = 960.0f;
  block.colourIntrinsics[3] = 540.0f;
  GetParam().spoil(block);
  for (int mode : {0, 5}) {
    ReconstructionImpl impl;
    impl.diagnosticWindowAllowed = false;
    const int32_t status = impl.InitWithSize(4, mode, &block, 64, 48);
    EXPECT_LE(status, 0);
    const int32_t w = 64, h = 48;
    std::vector<uint16_t> raw(static_cast<std::size_t>(16) * w * h);
    for (std::size_t k = 0; k < raw.size(); ++k) raw[k] = static_cast<uint16_t>((k * 7919) % 1023);
    uint16_t* depth = nullptr;
    impl.SetFilterEnabled(qzapi::FilterModeNoiseAware);
    impl.ComputeDepth(raw.data(), &depth, w, h);
    ASSERT_NE(depth, nullptr);
    delete[] depth;
    depth = nullptr;
    impl.SetFilterEnabled(qzapi::FilterModeStandard);
    impl.ComputeDepth(raw.data(), &depth, w, h);
    ASSERT_NE(depth, nullptr);
    impl.ApplyFilter(depth, 8);
    impl.ApplyFilter(depth, 32);
    std::vector<float> xyz(static_cast<std::size_t>(3) * w * h);
    impl.DepthToPoints(depth, xyz.data(), w, h);
    delete[] depth;
    std::stringstream text;
    impl.DumpCalibration(text, block);
    const std::string dumped = text.str();
    EXPECT_EQ(std::count(dumped.begin(), dumped.end(), '\n'), 19);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, HostileBlocks,
    ::testing::Values(
        HostileCase{"Counts10000",
                    [](CalibrationBlock& b) {
                      b.wigglingError80Count = b.wigglingError100Count = 10000;
                      b.otherOffset4Count = b.otherOffset5Count = 10000;
                    }},
        HostileCase{"NegativeCounts",
                    [](CalibrationBlock& b) {
                      b.wigglingError80Count = b.wigglingError100Count = -1;
                      b.otherOffset4Count = b.otherOffset5Count = -100000;
                    }},
        HostileCase{"ZeroFocalLengths",
                    [](CalibrationBlock& b) {
                      std::fill(b.depthIntrinsics, b.depthIntrinsics + 4, 0.0f);
                      b.colourIntrinsics[0] = 0.0f;
                    }},
        HostileCase{"HugeGrid", [](CalibrationBlock& b) { b.depthGridWidth = b.depthGridHeight = 100000; }},
        HostileCase{"NegativeGrid", [](CalibrationBlock& b) { b.depthGridWidth = b.depthGridHeight = -640; }},
        HostileCase{"NonFiniteValues",
                    [](CalibrationBlock& b) {
                      const float nan = std::numeric_limits<float>::quiet_NaN();
                      const float inf = std::numeric_limits<float>::infinity();
                      b.globalOffset80 = nan;
                      b.globalOffset100 = inf;
                      b.wigglingError80Count = 10;
                      std::fill(b.wigglingError80, b.wigglingError80 + 10, inf);
                      b.fitting80[0] = nan;
                      b.distCoeffs[0] = inf;
                      b.otherOffset5Count = 4;
                      b.otherOffset5[0] = 80, b.otherOffset5[1] = 100, b.otherOffset5[2] = nan, b.otherOffset5[3] = 0;
                    }},
        HostileCase{"TinyGainsPushTablePositionsFar",
                    [](CalibrationBlock& b) {
                      b.otherOffset5Count = 4;
                      b.otherOffset5[0] = 80, b.otherOffset5[1] = 100;
                      b.otherOffset5[2] = 1e-6f, b.otherOffset5[3] = -1e-6f;
                      b.wigglingError80Count = b.wigglingError100Count = 5;
                    }},
        HostileCase{"EqualFrequencies",
                    [](CalibrationBlock& b) {
                      b.otherOffset5Count = 2;
                      b.otherOffset5[0] = b.otherOffset5[1] = 28.0f;
                    }}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

TEST(Robustness, HugeBinnedGridIsRefusedAndKeepsThePreviousSetUp) {
  CalibrationBlock good = qzr_test::PlainBlock(500, 500, 320, 240);
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitWithSize(0, 0, &good, 640, 480), 0);
  CalibrationBlock binned = good;
  binned.depthGridWidth = 320;  // tables twice the image: 8192 wide
  EXPECT_EQ(impl.InitWithSize(0, 0, &binned, 4096, 480), qzapi::StatusInvalidArgument);
  EXPECT_EQ(impl.InitWithSize(0, 0, &good, 0, 480), qzapi::StatusInvalidArgument);
  EXPECT_EQ(impl.InitWithSize(0, 0, &good, 640, -1), qzapi::StatusInvalidArgument);
  EXPECT_EQ(impl.InitWithSize(0, 0, &good, 100000, 480), qzapi::StatusInvalidArgument);
  EXPECT_EQ(impl.InitWithSize(0, 0, nullptr, 640, 480), qzapi::StatusInvalidArgument);
  EXPECT_EQ(impl.initialised, 1);
  EXPECT_EQ(impl.depthWidth, 640);
  EXPECT_EQ(impl.rayMapX.size(), 640u * 480u);
}

TEST(Robustness, OperationsBeforeInitialisation) {
  ReconstructionImpl impl;
  std::vector<uint16_t> raw(static_cast<std::size_t>(16) * 640 * 480, 300);
  uint16_t* depth = reinterpret_cast<uint16_t*>(0x1);
  impl.SetFilterEnabled(qzapi::FilterModeNoiseAware);
  impl.ComputeDepth(raw.data(), &depth, 640, 480);
  ASSERT_NE(depth, nullptr);
  for (int k = 0; k < 640 * 480; ++k) ASSERT_EQ(depth[k], 0) << "all invalid before initialisation (noise-aware)";
  delete[] depth;
  impl.SetFilterEnabled(qzapi::FilterModeStandard);
  impl.ComputeDepth(raw.data(), &depth, 640, 480);
  ASSERT_NE(depth, nullptr);
  for (int k = 0; k < 640 * 480; ++k) ASSERT_EQ(depth[k], 0) << "all invalid before initialisation";

  std::vector<float> xyz(static_cast<std::size_t>(3) * 640 * 480, 5.0f);
  EXPECT_EQ(impl.DepthToPoints(depth, xyz.data(), 640, 480), qzapi::StatusNotInitialised);
  for (float v : xyz) ASSERT_EQ(v, 0.0f);

  uint16_t* single = reinterpret_cast<uint16_t*>(0x1);
  int32_t w = -1, h = -1;
  EXPECT_EQ(impl.ComputeDepthSingle(raw.data(), nullptr, &single, &w, &h), qzapi::StatusNotInitialised);
  EXPECT_EQ(single, nullptr);
  EXPECT_EQ(w, 0);

  std::vector<uint16_t> copy(depth, depth + 640 * 480);
  impl.ApplyFilter(depth, 1);
  EXPECT_TRUE(std::equal(copy.begin(), copy.end(), depth));
  delete[] depth;
}

TEST(Robustness, NullPointersAndBadSizes) {
  ReconstructionImpl impl;
  CalibrationBlock block = qzr_test::PlainBlock(500, 500, 320, 240);
  ASSERT_EQ(impl.InitWithSize(0, 0, &block, 640, 480), 0);
  impl.ComputeDepth(nullptr, nullptr, 640, 480);
  uint16_t* depth = reinterpret_cast<uint16_t*>(0x1);
  impl.ComputeDepth(nullptr, &depth, 640, 480);
  EXPECT_EQ(depth, nullptr);
  std::vector<uint16_t> raw(16, 0);
  impl.ComputeDepth(raw.data(), &depth, -5, 480);
  EXPECT_EQ(depth, nullptr);

  // A different size than the tables were built for: all invalid, no overrun.
  std::vector<uint16_t> small(static_cast<std::size_t>(16) * 100 * 100, 300);
  impl.ComputeDepth(small.data(), &depth, 100, 100);
  ASSERT_NE(depth, nullptr);
  for (int k = 0; k < 100 * 100; ++k) ASSERT_EQ(depth[k], 0);
  delete[] depth;

  EXPECT_EQ(impl.Bin2x2(nullptr, nullptr, 4, 4), qzapi::StatusInvalidArgument);
  EXPECT_EQ(impl.DepthToPoints(nullptr, nullptr, 640, 480), qzapi::StatusInvalidArgument);
  uint8_t* rgb = reinterpret_cast<uint8_t*>(0x1);
  impl.ColouriseDepth(&rgb, nullptr, 4, 4);
  EXPECT_EQ(rgb, nullptr);
  impl.ColouriseDepth(nullptr, nullptr, 4, 4);
  impl.GetDistanceRange(nullptr, nullptr);
  impl.GetColourTable(nullptr, nullptr);
  impl.GetFilterEnabled(nullptr);
  impl.GetIntrinsics(nullptr, nullptr, block);
  impl.SetFilterParameter(4, nullptr, 1);
  impl.GetFilterParameter(4, nullptr, nullptr);
  impl.GetSupportedFilters(nullptr, nullptr, nullptr);
  impl.Undistort(nullptr, 4, 4, nullptr, 1);
  impl.ApplyFilter(nullptr, 1);
  impl.AlignDepthToColour(nullptr, nullptr, nullptr, 1920, 1080, nullptr, nullptr);
}

TEST(Robustness, ReinitialisationRebuildsEverything) {
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitDefault(1, 0), 0);
  const float before = impl.rayMapX[1000];
  CalibrationBlock other = qzr_test::PlainBlock(300, 300, 100, 100);
  ASSERT_EQ(impl.Init(other, other), 0);
  EXPECT_EQ(impl.initialised, 1);
  EXPECT_EQ(impl.rayMapX.size(), 640u * 480u);
  EXPECT_NE(impl.rayMapX[1000], before);
  EXPECT_FLOAT_EQ(impl.rayMapX[0], -100.0f / 300.0f);
  EXPECT_EQ(impl.frequency80.tableCount, 0) << "channels reset and rebuilt from the new block";
}

TEST(Bin2x2, HalfSumOfEachBlockFromRowTwo) {
  ReconstructionImpl impl;
  const int w = 3, h = 4;
  std::vector<uint16_t> raw(4 * w * h);
  for (std::size_t k = 0; k < raw.size(); ++k) raw[k] = static_cast<uint16_t>(k);
  std::vector<uint16_t> out(w * h, 99);
  ASSERT_EQ(impl.Bin2x2(raw.data(), out.data(), w, h), 0);
  for (int j = 0; j < 2 * w; ++j) EXPECT_EQ(out[j], 0);
  // Output (2, 1): input rows 4, 5 (6 wide), columns 2, 3: 26 + 27 + 32 + 33 = 118 -> 59.
  EXPECT_EQ(out[2 * w + 1], 59);
  // Output (3, 2): rows 6, 7, columns 4, 5: 40 + 41 + 46 + 47 = 174 -> 87.
  EXPECT_EQ(out[3 * w + 2], 87);
}

TEST(Intrinsics, DepthUsesCurrentSizeColourUsesBlock) {
  ReconstructionImpl impl;
  ASSERT_EQ(impl.InitDefault(1, 5), 0);
  CalibrationBlock b = qzr_test::PlainBlock(11, 12, 13, 14);
  b.distCoeffs[4] = 0.5f;
  b.colourIntrinsics[0] = 21;
  b.colourIntrinsics[3] = 24;
  b.colourDistCoeffs[1] = -0.25f;
  b.colourWidth = 1920;
  b.colourHeight = 1080;
  qzapi::Intrinsics depth, colour;
  depth.reserved[0] = colour.reserved[1] = 77;
  impl.GetIntrinsics(&depth, &colour, b);
  EXPECT_EQ(depth.reserved[0], 0);
  EXPECT_EQ(depth.fx, 11);
  EXPECT_EQ(depth.cy, 14);
  EXPECT_EQ(depth.distCoeffs[4], 0.5f);
  EXPECT_EQ(depth.width, 320);
  EXPECT_EQ(depth.height, 240);
  EXPECT_EQ(colour.reserved[1], 0);
  EXPECT_EQ(colour.fx, 21);
  EXPECT_EQ(colour.cy, 24);
  EXPECT_EQ(colour.distCoeffs[1], -0.25f);
  EXPECT_EQ(colour.width, 1920);
}

}  // namespace

namespace {

// Several host threads on one instance: the library mutex serialises them
// (run under ThreadSanitizer).
TEST(Concurrency, FramesFiltersAndReinitialisationFromSeveralThreads) {
  ReconstructionImpl impl;
  CalibrationBlock block = qzr_test::PlainBlock(500, 500, 160, 120);
  block.depthGridWidth = 320, block.depthGridHeight = 240;  // grid of twice the image: binning 2
  ASSERT_EQ(impl.InitWithSize(0, 0, &block, 160, 120), 0);
  std::vector<uint16_t> raw(static_cast<std::size_t>(16) * 160 * 120);
  for (std::size_t k = 0; k < raw.size(); ++k) raw[k] = static_cast<uint16_t>((k * 31) % 1000);
  auto frames = [&] {
    for (int k = 0; k < 20; ++k) {
      uint16_t* depth = nullptr;
      impl.ComputeDepth(raw.data(), &depth, 160, 120);
      if (depth) impl.ApplyFilter(depth, 32);
      delete[] depth;
    }
  };
  auto settings = [&] {
    for (int k = 0; k < 20; ++k) {
      impl.SetOrientation(k % 4);
      float v = static_cast<float>(20 + k);
      impl.SetFilterParameter(4, &v, 1);
      impl.SetFilterEnabled(k & 1);
      if (k % 5 == 0) impl.InitWithSize(0, 0, &block, 160, 120);
    }
  };
  std::thread a(frames), b(frames), c(settings);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(impl.initialised, 1);
}

}  // namespace
