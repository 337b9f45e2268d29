// The noise-aware filter, one pixel at a time: the yardstick of the fast one.
#include <cmath>

#include "noise_filter.h"
#include "noise_filter_taps.h"
#include "noise_model.h"

namespace qzapi {
namespace {

struct Image {
  const float* depth;
  const float* variance;
  int32_t width, height;
  bool Valid(int32_t r, int32_t c) const {
    return r >= 0 && c >= 0 && r < height && c < width && depth[static_cast<std::size_t>(r) * width + c] > 0.0f;
  }
  float Depth(int32_t r, int32_t c) const { return depth[static_cast<std::size_t>(r) * width + c]; }
  float Variance(int32_t r, int32_t c) const { return variance[static_cast<std::size_t>(r) * width + c]; }
};

// Whether the 3 x 3 neighbours of (r, c) confirm the depth z of variance v.
bool Confirmed(const Image& im, int32_t r, int32_t c, float z, float v) {
  const float k2 = NoiseAwareLimits::kSupportSigmas * NoiseAwareLimits::kSupportSigmas;
  for (const Tap& t : kInnerPairs) {
    if (!im.Valid(r + t.dr, c + t.dc) || !im.Valid(r - t.dr, c - t.dc)) continue;
    const float va = im.Variance(r + t.dr, c + t.dc), vb = im.Variance(r - t.dr, c - t.dc);
    const float d = PairDepth(im.Depth(r + t.dr, c + t.dc), va, im.Depth(r - t.dr, c - t.dc), vb) - z;
    if (d * d <= k2 * (v + 0.25f * (va + vb))) return true;
  }
  int32_t agreeing = 0;
  for (int32_t dr = -1; dr <= 1; ++dr) {
    for (int32_t dc = -1; dc <= 1; ++dc) {
      if ((dr == 0 && dc == 0) || !im.Valid(r + dr, c + dc)) continue;
      const float d = im.Depth(r + dr, c + dc) - z;
      if (d * d <= k2 * (v + im.Variance(r + dr, c + dc))) ++agreeing;
    }
  }
  return agreeing >= kConfirmingNeighbours;
}

// First estimate at (r, c) for depth z: the pixel and its 3 x 3 pairs with
// a wide range term around z. Only pairs whose members differ by no more
// than their noise allows (kStartGapSigmas) take part: a pair straddling an
// edge can predict a depth between the surfaces.
float Start(const Image& im, int32_t r, int32_t c, float z, float v) {
  const float k2 = NoiseAwareLimits::kStartSigmas * NoiseAwareLimits::kStartSigmas;
  const float g2 = NoiseAwareLimits::kStartGapSigmas * NoiseAwareLimits::kStartGapSigmas;
  float weight = 1.0f / v;
  float sum = z * weight;
  for (const Tap& t : kInnerPairs) {
    if (!im.Valid(r + t.dr, c + t.dc) || !im.Valid(r - t.dr, c - t.dc)) continue;
    const float va = im.Variance(r + t.dr, c + t.dc), vb = im.Variance(r - t.dr, c - t.dc);
    const float a = im.Depth(r + t.dr, c + t.dc), b = im.Depth(r - t.dr, c - t.dc);
    if ((a - b) * (a - b) > g2 * (va + vb)) continue;
    const float pair = PairDepth(a, va, b, vb);
    const float vm = 0.25f * (va + vb);
    const float d = pair - z;
    const float w = Biweight(d * d / (k2 * (v + vm))) / vm;
    weight += w;
    sum += w * pair;
  }
  return sum / weight;
}

}  // namespace

void NoiseFilterReference(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                          uint16_t* out) {
  const Image raw{in.depth, in.variance, width, height};
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const std::size_t at = static_cast<std::size_t>(r) * width + c;
      const float z = in.depth[at];
      const float v = in.variance[at];
      float kept = z;
      if (z > 0.0f && !Confirmed(raw, r, c, z, v)) {
        const float alt = in.alternate[at];
        kept = alt > 0.0f && Confirmed(raw, r, c, alt, v) ? alt : 0.0f;
      }
      scratch.confirmed[at] = kept;
      scratch.start[at] = kept > 0.0f ? Start(raw, r, c, kept, v) : 0.0f;
    }
  }

  const Image im{scratch.confirmed, in.variance, width, height};
  const float range2 = NoiseAwareLimits::kRangeSigmas * NoiseAwareLimits::kRangeSigmas;
  const float target2 = NoiseAwareLimits::kSmoothingTargetMm * NoiseAwareLimits::kSmoothingTargetMm;
  const float maxVariance = NoiseAwareLimits::kMaximumNoiseMm * NoiseAwareLimits::kMaximumNoiseMm;
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const std::size_t at = static_cast<std::size_t>(r) * width + c;
      const float z = scratch.confirmed[at];
      if (!(z > 0.0f)) {
        out[at] = z < 0.0f ? kDepthSaturated : kDepthInvalid;
        continue;
      }
      const float v = in.variance[at];
      const float m = scratch.start[at];
      const float q = SpatialFactor(v, target2);
      // Spatial weights by squared distance 1, 2, 4, 5, 8.
      float spatial[9];
      spatial[1] = q;
      spatial[2] = q * q;
      spatial[4] = spatial[2] * spatial[2];
      spatial[5] = spatial[4] * q;
      spatial[8] = spatial[4] * spatial[4];
      const float dc = z - m;
      const float wc = Biweight(dc * dc / (range2 * v)) / v;
      float weight = wc, sum = wc * z, spread = wc * wc * v;
      for (const Tap& t : kSmoothPairs) {
        if (!im.Valid(r + t.dr, c + t.dc) || !im.Valid(r - t.dr, c - t.dc)) continue;
        const float va = im.Variance(r + t.dr, c + t.dc), vb = im.Variance(r - t.dr, c - t.dc);
        const float a = im.Depth(r + t.dr, c + t.dc), b = im.Depth(r - t.dr, c - t.dc);
        const float pair = PairDepth(a, va, b, vb);
        const float vm = 0.25f * (va + vb);
        const float d = pair - m;
        const float bend = NoiseAwareLimits::kBendPerGap * (a - b);
        const float w = spatial[t.r2] * Biweight(d * d / (range2 * (v + vm))) / (vm + bend * bend);
        weight += w;
        sum += w * pair;
        spread += w * w * vm;
      }
      if (!(weight > 0.0f)) {
        // Nothing near the first estimate, the pixel included: keep the pixel.
        weight = 1.0f / v, sum = z * weight, spread = weight;
      }
      out[at] = spread > maxVariance * weight * weight ? kDepthInvalid : RoundDepth(sum / weight);
    }
  }
}

}  // namespace qzapi
