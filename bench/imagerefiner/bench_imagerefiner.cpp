// Per-frame cost of the refinement operations at 640 x 480, through the
// exported interface as a caller sees it.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "qzapi/image_refiner.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kPixels = kWidth * kHeight;

// A tilted plane with a sphere in front and seeded noise, with a few invalid
// and saturated pixels, roughly what the camera delivers indoors.
std::vector<std::uint16_t> SceneDepth() {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 4.0);
  std::vector<std::uint16_t> depth(kPixels);
  for (int r = 0; r < kHeight; ++r) {
    for (int c = 0; c < kWidth; ++c) {
      double z = 1500.0 + 1.5 * r;
      const double dx = c - 320.0;
      const double dy = r - 240.0;
      if (dx * dx + dy * dy < 120.0 * 120.0) {
        z = 900.0 - std::sqrt(120.0 * 120.0 - dx * dx - dy * dy);
      }
      depth[r * kWidth + c] = static_cast<std::uint16_t>(z + noise(rng));
    }
  }
  for (int i = 0; i < kPixels; i += 97) {
    depth[i] = (i % 2 == 0) ? 0 : 1;
  }
  return depth;
}

std::vector<std::uint16_t> SceneInfrared() {
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0.0, 30.0);
  std::vector<std::uint16_t> ir(kPixels);
  for (int r = 0; r < kHeight; ++r) {
    for (int c = 0; c < kWidth; ++c) {
      ir[r * kWidth + c] =
          static_cast<std::uint16_t>(std::max(0.0, 800.0 + 400.0 * std::sin(c * 0.05) + noise(rng)));
    }
  }
  return ir;
}

qzapi::ImageRefiner* PreparedRefiner(std::uint8_t iterationUnits) {
  auto* refiner = qzapi::ImageRefiner::CreateInstance();
  refiner->SetIntrinsics(kWidth, kHeight, 321.7F, 242.1F, 520.3F, 519.8F, 1.0F, 1.0F);
  const qzapi::DistortionCoefficients lens{-0.11F, 0.025F, 0.0008F, -0.0005F, -0.002F};
  refiner->SetDistortion(&lens, 0, iterationUnits);
  return refiner;
}

void BM_RefineDepth(benchmark::State& state) {
  auto* refiner = qzapi::ImageRefiner::CreateInstance();
  const auto depth = SceneDepth();
  std::vector<std::uint8_t> rgb(kPixels * 3);
  for (auto _ : state) {
    refiner->RefineDepth(rgb.data(), depth.data(), kWidth, kHeight, 500, 3000);
    benchmark::DoNotOptimize(rgb.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RefineDepth)->Unit(benchmark::kMillisecond);

void BM_RefineDepthWithIr(benchmark::State& state) {
  auto* refiner = qzapi::ImageRefiner::CreateInstance();
  const auto depth = SceneDepth();
  const auto ir = SceneInfrared();
  std::vector<std::uint8_t> rgb(kPixels * 3);
  for (auto _ : state) {
    refiner->RefineDepthWithIr(rgb.data(), ir.data(), depth.data(), kWidth, kHeight, 500, 3000);
    benchmark::DoNotOptimize(rgb.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RefineDepthWithIr)->Unit(benchmark::kMillisecond);

void BM_AdjustBrightness(benchmark::State& state) {
  auto* refiner = qzapi::ImageRefiner::CreateInstance();
  std::vector<std::uint8_t> rgb(kPixels * 3, 100);
  for (auto _ : state) {
    refiner->AdjustBrightness(rgb.data(), kWidth, kHeight, 1, 1.0F);
    benchmark::DoNotOptimize(rgb.data());
  }
}
BENCHMARK(BM_AdjustBrightness)->Unit(benchmark::kMillisecond);

void BM_BuildPointCloud(benchmark::State& state) {
  auto* refiner = PreparedRefiner(3);
  const auto depth = SceneDepth();
  std::vector<std::uint8_t> colours(kPixels * 3, 90);
  std::vector<qzapi::RefinedPoint> points(kPixels);
  for (auto _ : state) {
    refiner->BuildPointCloud(points.data(), colours.data(), depth.data(), kHeight, kWidth);
    benchmark::DoNotOptimize(points.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildPointCloud)->Unit(benchmark::kMillisecond);

// Argument: iterationUnits (passes = 4 x units).
void BM_SetDistortion(benchmark::State& state) {
  auto* refiner = PreparedRefiner(0);
  const qzapi::DistortionCoefficients lens{-0.11F, 0.025F, 0.0008F, -0.0005F, -0.002F};
  const auto units = static_cast<std::uint8_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(refiner->SetDistortion(&lens, 0, units));
  }
}
BENCHMARK(BM_SetDistortion)->Arg(0)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
