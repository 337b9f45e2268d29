// Noise-aware depth kernels: raw four-phase samples to depth with each
// pixel's noise, for the filter that follows (noise_filter.h).
//
// Against the standard kernels (depth_kernel.h) they
// - estimate each pixel's distance noise from its own samples (amplitude and
//   level through SensorNoiseModel);
// - combine the two frequencies by inverse variance instead of averaging;
// - accept a lap pair by the pair's own noise (kUnwrapSigmas) instead of a
//   fixed 200 mm, and keep the runner-up pair when it agrees as well, so the
//   filter can settle the lap from the neighbours;
// - interpolate the cyclic-error table with a cubic and keep every
//   correction in fractions of a millimetre (no truncation).
#pragma once

#include <cstdint>
#include <vector>

#include "depth_kernel.h"

namespace qzapi {

// Marks a saturated pixel in NoisyDepth::depth.
constexpr float kNoisySaturated = -1.0f;
// Smallest depth a valid pixel carries: it rounds to 2 mm or more, clear of
// the invalid (0) and saturated (1) codes.
constexpr float kNoisyMinimumDepth = 1.5f;

// Per-pixel output, W x H floats each, row-major; rows 0 and 1 invalid.
struct NoisyDepth {
  float* depth = nullptr;      // axial depth, mm; 0 invalid, kNoisySaturated saturated
  float* variance = nullptr;   // variance of depth, mm^2 (where depth > 0)
  float* alternate = nullptr;  // depth of the runner-up lap pair where it agrees too, else 0
};

// Unwrapping of the two channels: u, v, combinedRange of DepthFrame pick the
// closest lap pair; the runner-up lies `lapSpacing` further (both channels
// moved by one lap).
struct NoiseParams {
  float unwrapSigmas2 = 0.0f;  // kUnwrapSigmas^2
  float residual2 = 0.0f;      // kChannelResidualMm^2
  float lapSpacing = 0.0f;     // R1 - R2, mm
  float lapsPerMm1 = 0.0f;     // 1 / R1
  float lapsPerMm2 = 0.0f;     // 1 / R2
};

NoiseParams MakeNoiseParams(const DepthFrame& f);

// ChannelParams::cyclic of a channel with the given cyclic-error table:
// CyclicErrorCubic at 0, 1, 2, ... mm over the table's whole reach
// (kWigglingLimit / tableStep) and a little beyond, each with the step to
// the next millimetre; cyclicCount is half the size.
std::vector<float> CyclicErrorTable(const ChannelParams& c);

// Rows 0 and 1 (sensor data, no depth) of [rowBegin, rowEnd) all invalid.
void ClearNoisyTopRows(const DepthFrame& f, const NoisyDepth& out, int32_t rowBegin, int32_t rowEnd);

// Rows [rowBegin, rowEnd) of a frame; rows 0 and 1 invalid. The reference
// kernels use the library atan2 and the plain pixel order; the fast ones
// FastAtan2 and, where the processor has AVX2 (and f.allowSimd), eight
// pixels at a time.
void DualFrequencyNoiseReference(const DepthFrame& f, const NoiseParams& q, const NoisyDepth& out, int32_t rowBegin,
                                 int32_t rowEnd);
void DualFrequencyNoiseFast(const DepthFrame& f, const NoiseParams& q, const NoisyDepth& out, int32_t rowBegin,
                            int32_t rowEnd);
void SingleFrequencyNoiseReference(const DepthFrame& f, const NoisyDepth& out, int32_t rowBegin, int32_t rowEnd);
void SingleFrequencyNoiseFast(const DepthFrame& f, const NoisyDepth& out, int32_t rowBegin, int32_t rowEnd);

}  // namespace qzapi
