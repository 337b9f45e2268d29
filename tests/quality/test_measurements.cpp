// Region statistics, plane fit, temporal noise and IR amplitude on hand-made
// images whose answers are known in advance.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

#include "quality/camera_rays.h"
#include "quality/ir_stats.h"
#include "quality/plane_fit.h"
#include "quality/quality_meter.h"
#include "quality/spatial_stats.h"
#include "quality/temporal_noise.h"

namespace {

using quality::region;

constexpr double kPi = 3.14159265358979323846;

struct image {
  int width, height;
  std::vector<std::uint16_t> px;
  image(int w, int h, std::uint16_t fill = 0) : width(w), height(h), px(std::size_t(w) * h, fill) {}
  std::uint16_t& at(int x, int y) { return px[std::size_t(y) * width + x]; }
  quality::image16 view() const { return quality::make_image16(px.data(), width, height); }
};

image from_rows(int w, int h, std::initializer_list<std::uint16_t> values) {
  image im(w, h);
  std::size_t i = 0;
  for (std::uint16_t v : values) im.px[i++] = v;
  return im;
}

region whole(const image& im) { return region{0, 0, im.width, im.height, im.width, im.height}; }

// A pinhole lens without distortion: the ray of pixel (u, v) is
// ((u - cx) / f, (v - cy) / f), written out here independently of the tool.
quality::depth_intrinsics pinhole() {
  quality::depth_intrinsics l;
  l.width = 640;
  l.height = 480;
  l.fx = l.fy = 500;
  l.cx = 319.5;
  l.cy = 239.5;
  return l;
}

// ---------------------------------------------------------------- spatial

TEST(SpatialStats, SmallGridWithInvalidAndSaturatedPixels) {
  const image im = from_rows(4, 3, {
                                       1000,
                                       1002,
                                       0,
                                       1004,
                                       0,
                                       1000,
                                       1001,
                                       1,
                                       1006,
                                       0,
                                       1003,
                                       1000,
                                   });
  quality::spatial_workspace scratch;
  const quality::spatial_stats s = quality::measure_spatial(im.view(), whole(im), &scratch);
  // Valid: 1000 1002 1004 1000 1001 1006 1003 1000 (8 of 12).
  EXPECT_EQ(s.pixels, 12);
  EXPECT_EQ(s.valid, 8);
  EXPECT_EQ(s.saturated, 1);
  EXPECT_DOUBLE_EQ(s.valid_share, 8.0 / 12.0);
  EXPECT_DOUBLE_EQ(s.mean_mm, 8016.0 / 8.0);
  EXPECT_DOUBLE_EQ(s.median_mm, 1001.5);  // 1000 1000 1000 1001 | 1002 1003 1004 1006
  // Deviations from 1002: -2 -2 -2 -1 0 1 2 4 -> squares sum 34, / 7.
  EXPECT_NEAR(s.std_mm, std::sqrt(34.0 / 7.0), 1e-12);
  EXPECT_EQ(s.min_mm, 1000);
  EXPECT_EQ(s.max_mm, 1006);
}

TEST(SpatialStats, SubRegionAndOddMedian) {
  const image im = from_rows(4, 3, {
                                       9,
                                       9,
                                       9,
                                       9,
                                       9,
                                       1500,
                                       1400,
                                       9,
                                       9,
                                       1300,
                                       0,
                                       9,
                                   });
  quality::spatial_workspace scratch;
  const quality::spatial_stats s =
      quality::measure_spatial(im.view(), region{1, 1, 2, 2, 4, 3}, &scratch);
  EXPECT_EQ(s.pixels, 4);
  EXPECT_EQ(s.valid, 3);
  EXPECT_DOUBLE_EQ(s.median_mm, 1400);
  EXPECT_DOUBLE_EQ(s.mean_mm, 1400);
  EXPECT_DOUBLE_EQ(s.std_mm, 100);
}

TEST(SpatialStats, MedianAgreesWithSortingForNarrowAndWideSpreads) {
  // Seeded random regions whose depths span a few millimetres (histogram
  // path) or the whole 16-bit range (selection path), odd and even counts.
  std::mt19937 gen(5);
  for (const int spread : {3, 200, 65000}) {
    for (const int side : {1, 2, 7, 64}) {
      image im(side + 2, side + 2, 0);
      std::uniform_int_distribution<int> value(2, 2 + spread);
      std::vector<int> ref;
      for (int y = 1; y <= side; ++y)
        for (int x = 1; x <= side; ++x) {
          const int v = (x * y) % 5 == 0 ? 0 : std::min(value(gen), 65535);
          im.at(x, y) = static_cast<std::uint16_t>(v);
          if (v >= 2) ref.push_back(v);
        }
      if (ref.empty()) continue;
      std::sort(ref.begin(), ref.end());
      const double median = 0.5 * (ref[(ref.size() - 1) / 2] + ref[ref.size() / 2]);
      const quality::spatial_stats s =
          quality::measure_spatial(im.view(), region{1, 1, side, side, side + 2, side + 2});
      EXPECT_EQ(s.median_mm, median) << "spread " << spread << ", side " << side;
      EXPECT_EQ(s.min_mm, ref.front());
      EXPECT_EQ(s.max_mm, ref.back());
    }
  }
}

struct zero_share_case {
  const char* name;
  int every;  // every n-th pixel is 0
  double valid_share;
};
void PrintTo(const zero_share_case& c, std::ostream* os) { *os << c.name; }
class KnownShareOfZeros : public ::testing::TestWithParam<zero_share_case> {};

TEST_P(KnownShareOfZeros, GivesTheFillRate) {
  const zero_share_case c = GetParam();
  image im(640, 480, 2000);
  const region r{100, 100, 200, 200, 640, 480};
  int n = 0;
  for (int y = r.y; y < r.y + r.height; ++y)
    for (int x = r.x; x < r.x + r.width; ++x)
      if (c.every > 0 && n++ % c.every == 0) im.at(x, y) = 0;
  quality::spatial_workspace scratch;
  const quality::spatial_stats s = quality::measure_spatial(im.view(), r, &scratch);
  EXPECT_EQ(s.pixels, 40000);
  EXPECT_DOUBLE_EQ(s.valid_share, c.valid_share);
  if (c.valid_share > 0) {
    EXPECT_DOUBLE_EQ(s.mean_mm, 2000);
    EXPECT_DOUBLE_EQ(s.std_mm, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, KnownShareOfZeros,
                         ::testing::Values(zero_share_case{"None", 0, 1.0},
                                           zero_share_case{"Quarter", 4, 0.75},
                                           zero_share_case{"Half", 2, 0.5},
                                           zero_share_case{"All", 1, 0.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// -------------------------------------------------------------- plane fit

// Depth of the plane through (0, 0, z0) whose normal is tilted by `deg`
// about the vertical axis (yaw) or the horizontal one (pitch), seen along
// the ray (rx, ry, 1): n . (z ray) = n . (0, 0, z0).
double plane_depth(double z0, double deg, bool pitch, double rx, double ry) {
  const double t = std::tan(deg * kPi / 180.0);
  return z0 / (1.0 - t * (pitch ? ry : rx));
}

image plane_image(double z0, double deg, bool pitch) {
  const quality::depth_intrinsics l = pinhole();
  image im(l.width, l.height);
  for (int v = 0; v < l.height; ++v)
    for (int u = 0; u < l.width; ++u) {
      const double z = plane_depth(z0, deg, pitch, (u - l.cx) / l.fx, (v - l.cy) / l.fy);
      im.at(u, v) = static_cast<std::uint16_t>(std::lround(z));
    }
  return im;
}

TEST(PlaneFit, FlatWallAt1000mm) {
  image im(640, 480, 1000);
  // The lens's distortion does not matter for a wall of constant depth.
  quality::depth_intrinsics l = pinhole();
  l.k1 = -0.12;
  l.k2 = 0.03;
  const quality::camera_rays rays(l);
  const region r{220, 140, 200, 200, 640, 480};
  const quality::plane_fit f = quality::fit_plane(im.view(), r, rays, false, false);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.points, 40000);
  EXPECT_NEAR(f.rms_mm, 0.0, 1e-6);
  EXPECT_NEAR(f.max_abs_mm, 0.0, 1e-6);
  EXPECT_NEAR(f.tilt_deg, 0.0, 1e-6);
  ASSERT_TRUE(f.distance_ok);
  EXPECT_NEAR(f.distance_mm, 1000.0, 1e-6);
  EXPECT_NEAR(f.normal[2], -1.0, 1e-12);
}

struct tilt_case {
  const char* name;
  double z0, deg;
  bool pitch;
  region r;
};
void PrintTo(const tilt_case& c, std::ostream* os) { *os << c.name; }
class TiltedPlane : public ::testing::TestWithParam<tilt_case> {};

TEST_P(TiltedPlane, GivesItsAngleAndDistance) {
  const tilt_case c = GetParam();
  const image im = plane_image(c.z0, c.deg, c.pitch);
  const quality::camera_rays rays(pinhole());
  const quality::depth_intrinsics l = pinhole();
  // Depth of the plane on the ray through the region's centre.
  const double cu = c.r.x + (c.r.width - 1) / 2.0, cv = c.r.y + (c.r.height - 1) / 2.0;
  const double expected = plane_depth(c.z0, c.deg, c.pitch, (cu - l.cx) / l.fx, (cv - l.cy) / l.fy);
  for (const bool flipped : {false, true}) {
    SCOPED_TRACE(flipped ? "mirrored both ways" : "as taken");
    image shown = im;
    region r = c.r;
    if (flipped) {
      // The camera mirrors the image; the region follows the scene.
      for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
          shown.at(x, y) = im.px[std::size_t(im.height - 1 - y) * im.width + (im.width - 1 - x)];
      r = quality::mirrored(r, true, true);
    }
    const quality::plane_fit f = quality::fit_plane(shown.view(), r, rays, flipped, flipped);
    ASSERT_TRUE(f.ok);
    EXPECT_NEAR(f.tilt_deg, c.deg, 0.05);
    ASSERT_TRUE(f.distance_ok);
    EXPECT_NEAR(f.distance_mm, expected, 0.5);
    // Depth rounded to whole millimetres: at most half a millimetre off the
    // plane along z, less across it.
    EXPECT_LT(f.rms_mm, 0.5);
    EXPECT_LT(f.max_abs_mm, 0.75);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TiltedPlane,
    ::testing::Values(tilt_case{"Yaw15At1500", 1500, 15, false, region{220, 140, 200, 200, 640, 480}},
                      tilt_case{"Yaw30At1000", 1000, 30, false, region{220, 140, 200, 200, 640, 480}},
                      tilt_case{"Pitch20At2000OffCentre", 2000, 20, true, region{40, 300, 120, 100, 640, 480}},
                      tilt_case{"Yaw45At3000SmallRegion", 3000, 45, false, region{500, 60, 21, 17, 640, 480}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlaneFit, GrossOutliersAreLeftOutAndCounted) {
  // A wall at 1000 mm with Gaussian noise (sigma 5 mm) and two pixels off by
  // an unwrapping error (1500 mm short), which alone would tilt the plane.
  const quality::camera_rays rays(pinhole());
  image im(640, 480);
  std::mt19937 gen(11);
  std::normal_distribution<double> noise(0.0, 5.0);
  for (auto& v : im.px) v = static_cast<std::uint16_t>(std::lround(2500 + noise(gen)));
  const region r{220, 140, 200, 200, 640, 480};
  const quality::plane_fit clean = quality::fit_plane(im.view(), r, rays, false, false);
  ASSERT_TRUE(clean.ok);
  EXPECT_EQ(clean.outliers, 0) << "noise within five deviations stays in";
  EXPECT_NEAR(clean.rms_mm, 5.0, 0.15);
  im.at(225, 150) = 1000;
  im.at(400, 330) = 1000;
  const quality::plane_fit f = quality::fit_plane(im.view(), r, rays, false, false);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.points, 40000);
  EXPECT_EQ(f.outliers, 2);
  // As if the two pixels were missing: within a hair of the clean fit.
  EXPECT_NEAR(f.tilt_deg, clean.tilt_deg, 1e-3);
  EXPECT_NEAR(f.distance_mm, clean.distance_mm, 0.01);
  EXPECT_NEAR(f.rms_mm, clean.rms_mm, 0.01);
  EXPECT_LT(f.max_abs_mm, 30.0);
}

TEST(PlaneFit, NeedsThreePointsOffOneLine) {
  const quality::camera_rays rays(pinhole());
  image im(640, 480, 0);
  // Two valid pixels: no plane.
  im.at(10, 10) = 1000;
  im.at(11, 10) = 1000;
  EXPECT_FALSE(quality::fit_plane(im.view(), region{0, 0, 40, 40, 640, 480}, rays, false, false).ok);
  // A single row of a flat wall: all points on one line.
  for (int x = 0; x < 40; ++x) im.at(x, 10) = 1000;
  const quality::plane_fit line =
      quality::fit_plane(im.view(), region{0, 0, 40, 40, 640, 480}, rays, false, false);
  EXPECT_FALSE(line.ok);
  EXPECT_EQ(line.points, 40);
  // Rays of another image size cannot be used.
  const quality::camera_rays small(quality::intrinsics_for_size(pinhole(), 320, 240));
  EXPECT_FALSE(quality::fit_plane(plane_image(1000, 10, false).view(),
                                  region{0, 0, 100, 100, 640, 480}, small, false, false)
                   .ok);
}

// ---------------------------------------------------------- temporal noise

TEST(TemporalNoise, RampOverTime) {
  // Frame k holds 1000 + k everywhere: over a window of N consecutive
  // frames each pixel's samples are N consecutive integers, whose sample
  // deviation is sqrt(N (N + 1) / 12).
  for (const int window : {5, 30}) {
    SCOPED_TRACE(window);
    quality::temporal_noise noise(window);
    const region r{10, 10, 20, 20, 64, 48};
    for (int k = 0; k < 40; ++k) {
      const image im(64, 48, static_cast<std::uint16_t>(1000 + k));
      const quality::temporal_result t = noise.add(im.view(), r);
      const int n = std::min(k + 1, window);
      EXPECT_EQ(t.frames, n);
      if (n < 2) {
        EXPECT_FALSE(t.ok);
        continue;
      }
      ASSERT_TRUE(t.ok);
      EXPECT_EQ(t.pixels, 400);
      EXPECT_NEAR(t.std_mm, std::sqrt(n * (n + 1) / 12.0), 1e-9) << "frame " << k;
    }
  }
}

TEST(TemporalNoise, InvalidSamplesAreLeftOut) {
  // One pixel reads 1000, -, 1002, -, 1004 (dropouts as 0 or saturated);
  // its deviation is that of {1000, 1002, 1004}: 2. A pixel with a single
  // valid sample does not count.
  quality::temporal_noise noise(5);
  const region r{0, 0, 2, 1, 2, 1};
  const std::uint16_t a[5] = {1000, 0, 1002, 1, 1004};
  const std::uint16_t b[5] = {0, 0, 700, 0, 0};
  quality::temporal_result t;
  for (int k = 0; k < 5; ++k) {
    const image im = from_rows(2, 1, {a[k], b[k]});
    t = noise.add(im.view(), r);
  }
  ASSERT_TRUE(t.ok);
  EXPECT_EQ(t.pixels, 1);
  EXPECT_DOUBLE_EQ(t.std_mm, 2.0);
}

TEST(TemporalNoise, ANewRegionRestartsTheWindow) {
  quality::temporal_noise noise(30);
  const image im(64, 48, 1000);
  noise.add(im.view(), region{0, 0, 10, 10, 64, 48});
  noise.add(im.view(), region{0, 0, 10, 10, 64, 48});
  EXPECT_EQ(noise.add(im.view(), region{0, 0, 10, 10, 64, 48}).frames, 3);
  EXPECT_EQ(noise.add(im.view(), region{1, 0, 10, 10, 64, 48}).frames, 1);
}

// ---------------------------------------------------------------------- IR

TEST(IrStats, MeanAndSaturatedShare) {
  const image ir = from_rows(4, 2, {
                                       100,
                                       200,
                                       1023,
                                       300,
                                       400,
                                       1023,
                                       500,
                                       9999,
                                   });
  const quality::ir_stats s = quality::measure_ir(ir.view(), region{0, 0, 4, 2, 4, 2});
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(s.pixels, 8);
  EXPECT_DOUBLE_EQ(s.mean, (100 + 200 + 1023 + 300 + 400 + 1023 + 500 + 9999) / 8.0);
  EXPECT_DOUBLE_EQ(s.saturated_share, 3.0 / 8.0);
  const quality::ir_stats right = quality::measure_ir(ir.view(), region{3, 0, 1, 2, 4, 2});
  EXPECT_DOUBLE_EQ(right.mean, (300 + 9999) / 2.0);
  EXPECT_DOUBLE_EQ(right.saturated_share, 0.5);
}

// -------------------------------------------------------------- the meter

TEST(QualityMeter, ScalesTheRegionToTheFrameAndSkipsWhatItCannotMeasure) {
  quality::quality_meter meter;
  image depth(320, 240, 1500);
  image ir(640, 480, 100);  // of another size: not used
  quality::frame_input in;
  in.depth = depth.view();
  in.ir = ir.view();
  in.frame_number = 7;
  in.time_s = 1.25;

  EXPECT_FALSE(meter.measure(in).has_region);

  meter.set_region(region{100, 100, 200, 100, 640, 480});  // drawn at 640 x 480
  quality::quality_report rep = meter.measure(in);
  ASSERT_TRUE(rep.has_region);
  EXPECT_EQ(rep.frame_number, 7u);
  EXPECT_EQ(rep.area, (region{50, 50, 100, 50, 320, 240}));
  EXPECT_EQ(rep.spatial.pixels, 5000);
  EXPECT_FALSE(rep.plane.ok);  // no lens
  EXPECT_FALSE(rep.ir.ok);

  meter.set_intrinsics(pinhole());  // of the 640 x 480 sensor; scaled to the frame
  const image same_ir(320, 240, 100);
  in.ir = same_ir.view();
  rep = meter.measure(in);
  ASSERT_TRUE(rep.plane.ok);
  EXPECT_NEAR(rep.plane.distance_mm, 1500, 1e-6);
  ASSERT_TRUE(rep.ir.ok);
  EXPECT_DOUBLE_EQ(rep.ir.mean, 100);
  EXPECT_EQ(rep.temporal.frames, 2);

  // A flip restarts the temporal window: the pixels see other places.
  in.flip_horizontal = true;
  EXPECT_EQ(meter.measure(in).temporal.frames, 1);
}

}  // namespace
