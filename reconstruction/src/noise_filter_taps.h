// Neighbourhoods and per-pair arithmetic of the noise-aware filter, shared
// by its reference and fast versions so both weigh exactly alike.
#pragma once

#include <cmath>
#include <cstdint>

#include "depth_kernel.h"

namespace qzapi {

// One of a point-symmetric pair of neighbours, (r + dr, c + dc) and
// (r - dr, c - dc); r2 = dr^2 + dc^2.
struct Tap {
  int32_t dr, dc, r2;
};

// The four pairs through the 3 x 3 neighbourhood.
constexpr Tap kInnerPairs[4] = {{0, 1, 1}, {1, -1, 2}, {1, 0, 1}, {1, 1, 2}};

// The twelve pairs through the 5 x 5 neighbourhood.
constexpr Tap kSmoothPairs[12] = {
    {0, 1, 1}, {0, 2, 4}, {1, -2, 5}, {1, -1, 2}, {1, 0, 1}, {1, 1, 2},
    {1, 2, 5}, {2, -2, 8}, {2, -1, 5}, {2, 0, 4}, {2, 1, 5}, {2, 2, 8},
};

// Agreeing single neighbours that confirm a pixel no pair confirms.
constexpr int32_t kConfirmingNeighbours = 2;

// Largest spatial factor per unit of squared distance: a Gaussian of 2
// pixels, exp(-1/8), for the noisiest pixels.
constexpr float kWidestSpatialFactor = 0.8824969f;

// Depth a symmetric pair predicts for the pixel between them: the middle of
// the two depths, less the bend of a plane seen in perspective (depth is not
// linear across the image, its reciprocal is: the exact plane value is the
// harmonic mean, the middle less (a - b)^2 / (4 middle)), where the noise
// part of (a - b)^2 is taken out so the correction adds no bias of its own.
inline float PairDepth(float a, float va, float b, float vb) {
  const float middle = 0.5f * (a + b);
  const float gap = a - b;
  return middle - (gap * gap - (va + vb)) / (4.0f * middle);
}

// Spatial factor per unit of squared distance for a pixel of variance v:
// enough smoothing to bring its noise to about kSmoothingTargetMm, at most a
// 2-pixel Gaussian.
inline float SpatialFactor(float v, float target2) {
  const float q = v / (v + 6.2831853f * target2);
  return q < kWidestSpatialFactor ? q : kWidestSpatialFactor;
}

// Tukey's biweight of u = (distance / scale)^2: 1 at 0, 0 from 1 on.
inline float Biweight(float u) {
  const float t = 1.0f - u;
  return u < 1.0f ? t * t : 0.0f;
}

// Millimetres to the nearest whole millimetre as a 16-bit depth, at least 2
// (clear of the invalid and saturated codes).
inline uint16_t RoundDepth(float z) {
  if (!(z < 65534.5f)) return 65535;
  const int32_t v = static_cast<int32_t>(z + 0.5f);
  return static_cast<uint16_t>(v < 2 ? 2 : v);
}

}  // namespace qzapi
