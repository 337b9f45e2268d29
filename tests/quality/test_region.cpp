// The region of interest: drawing from two corners, carrying it over to
// another resolution, and mirroring it with the image.
#include <gtest/gtest.h>

#include <ostream>

#include "quality/region.h"

using quality::region;

namespace {

region make(int x, int y, int w, int h, int iw, int ih) { return region{x, y, w, h, iw, ih}; }

void expect_rect(const region& r, int x, int y, int w, int h) {
  EXPECT_EQ(r.x, x);
  EXPECT_EQ(r.y, y);
  EXPECT_EQ(r.width, w);
  EXPECT_EQ(r.height, h);
}

TEST(RegionFromCorners, EitherOrderIncludesBothCornersAndClips) {
  expect_rect(quality::region_from_corners(10, 20, 19, 29, 640, 480), 10, 20, 10, 10);
  expect_rect(quality::region_from_corners(19, 29, 10, 20, 640, 480), 10, 20, 10, 10);
  // Dragged past the image's edges: held at the edges.
  expect_rect(quality::region_from_corners(-30, 470, 700, 900, 640, 480), 0, 470, 640, 10);
  EXPECT_TRUE(quality::region_from_corners(0, 0, 5, 5, 0, 0).empty());
}

struct scale_case {
  const char* name;
  region in;
  int to_w, to_h;
  region out;
};
void PrintTo(const scale_case& c, std::ostream* os) { *os << c.name; }

class RegionScaling : public ::testing::TestWithParam<scale_case> {};

TEST_P(RegionScaling, FollowsTheImageSize) {
  const scale_case& c = GetParam();
  const region r = quality::scaled(c.in, c.to_w, c.to_h);
  expect_rect(r, c.out.x, c.out.y, c.out.width, c.out.height);
  EXPECT_EQ(r.image_width, c.to_w);
  EXPECT_EQ(r.image_height, c.to_h);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionScaling,
    ::testing::Values(
        scale_case{"VgaToBinned", make(100, 50, 64, 32, 640, 480), 320, 240, make(50, 25, 32, 16, 320, 240)},
        scale_case{"BinnedToVga", make(50, 25, 32, 16, 320, 240), 640, 480, make(100, 50, 64, 32, 640, 480)},
        // Odd edges round to the nearest edge: 101 / 2 = 50.5 -> 51, 152 / 2 = 76.
        scale_case{"OddEdges", make(101, 51, 51, 51, 640, 480), 320, 240, make(51, 26, 25, 25, 320, 240)},
        // A one-pixel region keeps one pixel.
        scale_case{"KeepsOnePixel", make(7, 9, 1, 1, 640, 480), 320, 240, make(4, 5, 1, 1, 320, 240)},
        scale_case{"WholeImage", make(0, 0, 640, 480, 640, 480), 1920, 1080, make(0, 0, 1920, 1080, 1920, 1080)},
        // The part outside the old image is dropped before scaling.
        scale_case{"ClippedFirst", make(600, 400, 100, 100, 640, 480), 320, 240, make(300, 200, 20, 40, 320, 240)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegionMirroring, MirrorsWithTheImageAndBack) {
  const region r = make(10, 20, 30, 40, 640, 480);
  expect_rect(quality::mirrored(r, false, true), 600, 20, 30, 40);
  expect_rect(quality::mirrored(r, true, false), 10, 420, 30, 40);
  expect_rect(quality::mirrored(r, true, true), 600, 420, 30, 40);
  EXPECT_EQ(quality::mirrored(quality::mirrored(r, true, true), true, true), r);
  // The pixel under the region's first column is the mirror image's last.
  const region m = quality::mirrored(r, false, true);
  EXPECT_EQ(m.x + m.width - 1, 640 - 1 - r.x);
}

TEST(RegionCentre, LiesBetweenTheMiddlePixels) {
  const region even = make(10, 10, 4, 2, 640, 480);
  EXPECT_DOUBLE_EQ(even.centre_x(), 11.5);
  EXPECT_DOUBLE_EQ(even.centre_y(), 10.5);
  const region odd = make(10, 10, 5, 3, 640, 480);
  EXPECT_DOUBLE_EQ(odd.centre_x(), 12.0);
  EXPECT_DOUBLE_EQ(odd.centre_y(), 11.0);
}

}  // namespace
