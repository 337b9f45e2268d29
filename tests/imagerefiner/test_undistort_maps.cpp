// Undistortion maps of SetDistortion: pinhole maps without distortion, and a
// forward-model round trip with real coefficients.
#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "image_refine_impl.h"

namespace {

constexpr int kW = 640;
constexpr int kH = 480;
constexpr float kCx = 321.5F;
constexpr float kCy = 238.25F;
constexpr float kFx = 505.0F;
constexpr float kFy = 498.0F;

class UndistortPinhole : public testing::TestWithParam<int> {};

TEST_P(UndistortPinhole, ZeroCoefficientsGivePinholeMaps) {
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.SetIntrinsics(kW, kH, kCx, kCy, kFx, kFy, 1.0F, 1.0F), 0);
  const qzapi::DistortionCoefficients none{0, 0, 0, 0, 0};
  ASSERT_EQ(refiner.SetDistortion(&none, 0, static_cast<std::uint8_t>(GetParam())), 0);
  double worst = 0.0;
  for (int v = 0; v < kH; ++v) {
    for (int u = 0; u < kW; ++u) {
      const double x = (u - static_cast<double>(kCx)) / kFx;
      const double y = (v - static_cast<double>(kCy)) / kFy;
      worst = std::max({worst, std::abs(refiner.MapX()[v * kW + u] - x),
                        std::abs(refiner.MapY()[v * kW + u] - y)});
    }
  }
  EXPECT_LT(worst, 1e-6) << "largest deviation from the pinhole maps";
}

INSTANTIATE_TEST_SUITE_P(IterationUnits, UndistortPinhole, testing::Values(0, 1, 5, 255));

struct Lens {
  const char* name;
  qzapi::DistortionCoefficients c;
};

const Lens kLenses[] = {
    {"Barrel", {-0.12F, 0.03F, 0.0F, 0.0F, -0.002F}},
    {"Pincushion", {0.08F, -0.01F, 0.0F, 0.0F, 0.0F}},
    {"Tangential", {-0.05F, 0.01F, 0.0015F, -0.0009F, 0.0F}},
};

class UndistortRoundTrip : public testing::TestWithParam<Lens> {};

// Distorting each map value with the forward model must land back on the
// pixel's own normalised coordinates.
TEST_P(UndistortRoundTrip, ForwardModelReturnsPixelCoordinates) {
  const qzapi::DistortionCoefficients& c = GetParam().c;
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.SetIntrinsics(kW, kH, kCx, kCy, kFx, kFy, 1.0F, 1.0F), 0);
  ASSERT_EQ(refiner.SetDistortion(&c, 0, 6), 0);  // 24 passes
  double worst = 0.0;
  for (int v = 0; v < kH; ++v) {
    for (int u = 0; u < kW; ++u) {
      const double x = refiner.MapX()[v * kW + u];
      const double y = refiner.MapY()[v * kW + u];
      const double r2 = x * x + y * y;
      const double radial = 1 + c.k1 * r2 + c.k2 * r2 * r2 + c.k3 * r2 * r2 * r2;
      const double xd = x * radial + 2 * c.p1 * x * y + c.p2 * (r2 + 2 * x * x);
      const double yd = y * radial + c.p1 * (r2 + 2 * y * y) + 2 * c.p2 * x * y;
      worst = std::max({worst, std::abs(xd - (u - static_cast<double>(kCx)) / kFx),
                        std::abs(yd - (v - static_cast<double>(kCy)) / kFy)});
    }
  }
  EXPECT_LT(worst, 1e-4) << "largest round-trip error";
}

INSTANTIATE_TEST_SUITE_P(Lenses, UndistortRoundTrip, testing::ValuesIn(kLenses),
                         [](const testing::TestParamInfo<Lens>& info) {
                           return std::string(info.param.name);
                         });

TEST(UndistortMaps, HalfSizeIntrinsicsAreDoubledOntoFullGrid) {
  const qzapi::DistortionCoefficients c{-0.1F, 0.02F, 0.001F, 0.0F, 0.0F};
  qzapi::ImageRefineImpl full;
  qzapi::ImageRefineImpl half;
  ASSERT_EQ(full.SetIntrinsics(640, 480, 320.0F, 240.0F, 500.0F, 510.0F, 0, 0), 0);
  ASSERT_EQ(half.SetIntrinsics(320, 240, 160.0F, 120.0F, 250.0F, 255.0F, 0, 0), 0);
  ASSERT_EQ(full.SetDistortion(&c, 0, 3), 0);
  ASSERT_EQ(half.SetDistortion(&c, 0, 3), 0);
  for (int i = 0; i < kW * kH; i += 997) {
    ASSERT_FLOAT_EQ(full.MapX()[i], half.MapX()[i]) << i;
    ASSERT_FLOAT_EQ(full.MapY()[i], half.MapY()[i]) << i;
  }
}

TEST(UndistortMaps, RejectedSizeStoresNothing) {
  const qzapi::DistortionCoefficients none{0, 0, 0, 0, 0};
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.SetIntrinsics(640, 480, 320.0F, 240.0F, 500.0F, 500.0F, 0, 0), 0);
  EXPECT_EQ(refiner.SetIntrinsics(640, 240, 1.0F, 1.0F, 1.0F, 1.0F, 0, 0), -1);
  EXPECT_EQ(refiner.SetIntrinsics(320, 480, 1.0F, 1.0F, 1.0F, 1.0F, 0, 0), -1);
  EXPECT_EQ(refiner.SetIntrinsics(0, 0, 1.0F, 1.0F, 1.0F, 1.0F, 0, 0), -1);
  ASSERT_EQ(refiner.SetDistortion(&none, 0, 0), 0);
  EXPECT_FLOAT_EQ(refiner.MapX()[0], -320.0F / 500.0F);
  EXPECT_FLOAT_EQ(refiner.MapY()[0], -240.0F / 500.0F);
}

TEST(UndistortMaps, IntrinsicsTakeEffectAtNextSetDistortion) {
  const qzapi::DistortionCoefficients none{0, 0, 0, 0, 0};
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.SetIntrinsics(640, 480, 320.0F, 240.0F, 500.0F, 500.0F, 0, 0), 0);
  ASSERT_EQ(refiner.SetDistortion(&none, 0, 0), 0);
  const float* mapBefore = refiner.MapX();
  ASSERT_EQ(refiner.SetIntrinsics(640, 480, 0.0F, 240.0F, 500.0F, 500.0F, 0, 0), 0);
  EXPECT_FLOAT_EQ(refiner.MapX()[0], -320.0F / 500.0F);
  ASSERT_EQ(refiner.SetDistortion(&none, 0, 0), 0);
  EXPECT_FLOAT_EQ(refiner.MapX()[0], 0.0F);
  EXPECT_EQ(refiner.MapX(), mapBefore) << "maps are reused, not reallocated";
}

TEST(UndistortMaps, RefusedWithoutCoefficientsOrIntrinsics) {
  const qzapi::DistortionCoefficients none{0, 0, 0, 0, 0};
  qzapi::ImageRefineImpl refiner;
  EXPECT_EQ(refiner.SetDistortion(&none, 0, 1), -3) << "no intrinsics yet";
  EXPECT_EQ(refiner.MapX(), nullptr);
  ASSERT_EQ(refiner.SetIntrinsics(640, 480, 320.0F, 240.0F, 500.0F, 500.0F, 0, 0), 0);
  EXPECT_EQ(refiner.SetDistortion(nullptr, 0, 1), -3);
  EXPECT_EQ(refiner.MapX(), nullptr);
  ASSERT_EQ(refiner.SetIntrinsics(640, 480, 320.0F, 240.0F, 0.0F, 500.0F, 0, 0), 0);
  EXPECT_EQ(refiner.SetDistortion(&none, 0, 1), -3) << "zero focal length";
}

}  // namespace
