// Neighbourhoods of the noise-aware filter.
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
    {0, 1, 1},
    {0, 2, 4},
    {1, -2, 5},
    {1, -1, 2},
    {1, 0, 1},
    {1, 1, 2},
    {1, 2, 5},
    {2, -2, 8},
    {2, -1, 5},
    {2, 0, 4},
    {2, 1, 5},
    {2, 2, 8},
};

// Agreeing single neighbours that confirm a pixel no pair confirms.
constexpr int32_t kConfirmingNeighbours = 2;

// Spatial weight of a pair at squared distance r2 is q^r2, q growing with
// the pixel's noise as v / (v + 2 pi target^2) (enough smoothing to bring
// the noise to about kSmoothingTargetMm) up to this: a Gaussian of 2 pixels,
// exp(-1/8), for the noisiest pixels.
constexpr float kWidestSpatialFactor = 0.8824969f;

// Millimetres to the nearest whole millimetre as a 16-bit depth, at least 2
// (clear of the invalid and saturated codes).
inline uint16_t RoundDepth(float z) {
  if (!(z < 65534.5f)) return 65535;
  const int32_t v = static_cast<int32_t>(z + 0.5f);
  return static_cast<uint16_t>(v < 2 ? 2 : v);
}

}  // namespace qzapi
