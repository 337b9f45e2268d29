// Back-projection rays of the depth camera: the distortion model inverted,
// binned image sizes, mirrored images, and the lens recovered from a point
// cloud.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quality/camera_rays.h"

namespace {

quality::depth_intrinsics lens() {
  quality::depth_intrinsics l;
  l.width = 640;
  l.height = 480;
  l.fx = 372.4;
  l.fy = 371.8;
  l.cx = 319.6;
  l.cy = 241.2;
  l.k1 = -0.12;
  l.k2 = 0.03;
  l.p1 = 0.0004;
  l.p2 = -0.0003;
  return l;
}

// Forward model: where the undistorted ray (x, y) lands on the sensor.
void project(const quality::depth_intrinsics& l, double x, double y, double* u, double* v) {
  const double r2 = x * x + y * y;
  const double k = 1 + l.k1 * r2 + l.k2 * r2 * r2 + l.k3 * r2 * r2 * r2;
  const double xd = x * k + 2 * l.p1 * x * y + l.p2 * (r2 + 2 * x * x);
  const double yd = y * k + 2 * l.p2 * x * y + l.p1 * (r2 + 2 * y * y);
  *u = l.fx * xd + l.cx;
  *v = l.fy * yd + l.cy;
}

TEST(CameraRays, ConvergedRaysProjectBackOntoTheirPixel) {
  const quality::depth_intrinsics l = lens();
  double worst = 0;
  for (const auto& p : {std::pair<int, int>{0, 0}, {639, 479}, {320, 240}, {100, 400}, {600, 30}}) {
    double x, y, u, v;
    quality::undistorted_ray(l, p.first, p.second, 30, &x, &y);
    project(l, x, y, &u, &v);
    worst = std::max({worst, std::abs(u - p.first), std::abs(v - p.second)});
  }
  EXPECT_LT(worst, 1e-6);
}

TEST(CameraRays, BinnedPixelLooksAlongTheSensorPixelTwiceItsIndex) {
  const quality::camera_rays full(lens());
  const quality::camera_rays binned(quality::intrinsics_for_size(lens(), 320, 240));
  for (const auto& p : {std::pair<int, int>{0, 0}, {159, 119}, {319, 239}, {50, 200}}) {
    float fx, fy, bx, by;
    full.ray(2 * p.first, 2 * p.second, false, false, &fx, &fy);
    binned.ray(p.first, p.second, false, false, &bx, &by);
    EXPECT_NEAR(bx, fx, 1e-6);
    EXPECT_NEAR(by, fy, 1e-6);
  }
}

TEST(CameraRays, MirroredPixelIsTheMirroredSensorRay) {
  const quality::camera_rays rays(lens());
  float x, y, mx, my;
  rays.ray(100, 50, false, false, &x, &y);
  rays.ray(639 - 100, 479 - 50, true, true, &mx, &my);
  EXPECT_FLOAT_EQ(mx, -x);
  EXPECT_FLOAT_EQ(my, -y);
  double ax, ay;
  rays.ray_at(639 - 100, 50, false, true, &ax, &ay);
  EXPECT_NEAR(ax, -x, 1e-6);
  EXPECT_NEAR(ay, y, 1e-6);
}

TEST(EstimateIntrinsics, RecoversTheLensFromAPointCloud) {
  const quality::depth_intrinsics truth = lens();
  const quality::camera_rays rays(truth, 30);
  for (const bool flipped : {false, true}) {
    SCOPED_TRACE(flipped ? "mirrored" : "upright");
    // An organised cloud of a wall 2 m away, mirrored as the camera mirrors
    // it, with the outer frame missing (no points there).
    std::vector<float> xyz(std::size_t(640) * 480 * 3, 0.0f);
    for (int r = 5; r < 475; ++r)
      for (int c = 5; c < 635; ++c) {
        float x, y;
        rays.ray(c, r, flipped, flipped, &x, &y);
        float* p = &xyz[(std::size_t(r) * 640 + c) * 3];
        p[0] = 2000 * x;
        p[1] = 2000 * y;
        p[2] = 2000;
      }
    const auto got = quality::estimate_intrinsics(xyz.data(), 640, 480, flipped, flipped);
    ASSERT_TRUE(got.has_value());
    EXPECT_NEAR(got->fx, truth.fx, 0.05);
    EXPECT_NEAR(got->fy, truth.fy, 0.05);
    EXPECT_NEAR(got->cx, truth.cx, 0.05);
    EXPECT_NEAR(got->cy, truth.cy, 0.05);
    EXPECT_NEAR(got->k1, truth.k1, 2e-3);
    // What matters: the rays agree to a small fraction of a pixel.
    const quality::camera_rays again(*got, 30);
    double worst = 0;
    for (int r = 0; r < 480; r += 7)
      for (int c = 0; c < 640; c += 7) {
        float ax, ay, bx, by;
        rays.ray(c, r, false, false, &ax, &ay);
        again.ray(c, r, false, false, &bx, &by);
        worst = std::max({worst, std::abs(double(ax) - bx) * truth.fx,
                          std::abs(double(ay) - by) * truth.fy});
      }
    EXPECT_LT(worst, 0.05) << "pixels";
  }
  std::vector<float> empty(std::size_t(640) * 480 * 3, 0.0f);
  EXPECT_FALSE(quality::estimate_intrinsics(empty.data(), 640, 480, false, false).has_value());
}

}  // namespace
