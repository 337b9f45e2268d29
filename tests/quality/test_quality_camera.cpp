// The quality tools on the virtual camera, against the scene's ground truth:
// a region on the back wall must give the wall's distance and tilt, and the
// temporal noise the spread that the simulator's noise model produces there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "quality/quality_meter.h"
#include "sdk_test_support.h"
#include "tof_synth.h"  // the simulator's sensor constants

namespace {

using namespace sdk_test;
namespace pt = pvx3::testing;
using quality::region;

constexpr double kPi = 3.14159265358979323846;
constexpr int kWidth = 640, kHeight = 480, kSide = 40, kFrames = 40;

// Spread of the depth one pixel reports, from the simulator's model:
// every raw sample carries Gaussian noise of sigma_s = sqrt(level / e + r^2)
// (shot noise of `level` LSB at e LSB per electron, read noise r). A
// channel's phase comes from eight samples, as atan2 of two sums whose
// signal is twice the amplitude A and whose noise is sigma_s each, so the
// phase spreads by sigma_s / (2 A) radians, i.e. by sigma_s / (2 A) * range /
// (2 pi) millimetres along the ray. Depth is the mean of the two channels'
// distances projected on the optical axis (cos_ray), truncated to whole
// millimetres (variance 1/12).
double model_depth_sigma(double amplitude, double reflectivity, double integration_scale,
                         double cos_ray) {
  using k = pvx3::detail::tof_sensor_constants;
  // Mean sample level: dark level, the modulated light's mean (A over the
  // modulation contrast) and ambient light, the last two growing with the
  // integration time (A already includes it).
  const double level = k::kDarkLevel + amplitude / k::kModulationContrast +
                       integration_scale * k::kAmbient * reflectivity;
  const double sigma_s = std::sqrt(level / k::kElectronsPerLsb + k::kReadNoise * k::kReadNoise);
  const pvx3::detail::tof_error_model channels{};
  double var = 0;
  for (int ch = 0; ch < 2; ++ch) {
    // Unambiguous range as the camera computes it (c = 3e8 m/s).
    const double range_mm = std::floor(3e8 / (2 * channels.frequency_hz[ch]) * 1000.0);
    const double s = sigma_s / (2 * amplitude) * range_mm / (2 * kPi);
    var += s * s;
  }
  const double axial = 0.5 * std::sqrt(var) * cos_ray;
  return std::sqrt(axial * axial + 1.0 / 12.0);
}

// A kSide x kSide block of the depth image that sees only the back wall in
// every truth image.
std::optional<region> back_wall_block(const std::vector<pt::truth_image>& truths) {
  for (int y = 8; y + kSide < kHeight - 8; y += 8)
    for (int x = 8; x + kSide < kWidth - 8; x += 8) {
      bool wall = true;
      for (const pt::truth_image& t : truths)
        for (int r = y; r < y + kSide && wall; ++r)
          for (int c = x; c < x + kSide && wall; ++c)
            wall = t.object[std::size_t(r) * kWidth + c] == pt::kBackWall;
      if (wall) return region{x, y, kSide, kSide, kWidth, kHeight};
    }
  return std::nullopt;
}

TEST(QualityOnVirtualCamera, BackWallDistanceTiltAndTemporalNoise) {
  scoped_environment env;
  camera cam;
  ASSERT_NE(cam.dev, nullptr);
  ASSERT_NE(cam.sensor, nullptr);
  // The library's filters smooth the noise away; measure the sensor itself.
  ASSERT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_FILTER, 0), 0);
  ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, kWidth, kHeight}, {pvx3::PVX3_STREAM_IR, kWidth, kHeight}}), 0);

  struct captured {
    std::vector<uint16_t> depth, ir;
    pt::frame_conditions cond;
    uint64_t number = 0;
  };
  std::vector<captured> frames;
  std::vector<pt::truth_image> truths;
  for (int f = 0; f < kFrames; ++f) {
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    pvx3::frame* depth = fs->get_depth_frame(nullptr);
    pvx3::frame* ir = fs->get_ir_frame(nullptr);
    ASSERT_NE(depth, nullptr);
    ASSERT_NE(ir, nullptr);
    captured c;
    ASSERT_TRUE(pt::conditions_of(depth, c.cond));
    c.depth = pixels16(depth);
    c.ir = pixels16(ir);
    c.number = depth->get_frame_number(nullptr);
    truths.push_back(pt::depth_truth(kWidth, kHeight, c.cond.scene_time_s));
    frames.push_back(std::move(c));
  }
  const std::optional<region> block = back_wall_block(truths);
  ASSERT_TRUE(block.has_value()) << "no 40 x 40 block sees only the back wall";
  const region r = *block;

  // Truth: the wall's depth over the block. A constant depth along the
  // optical axis means the wall stands square to it (tilt 0).
  double truth_lo = 1e9, truth_hi = 0, truth_sum = 0;
  for (int y = r.y; y < r.y + r.height; ++y)
    for (int x = r.x; x < r.x + r.width; ++x) {
      const double z = truths.back().depth_mm[std::size_t(y) * kWidth + x];
      truth_lo = std::min(truth_lo, z);
      truth_hi = std::max(truth_hi, z);
      truth_sum += z;
    }
  ASSERT_LT(truth_hi - truth_lo, 0.01);
  const double truth_depth = truth_sum / r.pixels();
  const double truth_tilt = 0.0;

  quality::quality_meter meter;
  const double* lens = frames.front().cond.lens;
  quality::depth_intrinsics l;
  l.width = kWidth;
  l.height = kHeight;
  l.fx = lens[0], l.fy = lens[1], l.cx = lens[2], l.cy = lens[3];
  l.k1 = lens[4], l.k2 = lens[5], l.p1 = lens[6], l.p2 = lens[7], l.k3 = lens[8];
  meter.set_intrinsics(l);
  meter.set_region(r);

  quality::quality_report rep;
  double ir_sum = 0;
  for (const captured& c : frames) {
    quality::frame_input in;
    in.depth = quality::make_image16(c.depth.data(), kWidth, kHeight);
    in.ir = quality::make_image16(c.ir.data(), kWidth, kHeight);
    in.frame_number = c.number;
    in.time_s = c.cond.scene_time_s;
    rep = meter.measure(in);
    ASSERT_TRUE(rep.plane.ok) << "frame " << c.number;
    EXPECT_NEAR(rep.plane.distance_mm, truth_depth, 5.0) << "frame " << c.number;
    EXPECT_NEAR(rep.plane.tilt_deg, truth_tilt, 1.0) << "frame " << c.number;
    EXPECT_GT(rep.spatial.valid_share, 0.95);
    ASSERT_TRUE(rep.ir.ok);
    EXPECT_EQ(rep.ir.saturated_share, 0.0);
    ir_sum += rep.ir.mean;
  }

  // The amplitude A behind the IR image (which shows 2 A) and the wall's
  // reflectivity follow from it: A = a1 * reflectivity * cos_incidence / r^2
  // at the reference integration time; the wall faces the camera, so the
  // incidence is the ray's angle.
  using k = pvx3::detail::tof_sensor_constants;
  const double scale = frames.back().cond.integration_us / k::kReferenceIntegrationUs;
  const double amplitude = ir_sum / frames.size() / 2.0;
  double expected = 0;
  for (int y = r.y; y < r.y + r.height; ++y)
    for (int x = r.x; x < r.x + r.width; ++x) {
      const double rx = (x - l.cx) / l.fx, ry = (y - l.cy) / l.fy;  // near enough for the noise
      const double cos_ray = 1.0 / std::sqrt(1 + rx * rx + ry * ry);
      const double range_m = truth_depth / cos_ray / 1000.0;
      const double reflectivity = amplitude / scale * range_m * range_m / (k::kAmplitudeAt1m * cos_ray);
      expected += model_depth_sigma(amplitude, reflectivity, scale, cos_ray);
    }
  expected /= r.pixels();

  ASSERT_TRUE(rep.temporal.ok);
  EXPECT_EQ(rep.temporal.frames, quality::kDefaultTemporalWindow);
  std::printf(
      "block (%d, %d): depth %.1f mm (truth %.1f), tilt %.2f deg, plane rms %.2f mm "
      "(%d outliers), IR %.1f, temporal %.2f mm, model %.2f mm\n",
      r.x, r.y, rep.plane.distance_mm, truth_depth, rep.plane.tilt_deg, rep.plane.rms_mm,
      rep.plane.outliers,
      ir_sum / frames.size(), rep.temporal.std_mm, expected);
  EXPECT_NEAR(rep.temporal.std_mm, expected, 0.3 * expected);
  // One frame's spatial spread on a flat wall is the same noise.
  EXPECT_NEAR(rep.plane.rms_mm, expected, 0.3 * expected);
}

}  // namespace
