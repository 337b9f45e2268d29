// Per-frame cost of the reconstruction operations at the camera's sizes.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include "colour_alignment.h"
#include "reconstruction_impl.h"

namespace {

using qzapi::CalibrationBlock;
using qzapi::ReconstructionImpl;

constexpr int32_t kW = 640, kH = 480;

CalibrationBlock BenchBlock() {
  CalibrationBlock b;
  b.depthIntrinsics[0] = 556.5451f;
  b.depthIntrinsics[1] = 558.2062f;
  b.depthIntrinsics[2] = 315.4468f;
  b.depthIntrinsics[3] = 238.53047f;
  b.distCoeffs[0] = -0.32f;
  b.distCoeffs[1] = 0.15f;
  b.depthGridWidth = 640;
  b.depthGridHeight = 480;
  b.globalOffset80 = -303.0f;
  b.globalOffset100 = -434.0f;
  b.wigglingError80Count = 39;
  b.wigglingError100Count = 31;
  for (int k = 0; k < 39; ++k) b.wigglingError80[k] = 12.0f * std::sin(0.7f * k);
  for (int k = 0; k < 31; ++k) b.wigglingError100[k] = 9.0f * std::cos(0.9f * k);
  b.fitting80[0] = 1.47409f;
  b.fitting100[0] = -2.16496f;
  b.colourIntrinsics[0] = 1000.0f;
  b.colourIntrinsics[1] = 1000.0f;
  b.colourIntrinsics[2] = 960.0f;
  b.colourIntrinsics[3] = 540.0f;
  b.otherOffset2[0] = b.otherOffset2[4] = b.otherOffset2[8] = 1.0f;
  b.otherOffset3[0] = -40.0f;
  return b;
}

// A scene of two planes with sensor noise: realistic phases and amplitudes.
std::vector<uint16_t> SceneFrame(int subFrames) {
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 3.0f);
  std::vector<uint16_t> frame(static_cast<std::size_t>(4) * kW * kH * subFrames);
  for (int s = 0; s < subFrames; ++s) {
    uint16_t* sub = frame.data() + static_cast<std::size_t>(s) * 4 * kW * kH;
    for (int r = 0; r < 2 * kH; ++r) {
      for (int c = 0; c < 2 * kW; ++c) {
        const float phase = (c < kW ? 0.004f : 0.002f) * (r + c) + 0.5f * s + 1.5708f * ((r & 1) * 2 + (c & 1));
        const float v = 511.0f + 380.0f * std::cos(phase) + noise(rng);
        sub[static_cast<std::size_t>(r) * 2 * kW + c] = static_cast<uint16_t>(std::clamp(v, 0.0f, 1022.0f));
      }
    }
  }
  return frame;
}

std::unique_ptr<ReconstructionImpl> Initialised(int32_t mode, bool reference) {
  auto impl = std::make_unique<ReconstructionImpl>();
  const CalibrationBlock block = BenchBlock();
  impl->InitWithSize(4, mode, &block, kW, kH);
  impl->useReferenceKernels = reference;
  impl->diagnosticWindowAllowed = false;
  return impl;
}

void ComputeDual(benchmark::State& state, int32_t filterMode, bool reference) {
  auto impl = Initialised(0, reference);
  impl->SetFilterEnabled(filterMode);
  const std::vector<uint16_t> frame = SceneFrame(4);
  for (auto _ : state) {
    uint16_t* depth = nullptr;
    impl->ComputeDepth(frame.data(), &depth, kW, kH);
    benchmark::DoNotOptimize(depth);
    delete[] depth;
  }
}
void BM_ComputeDepthDual(benchmark::State& s) { ComputeDual(s, qzapi::FilterModeOff, false); }
void BM_ComputeDepthDualFiltered(benchmark::State& s) { ComputeDual(s, qzapi::FilterModeStandard, false); }
void BM_ComputeDepthDualReference(benchmark::State& s) { ComputeDual(s, qzapi::FilterModeOff, true); }
// The noise-aware mode against the standard one (FilterModeStandard above).
void BM_ComputeDepthDualNoiseAware(benchmark::State& s) { ComputeDual(s, qzapi::FilterModeNoiseAware, false); }
void BM_ComputeDepthDualNoiseAwareReference(benchmark::State& s) {
  ComputeDual(s, qzapi::FilterModeNoiseAware, true);
}

void Single(benchmark::State& state, bool reference) {
  auto impl = Initialised(5, reference);
  const std::vector<uint16_t> frame = SceneFrame(1);
  for (auto _ : state) {
    uint16_t* depth = nullptr;
    int32_t w = 0, h = 0;
    impl->ComputeDepthSingle(frame.data(), nullptr, &depth, &w, &h);
    benchmark::DoNotOptimize(depth);
    delete[] depth;
  }
}
void BM_ComputeDepthSingle(benchmark::State& s) { Single(s, false); }
void BM_ComputeDepthSingleReference(benchmark::State& s) { Single(s, true); }

std::vector<uint16_t> DepthImage() {
  auto impl = Initialised(0, false);
  impl->SetFilterEnabled(0);
  const std::vector<uint16_t> frame = SceneFrame(4);
  uint16_t* depth = nullptr;
  impl->ComputeDepth(frame.data(), &depth, kW, kH);
  std::vector<uint16_t> image(depth, depth + kW * kH);
  delete[] depth;
  return image;
}

void BM_ApplyFilter(benchmark::State& state) {
  auto impl = Initialised(0, false);
  const std::vector<uint16_t> source = DepthImage();
  std::vector<uint16_t> image(source.size());
  const int32_t code = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    image = source;
    state.ResumeTiming();
    impl->ApplyFilter(image.data(), code);
    benchmark::ClobberMemory();
  }
}

void BM_DepthToPoints(benchmark::State& state) {
  auto impl = Initialised(0, false);
  const std::vector<uint16_t> depth = DepthImage();
  std::vector<float> xyz(static_cast<std::size_t>(3) * kW * kH);
  for (auto _ : state) {
    impl->DepthToPoints(depth.data(), xyz.data(), kW, kH);
    benchmark::ClobberMemory();
  }
}

void BM_ColouriseDepth(benchmark::State& state) {
  auto impl = Initialised(0, false);
  const std::vector<uint16_t> depth = DepthImage();
  for (auto _ : state) {
    uint8_t* rgb = nullptr;
    impl->ColouriseDepth(&rgb, depth.data(), kW, kH);
    benchmark::DoNotOptimize(rgb);
    delete[] rgb;
  }
}

void BM_Undistort(benchmark::State& state) {
  auto impl = Initialised(0, false);
  const std::vector<uint16_t> depth = DepthImage();
  std::vector<uint16_t> out(depth.size());
  for (auto _ : state) {
    impl->Undistort(depth.data(), kW, kH, out.data(), 1);
    benchmark::ClobberMemory();
  }
}

// Arg 0: the fast path; 1: the reference path (plain OpenCV calls).
void BM_AlignDepthToColour(benchmark::State& state) {
  auto impl = Initialised(0, state.range(0) != 0);
  const std::vector<uint16_t> depth = DepthImage();
  std::vector<uint8_t> yuyv(static_cast<std::size_t>(1920) * 1080 * 2, 128);
  for (auto _ : state) {
    state.PauseTiming();
    auto* buffer = new uint16_t[depth.size()];
    std::copy(depth.begin(), depth.end(), buffer);
    state.ResumeTiming();
    uint8_t* colour = nullptr;
    int32_t w = 0, h = 0;
    impl->AlignDepthToColour(&colour, &buffer, yuyv.data(), 1920, 1080, &w, &h);
    benchmark::DoNotOptimize(colour);
    delete[] colour;
    delete[] buffer;
  }
}

// The steps of AlignDepthToColour one by one, the plain OpenCV call beside
// its replacement: 0 YUYV to B,G,R; 1 remap with the float maps; 2 remap
// with the fixed-point map; 3 projection; 4 medianBlur over the whole
// image; 5 the sparse median in one band; 6 in two bands on two threads;
// 7 zeroing the projected depth image; 8 the reference projection; 9 remap
// through the table of source offsets.
void BM_AlignStep(benchmark::State& state) {
  auto impl = Initialised(0, false);
  const std::vector<uint16_t> depth = DepthImage();
  std::vector<uint8_t> yuyv(static_cast<std::size_t>(1920) * 1080 * 2);
  std::mt19937 rng(3);
  for (auto& v : yuyv) v = static_cast<uint8_t>(rng());
  const cv::Mat packed(1080, 1920, CV_8UC2, yuyv.data());
  cv::Mat bgr, undistorted, nearest;
  cv::cvtColor(packed, bgr, cv::COLOR_YUV2BGR_YUY2);
  qzapi::BuildNearestMap(impl->colourMapX, impl->colourMapY, nearest);
  std::vector<int32_t> offsets;
  qzapi::BuildSourceOffsets(nearest, bgr.size(), offsets);
  std::vector<uint8_t> spare(bgr.total() * 3 + 1);  // the B,G,R image and its spare byte
  std::memcpy(spare.data(), bgr.data, bgr.total() * 3);
  cv::Mat remapped(1080, 1920, CV_8UC3);
  const qzapi::CalibrationBlock& b = impl->activeCalibration;
  const qzapi::ProjectionSetup setup{depth.data(), kW, kH, impl->rayMapX.data(), impl->rayMapY.data(),
                                     impl->TableBinning(kW, kH), qzapi::AlignmentRotation(b, false),
                                     qzapi::AlignmentTranslation(b, false), b.colourIntrinsics[0], b.colourIntrinsics[1],
                                     b.colourIntrinsics[2], b.colourIntrinsics[3], -15};
  cv::Mat aligned(1080, 1920, CV_16UC1, cv::Scalar(0)), filtered(1080, 1920, CV_16UC1);
  cv::Rect written;
  qzapi::ProjectDepthToColour(setup, aligned, nullptr, nullptr, &written);
  const cv::Mat projected = aligned.clone();
  const int step = static_cast<int>(state.range(0));
  for (auto _ : state) {
    switch (step) {
      case 0: cv::cvtColor(packed, bgr, cv::COLOR_YUV2BGR_YUY2); break;
      case 1: cv::remap(bgr, undistorted, impl->colourMapX, impl->colourMapY, cv::INTER_NEAREST); break;
      case 2: cv::remap(bgr, undistorted, nearest, cv::noArray(), cv::INTER_NEAREST); break;
      case 3: qzapi::ProjectDepthToColour(setup, aligned, nullptr, nullptr, &written); break;
      case 4: cv::medianBlur(projected, filtered, 5); break;
      case 5: qzapi::MedianBlur5Sparse(projected, filtered, written, 1); break;
      case 6: qzapi::MedianBlur5Sparse(projected, filtered, written, 2); break;
      case 7: aligned.setTo(0); break;
      case 9: qzapi::RemapNearestBgr(spare.data(), offsets.data(), remapped.data, remapped.total()); break;
      case 8: qzapi::ProjectDepthToColourReference(setup, aligned, nullptr, nullptr, &written); break;
    }
    benchmark::ClobberMemory();
  }
  state.counters["covered_pct"] = 100.0 * written.area() / (1920.0 * 1080.0);
}

}  // namespace

BENCHMARK(BM_ComputeDepthDual)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeDepthDualFiltered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeDepthDualReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeDepthDualNoiseAware)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeDepthDualNoiseAwareReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeDepthSingle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeDepthSingleReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyFilter)->ArgName("code")->Arg(1)->Arg(4)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DepthToPoints)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColouriseDepth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Undistort)->Unit(benchmark::kMillisecond);
// Wall time and the CPU time of all threads (the fast path uses two cores).
BENCHMARK(BM_AlignDepthToColour)->ArgName("reference")->Arg(0)->Arg(1)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK(BM_AlignStep)->ArgName("step")->DenseRange(0, 9)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
