// The noise-aware filter with AVX2, eight pixels per step: the arithmetic of
// noise_filter_pixel.h lane by lane, in the same order (selects instead of
// branches), so it gives the reference filter's image. Pixels within two of
// the image border take the per-pixel path.
#include "noise_filter.h"
#include "noise_filter_pixel.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#pragma GCC target("avx2")

namespace qzapi {
namespace {

constexpr int32_t kBorder = 2;  // the 5 x 5 window reaches two pixels out

inline __m256 Select(__m256 mask, __m256 ifTrue, __m256 ifFalse) { return _mm256_blendv_ps(ifFalse, ifTrue, mask); }
inline __m256 Positive(__m256 x) { return _mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_GT_OQ); }

// Neighbours of eight pixels at one offset.
struct Neighbour {
  __m256 depth, variance;
};

inline Neighbour Load(const float* depth, const float* variance, std::ptrdiff_t at) {
  return {_mm256_loadu_ps(depth + at), _mm256_loadu_ps(variance + at)};
}

// The 3 x 3 neighbours of eight pixels, as the pairs of kInnerPairs: plus[k]
// at (+dr, +dc) of pair k, minus[k] at (-dr, -dc).
struct Ring {
  Neighbour plus[4], minus[4];
};

inline Ring LoadRing(const float* depth, const float* variance, std::ptrdiff_t at, std::ptrdiff_t w) {
  Ring ring;
  for (int k = 0; k < 4; ++k) {
    const std::ptrdiff_t off = kInnerPairs[k].dr * w + kInnerPairs[k].dc;
    ring.plus[k] = Load(depth, variance, at + off);
    ring.minus[k] = Load(depth, variance, at - off);
  }
  return ring;
}

// ConfirmedAt for eight pixels of depth z, variance v; `done` marks lanes
// whose answer does not matter.
__m256 Confirmed(const Ring& ring, __m256 z, __m256 v, __m256 done, const FilterConstants& k) {
  const __m256 support2 = _mm256_set1_ps(k.support2), half = _mm256_set1_ps(0.5f), quarter = _mm256_set1_ps(0.25f);
  __m256 confirmed = _mm256_setzero_ps();
  for (int p = 0; p < 4; ++p) {
    const Neighbour& a = ring.plus[p];
    const Neighbour& b = ring.minus[p];
    const __m256 d = _mm256_sub_ps(_mm256_mul_ps(half, _mm256_add_ps(a.depth, b.depth)), z);
    const __m256 limit =
        _mm256_mul_ps(support2, _mm256_add_ps(v, _mm256_mul_ps(quarter, _mm256_add_ps(a.variance, b.variance))));
    const __m256 ok = _mm256_and_ps(_mm256_and_ps(Positive(a.depth), Positive(b.depth)),
                                    _mm256_cmp_ps(_mm256_mul_ps(d, d), limit, _CMP_LE_OQ));
    confirmed = _mm256_or_ps(confirmed, ok);
  }
  // Single neighbours only matter where no pair confirmed.
  if (_mm256_movemask_ps(_mm256_or_ps(confirmed, done)) == 0xFF) return confirmed;
  __m256i agreeing = _mm256_setzero_si256();
  for (int p = 0; p < 8; ++p) {
    const Neighbour& a = p < 4 ? ring.plus[p] : ring.minus[p - 4];
    const __m256 d = _mm256_sub_ps(a.depth, z);
    const __m256 ok = _mm256_and_ps(
        Positive(a.depth),
        _mm256_cmp_ps(_mm256_mul_ps(d, d), _mm256_mul_ps(support2, _mm256_add_ps(v, a.variance)), _CMP_LE_OQ));
    agreeing = _mm256_sub_epi32(agreeing, _mm256_castps_si256(ok));  // a set mask is -1
  }
  const __m256i enough = _mm256_cmpgt_epi32(agreeing, _mm256_set1_epi32(kConfirmingNeighbours - 1));
  return _mm256_or_ps(confirmed, _mm256_castsi256_ps(enough));
}

// StartAt for eight pixels of confirmed depth z (lanes with z <= 0 are
// ignored by the caller).
__m256 Start(const Ring& ring, __m256 z, __m256 v, const FilterConstants& k) {
  const __m256 half = _mm256_set1_ps(0.5f), quarter = _mm256_set1_ps(0.25f);
  const __m256 start2 = _mm256_set1_ps(k.start2), gap2 = _mm256_set1_ps(k.startGap2);
  const __m256 bendScale = _mm256_div_ps(quarter, z);
  __m256 weight = _mm256_div_ps(_mm256_set1_ps(1.0f), v);
  __m256 sum = _mm256_mul_ps(z, weight);
  for (int p = 0; p < 4; ++p) {
    const Neighbour& a = ring.plus[p];
    const Neighbour& b = ring.minus[p];
    const __m256 gap = _mm256_sub_ps(a.depth, b.depth);
    const __m256 vs = _mm256_add_ps(a.variance, b.variance);
    const __m256 gapSq = _mm256_mul_ps(gap, gap);
    const __m256 pair = _mm256_sub_ps(_mm256_mul_ps(half, _mm256_add_ps(a.depth, b.depth)),
                                      _mm256_mul_ps(_mm256_sub_ps(gapSq, vs), bendScale));
    const __m256 vm = _mm256_mul_ps(quarter, vs);
    const __m256 d = _mm256_sub_ps(pair, z);
    const __m256 den = _mm256_mul_ps(start2, _mm256_add_ps(v, vm));
    const __m256 room = _mm256_sub_ps(den, _mm256_mul_ps(d, d));
    const __m256 use = _mm256_and_ps(_mm256_and_ps(Positive(a.depth), Positive(b.depth)),
                                     _mm256_and_ps(_mm256_cmp_ps(gapSq, _mm256_mul_ps(gap2, vs), _CMP_LE_OQ), Positive(room)));
    if (_mm256_movemask_ps(use) == 0) continue;
    const __m256 wt = _mm256_div_ps(_mm256_mul_ps(room, room), _mm256_mul_ps(_mm256_mul_ps(den, den), vm));
    const __m256 wu = _mm256_and_ps(use, wt);
    weight = _mm256_add_ps(weight, wu);
    sum = _mm256_add_ps(sum, _mm256_mul_ps(wu, Select(use, pair, _mm256_setzero_ps())));
  }
  return _mm256_div_ps(sum, weight);
}

void ConfirmRow(const NoisyDepth& in, int32_t width, int32_t r, int32_t c, const FilterConstants& k,
                const NoiseFilterScratch& scratch) {
  const std::ptrdiff_t w = width;
  const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(r) * w + c;
  const __m256 z = _mm256_loadu_ps(in.depth + at);
  const __m256 valid = Positive(z);
  if (_mm256_movemask_ps(valid) == 0) {
    _mm256_storeu_ps(scratch.confirmed + at, z);  // 0 invalid, negative saturated
    _mm256_storeu_ps(scratch.start + at, _mm256_setzero_ps());
    return;
  }
  const __m256 v = _mm256_loadu_ps(in.variance + at);
  const Ring ring = LoadRing(in.depth, in.variance, at, w);
  const __m256 invalid = _mm256_cmp_ps(z, _mm256_setzero_ps(), _CMP_NGT_UQ);
  const __m256 confirmedZ = Confirmed(ring, z, v, invalid, k);
  __m256 kept = Select(confirmedZ, z, _mm256_setzero_ps());
  const __m256 alt = _mm256_loadu_ps(in.alternate + at);
  const __m256 tryAlt = _mm256_andnot_ps(confirmedZ, _mm256_and_ps(valid, Positive(alt)));
  if (_mm256_movemask_ps(tryAlt) != 0) {
    const __m256 confirmedAlt = Confirmed(ring, alt, v, _mm256_andnot_ps(tryAlt, _mm256_castsi256_ps(_mm256_set1_epi32(-1))), k);
    kept = Select(_mm256_and_ps(tryAlt, confirmedAlt), alt, kept);
  }
  kept = Select(valid, kept, z);  // 0 invalid, negative saturated
  _mm256_storeu_ps(scratch.confirmed + at, kept);
  const __m256 keptValid = Positive(kept);
  __m256 start = _mm256_setzero_ps();
  if (_mm256_movemask_ps(keptValid) != 0) {
    // Lanes without a depth compute with 1 mm so nothing divides by zero.
    const __m256 safe = Select(keptValid, kept, _mm256_set1_ps(1.0f));
    const __m256 safeV = Select(keptValid, v, _mm256_set1_ps(1.0f));
    start = _mm256_and_ps(keptValid, Start(ring, safe, safeV, k));
  }
  _mm256_storeu_ps(scratch.start + at, start);
}

// Rounded 16-bit depths of eight lanes (RoundDepth).
inline __m256i Rounded(__m256 z) {
  const __m256 capped = _mm256_min_ps(_mm256_add_ps(z, _mm256_set1_ps(0.5f)), _mm256_set1_ps(65535.0f));
  return _mm256_max_epi32(_mm256_cvttps_epi32(capped), _mm256_set1_epi32(2));
}

void SmoothRow(const float* depth, const float* variance, const float* start, int32_t width, int32_t r, int32_t c,
               const FilterConstants& k, uint16_t* out) {
  const std::ptrdiff_t w = width;
  const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(r) * w + c;
  const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
  const __m256 half = _mm256_set1_ps(0.5f), quarter = _mm256_set1_ps(0.25f);
  const __m256 raw = _mm256_loadu_ps(depth + at);
  const __m256 valid = Positive(raw);
  if (_mm256_movemask_ps(valid) == 0) {
    // Invalid and saturated pixels keep their codes.
    const __m256i code = _mm256_and_si256(_mm256_castps_si256(_mm256_cmp_ps(raw, _mm256_setzero_ps(), _CMP_LT_OQ)),
                                          _mm256_set1_epi32(kDepthSaturated));
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(code, code), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm256_castsi256_si128(packed));
    return;
  }
  // Lanes without a depth compute with 1 mm so nothing divides by zero.
  const __m256 z = Select(valid, raw, one);
  const __m256 v = Select(valid, _mm256_loadu_ps(variance + at), one);
  const __m256 m = Select(valid, _mm256_loadu_ps(start + at), one);
  const __m256 range2 = _mm256_set1_ps(k.range2), bendFactor = _mm256_set1_ps(k.bend);
  const __m256 bendScale = _mm256_div_ps(quarter, z);
  const __m256 q = _mm256_min_ps(_mm256_div_ps(v, _mm256_add_ps(v, _mm256_set1_ps(k.spatialScale))),
                                 _mm256_set1_ps(kWidestSpatialFactor));
  __m256 spatial[9];
  spatial[1] = q;
  spatial[2] = _mm256_mul_ps(q, q);
  spatial[4] = _mm256_mul_ps(spatial[2], spatial[2]);
  spatial[5] = _mm256_mul_ps(spatial[4], q);
  spatial[8] = _mm256_mul_ps(spatial[4], spatial[4]);
  spatial[0] = spatial[3] = spatial[6] = spatial[7] = zero;

  const __m256 dz = _mm256_sub_ps(z, m);
  const __m256 denCentre = _mm256_mul_ps(range2, v);
  const __m256 roomCentre = _mm256_sub_ps(denCentre, _mm256_mul_ps(dz, dz));
  const __m256 wc = _mm256_and_ps(Positive(roomCentre),
                                  _mm256_div_ps(_mm256_mul_ps(roomCentre, roomCentre),
                                                _mm256_mul_ps(_mm256_mul_ps(denCentre, denCentre), v)));
  __m256 weight = wc;
  __m256 sum = _mm256_mul_ps(wc, z);
  __m256 spread = _mm256_mul_ps(_mm256_mul_ps(wc, wc), v);
  for (const Tap& t : kSmoothPairs) {
    const std::ptrdiff_t off = t.dr * w + t.dc;
    const Neighbour a = Load(depth, variance, at + off), b = Load(depth, variance, at - off);
    const __m256 gap = _mm256_sub_ps(a.depth, b.depth);
    const __m256 vs = _mm256_add_ps(a.variance, b.variance);
    const __m256 pair = _mm256_sub_ps(_mm256_mul_ps(half, _mm256_add_ps(a.depth, b.depth)),
                                      _mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(gap, gap), vs), bendScale));
    const __m256 vm = _mm256_mul_ps(quarter, vs);
    const __m256 d = _mm256_sub_ps(pair, m);
    const __m256 den = _mm256_mul_ps(range2, _mm256_add_ps(v, vm));
    const __m256 room = _mm256_sub_ps(den, _mm256_mul_ps(d, d));
    const __m256 bend = _mm256_mul_ps(bendFactor, gap);
    const __m256 use = _mm256_and_ps(_mm256_and_ps(Positive(a.depth), Positive(b.depth)), Positive(room));
    if (_mm256_movemask_ps(use) == 0) continue;
    const __m256 ratio = _mm256_div_ps(_mm256_mul_ps(room, room),
                                       _mm256_mul_ps(_mm256_mul_ps(den, den), _mm256_add_ps(vm, _mm256_mul_ps(bend, bend))));
    // Unused lanes add an exact 0 (their pair and vm are finite).
    const __m256 wt = _mm256_and_ps(use, _mm256_mul_ps(spatial[t.r2], ratio));
    weight = _mm256_add_ps(weight, wt);
    sum = _mm256_add_ps(sum, _mm256_mul_ps(wt, pair));
    spread = _mm256_add_ps(spread, _mm256_mul_ps(_mm256_mul_ps(wt, wt), vm));
  }
  const __m256 maxVariance = _mm256_set1_ps(k.maxVariance);
  const __m256 weighted = Positive(weight);
  // Nothing near the first estimate, the pixel included: the pixel as it is.
  const __m256 value = Select(weighted, _mm256_div_ps(sum, weight), z);
  const __m256 noisy = Select(weighted, _mm256_cmp_ps(spread, _mm256_mul_ps(maxVariance, _mm256_mul_ps(weight, weight)), _CMP_GT_OQ),
                              _mm256_cmp_ps(v, maxVariance, _CMP_GT_OQ));
  __m256i result = _mm256_andnot_si256(_mm256_castps_si256(noisy), Rounded(value));
  // Invalid and saturated pixels keep their codes.
  const __m256i code = _mm256_and_si256(_mm256_castps_si256(_mm256_cmp_ps(raw, zero, _CMP_LT_OQ)),
                                        _mm256_set1_epi32(kDepthSaturated));
  result = _mm256_castps_si256(Select(valid, _mm256_castsi256_ps(result), _mm256_castsi256_ps(code)));
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(result, result), 0x08);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm256_castsi256_si128(packed));
}

}  // namespace

void NoiseConfirmRowsAvx2(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                          int32_t rowBegin, int32_t rowEnd) {
  const FilterConstants k;
  const FloatView raw{in.depth, in.variance, width, height};
  for (int32_t r = rowBegin; r < rowEnd; ++r) {
    const bool inner = r >= kBorder && r < height - kBorder;
    int32_t c = 0;
    if (inner) {
      for (; c < kBorder; ++c) ConfirmPixel(raw, in.alternate, r, c, k, scratch.confirmed[raw.At(r, c)], scratch.start[raw.At(r, c)]);
      for (; c + 8 <= width - kBorder; c += 8) ConfirmRow(in, width, r, c, k, scratch);
    }
    for (; c < width; ++c) ConfirmPixel(raw, in.alternate, r, c, k, scratch.confirmed[raw.At(r, c)], scratch.start[raw.At(r, c)]);
  }
}

void NoiseSmoothRowsAvx2(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                         uint16_t* out, int32_t rowBegin, int32_t rowEnd) {
  const FilterConstants k;
  const FloatView confirmed{scratch.confirmed, in.variance, width, height};
  for (int32_t r = rowBegin; r < rowEnd; ++r) {
    const bool inner = r >= kBorder && r < height - kBorder;
    int32_t c = 0;
    if (inner) {
      for (; c < kBorder; ++c) out[confirmed.At(r, c)] = SmoothPixel(confirmed, scratch.start, r, c, k);
      for (; c + 8 <= width - kBorder; c += 8) SmoothRow(scratch.confirmed, in.variance, scratch.start, width, r, c, k, out);
    }
    for (; c < width; ++c) out[confirmed.At(r, c)] = SmoothPixel(confirmed, scratch.start, r, c, k);
  }
}

}  // namespace qzapi

#else

namespace qzapi {
void NoiseConfirmRowsAvx2(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                          int32_t rowBegin, int32_t rowEnd) {
  NoiseConfirmRows(in, width, height, scratch, rowBegin, rowEnd, false);
}
void NoiseSmoothRowsAvx2(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                         uint16_t* out, int32_t rowBegin, int32_t rowEnd) {
  NoiseSmoothRows(in, width, height, scratch, out, rowBegin, rowEnd, false);
}
}  // namespace qzapi

#endif
