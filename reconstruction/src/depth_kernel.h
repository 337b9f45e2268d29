// Per-pixel depth kernels: raw four-phase samples to millimetres.
// The reference kernels follow the arithmetic step by step and are the
// yardstick for the vectorised ones, which must stay within 1 mm of them.
#pragma once

#include <cmath>
#include <cstdint>

namespace qzapi {

constexpr uint16_t kSaturatedSample = 1023;
constexpr uint16_t kDepthInvalid = 0;
constexpr uint16_t kDepthSaturated = 1;
constexpr float kHalfPi = 1.5707963265f;
// The wiggling table holds 256 entries; t must leave room for entry idx + 1.
constexpr float kWigglingLimit = 255.0f;

struct ChannelParams {
  float millimetresPerRadian = 0.0f;
  float offset = 0.0f;  // added after phase to distance (offset, drift, ...)
  float range = 0.0f;   // unambiguous range, mm
  float gain = 1.0f;
  float tableStep = 0.0f;
  const float* wiggling = nullptr;  // 256 entries
  int32_t tableCount = 0;           // entries of the calibrated table (the noise-aware cubic reads it)
  // Noise-aware mode: the cubic reading of the table every mm, as pairs
  // (error at k mm, error at k + 1 mm less that), cyclicCount pairs.
  const float* cyclic = nullptr;
  int32_t cyclicCount = 0;
};

struct DepthFrame {
  const uint16_t* raw = nullptr;
  uint16_t* out = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t tableBinning = 1;  // pixel (i, j) reads table entry of grid (kb i, kb j)
  int32_t orientation = 0;
  float amplitudeThreshold = 0.0f;
  const float* fitting80 = nullptr;
  const float* fitting100 = nullptr;
  const float* radialToAxial = nullptr;
  ChannelParams first;   // frequency80
  ChannelParams second;  // frequency100
  // Dual-frequency unwrapping.
  float u = 0.0f, v = 0.0f;  // f1 / (f1 - f2), f2 / (f1 - f2), integer quotients
  float combinedRange = 0.0f;
  float depthOffset = 0.0f;
  bool allowSimd = true;  // the fast kernels may use AVX2 when present
};

// Wraps a distance once into 0..range.
inline float WrapOnce(float d, float range) {
  d = d < 0.0f ? d + range : d;
  return d > range ? d - range : d;
}

// Scales by the gain and removes the interpolated cyclic error (whole mm).
// Positions outside the 256-entry table get no correction.
inline float WigglingCorrected(float d, const ChannelParams& c) {
  const float scaled = d * c.gain;
  const float t = scaled * c.tableStep;
  const bool inside = t >= 0.0f && t < kWigglingLimit;
  const int32_t idx = inside ? static_cast<int32_t>(t) : 0;
  const float f = t - static_cast<float>(idx);
  const float e = inside ? (1.0f - f) * c.wiggling[idx] + f * c.wiggling[idx + 1] : 0.0f;
  return scaled - static_cast<float>(static_cast<int32_t>(e));
}

// Truncates to a 16-bit depth; negative and non-finite values are invalid.
inline uint16_t ToDepth(float z) {
  if (!(z >= 0.0f)) return kDepthInvalid;
  if (z >= 65535.0f) return 65535;
  return static_cast<uint16_t>(static_cast<int32_t>(z));
}

// Table index of output pixel (i, j) for an orientation (0 for unknown ones).
inline std::size_t TableIndex(int32_t orientation, int32_t i, int32_t j, int32_t w, int32_t h, int32_t kb) {
  const int64_t W = w, H = h, KB = kb;
  switch (orientation) {
    case 1: return static_cast<std::size_t>((j + (H - i - 1) * W * KB) * KB);
    case 2: return static_cast<std::size_t>((i * W * KB + W - j - 1) * KB);
    case 3: return static_cast<std::size_t>(((H - i - 1) * W * KB + W - j - 1) * KB);
    default: return static_cast<std::size_t>((j + i * W * KB) * KB);
  }
}

// Single-frequency depth from one sub-frame (first channel); rows 0 and 1 are 0.
void SingleFrequencyReference(const DepthFrame& frame);
void SingleFrequencyFast(const DepthFrame& frame);
// Dual-frequency depth from four sub-frames; rows 0 and 1 are 0.
void DualFrequencyReference(const DepthFrame& frame);
void DualFrequencyFast(const DepthFrame& frame);

// atan2 to within a few float ulps, branch-free so loops over it vectorise.
inline float FastAtan2(float y, float x) {
  const float ax = std::fabs(x);
  const float ay = std::fabs(y);
  const float mx = ax > ay ? ax : ay;
  const float mn = ax > ay ? ay : ax;
  const float a = mx > 0.0f ? mn / mx : 0.0f;
  // Reduce to |t| <= tan(pi/8) around pi/4.
  const bool upper = a > 0.41421356f;
  const float t = upper ? (a - 1.0f) / (a + 1.0f) : a;
  const float base = upper ? 0.78539816f : 0.0f;
  const float z = t * t;
  const float poly = (((8.05374449538e-2f * z - 1.38776856032e-1f) * z + 1.99777106478e-1f) * z -
                      3.33329491539e-1f) *
                         z * t +
                     t;
  float r = base + poly;
  r = ay > ax ? 1.57079633f - r : r;
  r = x < 0.0f ? 3.14159265f - r : r;
  return y < 0.0f ? -r : r;
}

}  // namespace qzapi
