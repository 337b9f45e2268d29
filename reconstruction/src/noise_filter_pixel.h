// The noise-aware filter for one pixel, written out step by step. The
// reference filter runs it on every pixel; the vectorised one repeats the
// same arithmetic in the same order eight pixels at a time and runs this on
// the image borders, so both give the same image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "noise_filter.h"
#include "noise_filter_taps.h"
#include "noise_model.h"

namespace qzapi {

// Constants of the filter, squared where the arithmetic uses them squared.
struct FilterConstants {
  float support2 = NoiseAwareLimits::kSupportSigmas * NoiseAwareLimits::kSupportSigmas;
  float start2 = NoiseAwareLimits::kStartSigmas * NoiseAwareLimits::kStartSigmas;
  float startGap2 = NoiseAwareLimits::kStartGapSigmas * NoiseAwareLimits::kStartGapSigmas;
  float range2 = NoiseAwareLimits::kRangeSigmas * NoiseAwareLimits::kRangeSigmas;
  float bend = NoiseAwareLimits::kBendPerGap;
  // 2 pi target^2: the spatial factor q = v / (v + spatialScale) (noise_filter_taps.h).
  float spatialScale = 6.2831853f * NoiseAwareLimits::kSmoothingTargetMm * NoiseAwareLimits::kSmoothingTargetMm;
  float maxVariance = NoiseAwareLimits::kMaximumNoiseMm * NoiseAwareLimits::kMaximumNoiseMm;
};

// A float image with the filter's notion of validity: depth > 0 inside.
struct FloatView {
  const float* depth;
  const float* variance;
  int32_t width, height;
  bool Inside(int32_t r, int32_t c) const { return r >= 0 && c >= 0 && r < height && c < width; }
  std::size_t At(int32_t r, int32_t c) const { return static_cast<std::size_t>(r) * width + c; }
  float Depth(int32_t r, int32_t c) const { return Inside(r, c) ? depth[At(r, c)] : 0.0f; }
  float Variance(int32_t r, int32_t c) const { return Inside(r, c) ? variance[At(r, c)] : 0.0f; }
};

// Whether the 3 x 3 neighbours confirm depth z (variance v) at (r, c): the
// middle of a pair of valid neighbours, or two valid neighbours, within
// kSupportSigmas.
inline bool ConfirmedAt(const FloatView& im, int32_t r, int32_t c, float z, float v, const FilterConstants& k) {
  bool confirmed = false;
  for (const Tap& t : kInnerPairs) {
    const float a = im.Depth(r + t.dr, c + t.dc), b = im.Depth(r - t.dr, c - t.dc);
    const float va = im.Variance(r + t.dr, c + t.dc), vb = im.Variance(r - t.dr, c - t.dc);
    const float d = 0.5f * (a + b) - z;
    const float limit = k.support2 * (v + 0.25f * (va + vb));
    confirmed = confirmed || (a > 0.0f && b > 0.0f && d * d <= limit);
  }
  int32_t agreeing = 0;
  for (int32_t dr = -1; dr <= 1; ++dr) {
    for (int32_t dc = -1; dc <= 1; ++dc) {
      if (dr == 0 && dc == 0) continue;
      const float a = im.Depth(r + dr, c + dc);
      const float d = a - z;
      agreeing += (a > 0.0f && d * d <= k.support2 * (v + im.Variance(r + dr, c + dc))) ? 1 : 0;
    }
  }
  return confirmed || agreeing >= kConfirmingNeighbours;
}

// First estimate at (r, c) for the confirmed depth z: the pixel and its
// 3 x 3 pairs that span no edge, with a wide range term around z.
inline float StartAt(const FloatView& im, int32_t r, int32_t c, float z, float v, const FilterConstants& k) {
  const float bendScale = 0.25f / z;
  float weight = 1.0f / v;
  float sum = z * weight;
  for (const Tap& t : kInnerPairs) {
    const float a = im.Depth(r + t.dr, c + t.dc), b = im.Depth(r - t.dr, c - t.dc);
    const float va = im.Variance(r + t.dr, c + t.dc), vb = im.Variance(r - t.dr, c - t.dc);
    const float gap = a - b;
    const float vs = va + vb;
    const float pair = 0.5f * (a + b) - (gap * gap - vs) * bendScale;
    const float vm = 0.25f * vs;
    const float d = pair - z;
    const float den = k.start2 * (v + vm);
    const float room = den - d * d;
    if (a > 0.0f && b > 0.0f && gap * gap <= k.startGap2 * vs && room > 0.0f) {
      const float w = room * room / (den * den * vm);
      weight += w;
      sum += w * pair;
    }
  }
  return sum / weight;
}

// Step 1 at (r, c) of the kernel's output `in` (as a FloatView with its
// runner-up depths beside it): the confirmed depth and the first estimate.
inline void ConfirmPixel(const FloatView& im, const float* alternate, int32_t r, int32_t c, const FilterConstants& k,
                         float& confirmed, float& start) {
  const std::size_t at = im.At(r, c);
  const float z = im.depth[at];
  const float v = im.variance[at];
  start = 0.0f;
  if (!(z > 0.0f)) {
    confirmed = z;  // 0 invalid, negative saturated
    return;
  }
  float kept = z;
  if (!ConfirmedAt(im, r, c, z, v, k)) {
    const float alt = alternate[at];
    kept = alt > 0.0f && ConfirmedAt(im, r, c, alt, v, k) ? alt : 0.0f;
  }
  confirmed = kept;
  if (kept > 0.0f) start = StartAt(im, r, c, kept, v, k);
}

// Step 2 and 3 at (r, c) of the confirmed image: the 16-bit output.
inline uint16_t SmoothPixel(const FloatView& im, const float* start, int32_t r, int32_t c, const FilterConstants& k) {
  const std::size_t at = im.At(r, c);
  const float z = im.depth[at];
  if (!(z > 0.0f)) return z < 0.0f ? kDepthSaturated : kDepthInvalid;
  const float v = im.variance[at];
  const float m = start[at];
  const float bendScale = 0.25f / z;
  float q = v / (v + k.spatialScale);
  q = q < kWidestSpatialFactor ? q : kWidestSpatialFactor;
  float spatial[9] = {};
  spatial[1] = q;
  spatial[2] = q * q;
  spatial[4] = spatial[2] * spatial[2];
  spatial[5] = spatial[4] * q;
  spatial[8] = spatial[4] * spatial[4];

  const float dz = z - m;
  const float denCentre = k.range2 * v;
  const float roomCentre = denCentre - dz * dz;
  const float wc = roomCentre > 0.0f ? roomCentre * roomCentre / (denCentre * denCentre * v) : 0.0f;
  float weight = wc;
  float sum = wc * z;
  float spread = wc * wc * v;
  for (const Tap& t : kSmoothPairs) {
    const float a = im.Depth(r + t.dr, c + t.dc), b = im.Depth(r - t.dr, c - t.dc);
    const float va = im.Variance(r + t.dr, c + t.dc), vb = im.Variance(r - t.dr, c - t.dc);
    const float gap = a - b;
    const float vs = va + vb;
    const float pair = 0.5f * (a + b) - (gap * gap - vs) * bendScale;
    const float vm = 0.25f * vs;
    const float d = pair - m;
    const float den = k.range2 * (v + vm);
    const float room = den - d * d;
    const float bend = k.bend * gap;
    if (a > 0.0f && b > 0.0f && room > 0.0f) {
      const float w = spatial[t.r2] * (room * room / (den * den * (vm + bend * bend)));
      weight += w;
      sum += w * pair;
      spread += w * w * vm;
    }
  }
  if (!(weight > 0.0f)) {
    // Nothing lies near the first estimate, the pixel included: keep the pixel.
    return v > k.maxVariance ? kDepthInvalid : RoundDepth(z);
  }
  return spread > k.maxVariance * (weight * weight) ? kDepthInvalid : RoundDepth(sum / weight);
}

}  // namespace qzapi
