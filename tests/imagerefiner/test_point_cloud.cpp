// BuildPointCloud: back-projection through pinhole maps, the 2-pixel frame,
// the corner triangles, untouched records and argument checks.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image_refine_impl.h"

namespace {

constexpr std::uint32_t kSentinelColour = 0xDEADBEEFU;
constexpr float kSentinel = -7.0F;

// Intrinsics chosen so that pinhole coordinates are easy to write down:
// x = z * (u - 320) / 500 and y = z * (v - 240) / 500 on the 640 x 480 grid.
struct Cloud {
  int width;
  int height;
  std::vector<std::uint16_t> depth;
  std::vector<std::uint8_t> colours;
  std::vector<qzapi::RefinedPoint> points;

  Cloud(int w, int h, std::uint16_t z)
      : width(w),
        height(h),
        depth(static_cast<std::size_t>(w) * h, z),
        colours(static_cast<std::size_t>(w) * h * 3),
        points(static_cast<std::size_t>(w) * h,
               qzapi::RefinedPoint{kSentinel, kSentinel, kSentinel, kSentinelColour}) {
    for (std::size_t i = 0; i < colours.size(); ++i) {
      colours[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
  }
  const qzapi::RefinedPoint& At(int row, int col) const { return points[row * width + col]; }
  std::uint32_t ColourWord(int row, int col) const {
    const std::uint8_t* c = &colours[3 * (row * width + col)];
    return c[0] | (c[1] << 8) | (c[2] << 16);
  }
};

void PreparePinhole(qzapi::ImageRefineImpl& refiner, std::uint8_t halfCornerMargin) {
  ASSERT_EQ(refiner.SetIntrinsics(640, 480, 320.0F, 240.0F, 500.0F, 500.0F, 1.0F, 1.0F), 0);
  const qzapi::DistortionCoefficients none{0, 0, 0, 0, 0};
  ASSERT_EQ(refiner.SetDistortion(&none, halfCornerMargin, 2), 0);
}

bool Rejected(const qzapi::RefinedPoint& p) {
  return p.x == 0.0F && p.y == 0.0F && p.z == 0.0F && (p.colour & 0xFFFFFFU) == 0 &&
         (p.colour & 0xFF000000U) == (kSentinelColour & 0xFF000000U);
}

struct PixelCase {
  const char* name;
  int width;
  int height;
  std::uint8_t halfCornerMargin;
  int row;
  int col;
  bool kept;
};

// Boundaries of the frame (rows/columns < 2 or > size - 2) and of the corner
// triangles (margin 80 at 640 x 480, 40 at 320 x 240, halved on request).
const PixelCase kPixelCases[] = {
    {"Centre640", 640, 480, 0, 240, 320, true},
    {"TopRow", 640, 480, 0, 0, 320, false},
    {"SecondRow", 640, 480, 0, 1, 320, false},
    {"ThirdRow", 640, 480, 0, 2, 320, true},
    {"LastRow", 640, 480, 0, 479, 320, false},
    {"SecondLastRow", 640, 480, 0, 478, 320, true},
    {"FirstColumns", 640, 480, 0, 240, 1, false},
    {"ThirdColumn", 640, 480, 0, 240, 2, true},
    {"LastColumn", 640, 480, 0, 240, 639, false},
    {"SecondLastColumn", 640, 480, 0, 240, 638, true},
    {"TopLeftInside", 640, 480, 0, 10, 10, false},
    {"TopLeftEdge", 640, 480, 0, 40, 40, true},
    {"TopLeftOff", 640, 480, 0, 2, 77, false},
    {"TopLeftOn", 640, 480, 0, 2, 78, true},
    {"BottomRightOn", 640, 480, 0, 478, 562, true},
    {"BottomRightOff", 640, 480, 0, 478, 563, false},
    {"TopRightOn", 640, 480, 0, 2, 562, true},
    {"TopRightOff", 640, 480, 0, 2, 563, false},
    {"BottomLeftOn", 640, 480, 0, 478, 78, true},
    {"BottomLeftOff", 640, 480, 0, 478, 77, false},
    {"HalfMarginTopLeftOff", 640, 480, 1, 2, 37, false},
    {"HalfMarginTopLeftOn", 640, 480, 1, 2, 38, true},
    {"HalfMarginStillCutsTenTen", 640, 480, 1, 10, 10, false},
    {"HalfMarginKeepsTwentyTwenty", 640, 480, 1, 20, 20, true},
    {"Small_TopLeftOff", 320, 240, 0, 2, 37, false},
    {"Small_TopLeftOn", 320, 240, 0, 2, 38, true},
    {"Small_BottomRightOn", 320, 240, 0, 238, 282, true},
    {"Small_BottomRightOff", 320, 240, 0, 238, 283, false},
    {"Small_TopRightOn", 320, 240, 0, 2, 282, true},
    {"Small_TopRightOff", 320, 240, 0, 2, 283, false},
    {"Small_BottomLeftOn", 320, 240, 0, 238, 38, true},
    {"Small_BottomLeftOff", 320, 240, 0, 238, 37, false},
    {"Small_LastRow", 320, 240, 0, 239, 160, false},
    {"Small_LastColumn", 320, 240, 0, 120, 319, false},
    {"Small_HalfMarginOff", 320, 240, 1, 2, 17, false},
    {"Small_HalfMarginOn", 320, 240, 1, 2, 18, true},
};

class PointCloudPixel : public testing::TestWithParam<PixelCase> {};

TEST_P(PointCloudPixel, FrameAndCornerCuts) {
  const PixelCase& c = GetParam();
  qzapi::ImageRefineImpl refiner;
  PreparePinhole(refiner, c.halfCornerMargin);
  Cloud cloud(c.width, c.height, 1000);
  ASSERT_EQ(refiner.BuildPointCloud(cloud.points.data(), cloud.colours.data(),
                                    cloud.depth.data(), c.height, c.width),
            0);
  const qzapi::RefinedPoint& p = cloud.At(c.row, c.col);
  if (!c.kept) {
    EXPECT_TRUE(Rejected(p)) << p.x << " " << p.y << " " << p.z << " " << std::hex << p.colour;
    return;
  }
  // Map entry (s * row, s * col) of the 640 x 480 grid, s = 640 / width.
  const int s = 640 / c.width;
  EXPECT_FLOAT_EQ(p.z, 1000.0F);
  EXPECT_NEAR(p.x, 1000.0 * (s * c.col - 320) / 500.0, 1e-3);
  EXPECT_NEAR(p.y, 1000.0 * (s * c.row - 240) / 500.0, 1e-3);
  EXPECT_EQ(p.colour & 0xFFFFFFU, cloud.ColourWord(c.row, c.col));
  EXPECT_EQ(p.colour & 0xFF000000U, kSentinelColour & 0xFF000000U)
      << "the highest colour byte is not the library's";
}

INSTANTIATE_TEST_SUITE_P(Pixels, PointCloudPixel, testing::ValuesIn(kPixelCases),
                         [](const testing::TestParamInfo<PixelCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(PointCloud, ZeroDepthLeavesRecordsUntouched) {
  qzapi::ImageRefineImpl refiner;
  PreparePinhole(refiner, 0);
  Cloud cloud(640, 480, 0);
  cloud.depth[240 * 640 + 330] = 1500;
  ASSERT_EQ(refiner.BuildPointCloud(cloud.points.data(), cloud.colours.data(),
                                    cloud.depth.data(), 480, 640),
            0);
  int touched = 0;
  for (const auto& p : cloud.points) {
    if (p.x != kSentinel || p.y != kSentinel || p.z != kSentinel || p.colour != kSentinelColour) {
      ++touched;
    }
  }
  EXPECT_EQ(touched, 1);
  EXPECT_NEAR(cloud.At(240, 330).x, 1500.0 * 10 / 500, 1e-3);
  EXPECT_NEAR(cloud.At(240, 330).y, 0.0, 1e-3);
}

TEST(PointCloud, FollowsUndistortedMaps) {
  // With distortion the point is z times the map entry, not the pinhole ray.
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.SetIntrinsics(640, 480, 320.0F, 240.0F, 500.0F, 500.0F, 1.0F, 1.0F), 0);
  const qzapi::DistortionCoefficients barrel{-0.2F, 0.0F, 0.0F, 0.0F, 0.0F};
  ASSERT_EQ(refiner.SetDistortion(&barrel, 0, 5), 0);
  Cloud cloud(640, 480, 2000);
  ASSERT_EQ(refiner.BuildPointCloud(cloud.points.data(), cloud.colours.data(),
                                    cloud.depth.data(), 480, 640),
            0);
  const int i = 100 * 640 + 500;
  EXPECT_FLOAT_EQ(cloud.points[i].x, 2000.0F * refiner.MapX()[i]);
  EXPECT_FLOAT_EQ(cloud.points[i].y, 2000.0F * refiner.MapY()[i]);
  // Barrel distortion pulls rays inwards, so undistorting pushes them out.
  EXPECT_GT(cloud.points[i].x, 2000.0F * 180.0F / 500.0F);
}

struct BadCall {
  const char* name;
  bool nullPoints;
  bool nullColours;
  bool nullDepth;
  int width;
  int height;
};

const BadCall kBadCalls[] = {
    {"NullPoints", true, false, false, 640, 480},
    {"NullColours", false, true, false, 640, 480},
    {"NullDepth", false, false, true, 640, 480},
    {"ZeroWidth", false, false, false, 0, 480},
    {"NegativeHeight", false, false, false, 640, -1},
    // Sizes the maps do not cover used to read past them.
    {"WidthOfOneSizeHeightOfOther", false, false, false, 640, 240},
    {"LargerThanMaps", false, false, false, 1280, 960},
    {"SmallOddSize", false, false, false, 5, 4},
};

class PointCloudRefused : public testing::TestWithParam<BadCall> {};

TEST_P(PointCloudRefused, ReturnsMinusThreeAndWritesNothing) {
  const BadCall& b = GetParam();
  qzapi::ImageRefineImpl refiner;
  PreparePinhole(refiner, 0);
  Cloud cloud(1280, 960, 1000);
  const auto before = cloud.points.front().colour;
  EXPECT_EQ(refiner.BuildPointCloud(b.nullPoints ? nullptr : cloud.points.data(),
                                    b.nullColours ? nullptr : cloud.colours.data(),
                                    b.nullDepth ? nullptr : cloud.depth.data(), b.height,
                                    b.width),
            -3);
  EXPECT_EQ(cloud.points[300 * 1280 + 400].x, kSentinel);
  EXPECT_EQ(cloud.points.front().colour, before);
}

INSTANTIATE_TEST_SUITE_P(Arguments, PointCloudRefused, testing::ValuesIn(kBadCalls),
                         [](const testing::TestParamInfo<BadCall>& info) {
                           return std::string(info.param.name);
                         });

TEST(PointCloud, RefusedBeforeSetDistortion) {
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.SetIntrinsics(640, 480, 320.0F, 240.0F, 500.0F, 500.0F, 1.0F, 1.0F), 0);
  Cloud cloud(640, 480, 1000);
  EXPECT_EQ(refiner.BuildPointCloud(cloud.points.data(), cloud.colours.data(),
                                    cloud.depth.data(), 480, 640),
            -3);
  EXPECT_EQ(cloud.At(240, 320).x, kSentinel);
}

}  // namespace
