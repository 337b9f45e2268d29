// Each filter on small hand-made images with exact expected outputs.
#include <vector>

#include <gtest/gtest.h>

#include "depth_filters.h"

namespace {

using Image = std::vector<uint16_t>;

TEST(SpikeFilter, PeakBecomesMeanOfNeighbours) {
  Image row = {100, 300, 100};
  qzapi::SpikeFilter(row.data(), 3, 1);
  EXPECT_EQ(row, (Image{100, 100, 100}));
}

TEST(SpikeFilter, PitRowThenColumnAndInvalidNeighbours) {
  // 3 x 3, centre pit; rows are filtered first, then columns.
  Image img = {
      500,
      500,
      500,
      500,
      100,
      500,
      500,
      500,
      500,
  };
  qzapi::SpikeFilter(img.data(), 3, 3);
  EXPECT_EQ(img[4], 500);
  // A neighbour of 0 is invalid: it never makes a spike.
  Image line = {0, 300, 100, 100};
  qzapi::SpikeFilter(line.data(), 4, 1);
  EXPECT_EQ(line, (Image{0, 300, 100, 100}));
  // Monotonic lines stay.
  Image ramp = {100, 200, 300, 400};
  qzapi::SpikeFilter(ramp.data(), 4, 1);
  EXPECT_EQ(ramp, (Image{100, 200, 300, 400}));
}

TEST(FlyingPixelFilter, IsolatedDepthStepIsRemoved) {
  Image img = {
      1100,
      1100,
      1100,
      1100,
      1000,
      1100,
      1100,
      1100,
      1100,
  };
  // Centre: average 800 / 9 = 88 > 15 * 1000 / 500 = 30, so it goes. The
  // corners see only 100 / 4 = 25 < 15 * 1100 / 500 = 33: they stay.
  qzapi::FlyingPixelFilter(img.data(), 3, 3, 15);
  EXPECT_EQ(img[4], 0);
  EXPECT_EQ(img[0], 1100);
  EXPECT_EQ(img[8], 1100);
}

TEST(FlyingPixelFilter, FlatSurfaceAndInvalidPixelsStay) {
  Image img(25, 2000);
  img[12] = 0;
  qzapi::FlyingPixelFilter(img.data(), 5, 5, 15);
  EXPECT_EQ(img[12], 0);
  for (int k = 0; k < 25; ++k)
    if (k != 12) {
      EXPECT_EQ(img[k], 2000);
    }
}

TEST(BlockDeviationFilter, ClearsTopLeftOfRoughBlocksInScanOrder) {
  // 4 x 5; rows 2..3 are examined (rows 0, 1 never).
  Image img = {
      9000,
      0,
      9000,
      0,
      9000,
      0,
      9000,
      0,
      9000,
      0,
      1000,
      1000,
      1000,
      1000,
      1000,
      1000,
      1000,
      1400,
      1000,
      1000,
  };
  qzapi::BlockDeviationFilter(img.data(), 5, 4, 50);
  // Block at (2, 1): 1000, 1000, 1000, 1400: m = 1100, s = sqrt(3 * 100^2 + 300^2) = 346 > 50.
  EXPECT_EQ(img[2 * 5 + 1], 0);
  // (2, 2): 1000, 1000, 1400, 1000 -> also rough.
  EXPECT_EQ(img[2 * 5 + 2], 0);
  EXPECT_EQ(img[2 * 5 + 0], 1000);
  EXPECT_EQ(img[2 * 5 + 3], 1000);
  EXPECT_EQ(img[0], 9000) << "rows 0 and 1 are never examined";
  EXPECT_EQ(img[3 * 5 + 2], 1400) << "the last row only takes part as lower half";
}

TEST(SmallRegionFilter, HundredPixelBlobGoesHundredAndOneStays) {
  const int w = 40, h = 30;
  Image img(w * h, 0);
  for (int r = 2; r < 12; ++r)
    for (int c = 2; c < 12; ++c) img[r * w + c] = 1500;  // 100 pixels
  for (int r = 15; r < 25; ++r)
    for (int c = 20; c < 30; ++c) img[r * w + c] = 2500;  // 100 pixels ...
  img[25 * w + 20] = 2500;                                // ... plus one
  qzapi::SmallRegionFilter(img.data(), w, h, 100, 40);
  EXPECT_EQ(img[5 * w + 5], 0);
  EXPECT_EQ(img[20 * w + 25], 2500);
  EXPECT_EQ(img[25 * w + 20], 2500);
}

TEST(SmallRegionFilter, DepthStepsSplitRegions) {
  // One connected patch of 6 x 6 in two depth halves 100 mm apart: with a
  // step limit of 40 it is two regions of 18, both small.
  const int w = 8, h = 8;
  Image img(w * h, 0);
  for (int r = 1; r < 7; ++r)
    for (int c = 1; c < 7; ++c) img[r * w + c] = c < 4 ? 1000 : 1100;
  Image keep = img;
  qzapi::SmallRegionFilter(keep.data(), w, h, 20, 100);  // one region of 36: stays
  EXPECT_EQ(keep, img);
  qzapi::SmallRegionFilter(img.data(), w, h, 20, 40);
  for (uint16_t v : img) EXPECT_EQ(v, 0);
}

TEST(MedianFilter, RemovesSaltAndKeepsEdges) {
  const int w = 5, h = 5;
  Image img(w * h, 1000);
  img[12] = 4000;
  for (int r = 0; r < h; ++r) img[r * w + 4] = 2000;
  qzapi::MedianFilter(img.data(), w, h, 3, 1);
  EXPECT_EQ(img[12], 1000);
  EXPECT_EQ(img[2 * w + 4], 2000);
  EXPECT_EQ(img[2 * w + 3], 1000);
}

TEST(GaussianFilter, SmoothsAnImpulseSymmetrically) {
  const int w = 5, h = 5;
  Image img(w * h, 0);
  img[12] = 1600;
  qzapi::GaussianFilter(img.data(), w, h, 3, 1);
  // 3 x 3 kernel with sigma 0: [1 2 1] / 4 in each direction.
  EXPECT_EQ(img[12], 400);
  EXPECT_EQ(img[11], 200);
  EXPECT_EQ(img[13], 200);
  EXPECT_EQ(img[6], 100);
  EXPECT_EQ(img[0], 0);
}

}  // namespace

namespace {

// The integer part of the deviation is compared: sqrt(2500) = 50 is not
// above 50, sqrt(2704) = 52 is.
TEST(BlockDeviationFilter, ThresholdOnTheIntegerPartOfTheDeviation) {
  for (const auto& [step, cleared] : {std::pair{25, false}, std::pair{26, true}}) {
    const auto lo = static_cast<uint16_t>(1025 - step), hi = static_cast<uint16_t>(1025 + step);
    // 2 x 4: only the block at (2, 0) is examined; its mean is 1025.
    Image img = {
        0,
        0,
        0,
        0,
        lo,
        hi,
        hi,
        lo,
    };
    qzapi::BlockDeviationFilter(img.data(), 2, 4, 50);
    EXPECT_EQ(img[4] == 0, cleared) << step;
  }
}

}  // namespace
