// Cost of the depth-quality measurements per frame for a 200 x 200 region
// of a 640 x 480 depth image: each part alone and the whole meter (spatial
// statistics, plane fit, temporal noise over 30 frames, IR), in steady
// state (the temporal window full, the rays built).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "quality/camera_rays.h"
#include "quality/ir_stats.h"
#include "quality/plane_fit.h"
#include "quality/quality_meter.h"
#include "quality/spatial_stats.h"
#include "quality/temporal_noise.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
const quality::region kRegion{220, 140, 200, 200, kWidth, kHeight};

quality::depth_intrinsics lens() {
  quality::depth_intrinsics l;
  l.width = kWidth;
  l.height = kHeight;
  l.fx = 372.4;
  l.fy = 371.8;
  l.cx = 319.6;
  l.cy = 241.2;
  l.k1 = -0.12;
  l.k2 = 0.03;
  return l;
}

// Frames of a tilted wall with noise and a few dropouts.
struct frames {
  std::vector<std::vector<std::uint16_t>> depth;
  std::vector<std::uint16_t> ir;
  frames() : ir(std::size_t(kWidth) * kHeight, 300) {
    std::mt19937 gen(7);
    std::normal_distribution<float> noise(0.0f, 4.0f);
    for (int f = 0; f < 32; ++f) {
      std::vector<std::uint16_t> d(std::size_t(kWidth) * kHeight);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          const float z = 1500.0f + 0.8f * (x - 320) + noise(gen);
          d[std::size_t(y) * kWidth + x] = (x * 7 + y * 13 + f) % 50 == 0 ? 0 : static_cast<std::uint16_t>(z);
        }
      depth.push_back(std::move(d));
    }
  }
  quality::image16 view(std::size_t i) const {
    return quality::make_image16(depth[i % depth.size()].data(), kWidth, kHeight);
  }
};

const frames& data() {
  static const frames f;
  return f;
}

void BM_SpatialStats(benchmark::State& state) {
  quality::spatial_workspace scratch;
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(quality::measure_spatial(data().view(i++), kRegion, &scratch));
}
BENCHMARK(BM_SpatialStats)->Unit(benchmark::kMicrosecond);

void BM_PlaneFit(benchmark::State& state) {
  const quality::camera_rays rays(lens());
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(quality::fit_plane(data().view(i++), kRegion, rays, false, false));
}
BENCHMARK(BM_PlaneFit)->Unit(benchmark::kMicrosecond);

void BM_TemporalNoise(benchmark::State& state) {
  quality::temporal_noise noise(30);
  for (std::size_t k = 0; k < 30; ++k) noise.add(data().view(k), kRegion);
  std::size_t i = 30;
  for (auto _ : state) benchmark::DoNotOptimize(noise.add(data().view(i++), kRegion));
}
BENCHMARK(BM_TemporalNoise)->Unit(benchmark::kMicrosecond);

void BM_IrStats(benchmark::State& state) {
  const quality::image16 ir = quality::make_image16(data().ir.data(), kWidth, kHeight);
  for (auto _ : state) benchmark::DoNotOptimize(quality::measure_ir(ir, kRegion));
}
BENCHMARK(BM_IrStats)->Unit(benchmark::kMicrosecond);

// Everything a frame costs the meter.
void BM_QualityMeter200x200(benchmark::State& state) {
  quality::quality_meter meter;
  meter.set_intrinsics(lens());
  meter.set_region(kRegion);
  quality::frame_input in;
  in.ir = quality::make_image16(data().ir.data(), kWidth, kHeight);
  std::size_t i = 0;
  for (; i < 30; ++i) {
    in.depth = data().view(i);
    meter.measure(in);
  }
  for (auto _ : state) {
    in.depth = data().view(i++);
    benchmark::DoNotOptimize(meter.measure(in));
  }
}
BENCHMARK(BM_QualityMeter200x200)->Unit(benchmark::kMicrosecond);

// Building the rays once per lens or image size.
void BM_CameraRays(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(quality::camera_rays(lens()));
}
BENCHMARK(BM_CameraRays)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
