// AVX2 building blocks shared by the depth kernels (depth_kernel_avx2.cpp,
// noise_kernel_avx2.cpp): eight pixels per register. Include only after
// `#pragma GCC target("avx2")` on x86-64.
#pragma once

#include <immintrin.h>

#include <utility>

#include "depth_kernel_rows.h"

namespace qzapi {
namespace avx2 {

struct Lanes {
  __m256 s00, s01, s10, s11;  // samples as floats
  __m256i saturated;          // all bits set where a sample is 1023
};

// Samples of pixels j .. j + 7: sixteen consecutive 16-bit samples of each
// raw row hold left/right columns in the low/high half of each 32-bit lane.
inline Lanes LoadPixels(const uint16_t* rowA, const uint16_t* rowB, int32_t j, bool swapColumns) {
  const __m256i low = _mm256_set1_epi32(0xFFFF);
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowA + 2 * j));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowB + 2 * j));
  __m256i a0 = _mm256_and_si256(a, low), a1 = _mm256_srli_epi32(a, 16);
  __m256i b0 = _mm256_and_si256(b, low), b1 = _mm256_srli_epi32(b, 16);
  if (swapColumns) std::swap(a0, a1), std::swap(b0, b1);
  const __m256i sat = _mm256_set1_epi32(kSaturatedSample);
  Lanes l;
  l.saturated = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi32(a0, sat), _mm256_cmpeq_epi32(a1, sat)),
                                _mm256_or_si256(_mm256_cmpeq_epi32(b0, sat), _mm256_cmpeq_epi32(b1, sat)));
  l.s00 = _mm256_cvtepi32_ps(a0);
  l.s01 = _mm256_cvtepi32_ps(a1);
  l.s10 = _mm256_cvtepi32_ps(b0);
  l.s11 = _mm256_cvtepi32_ps(b1);
  return l;
}

inline __m256 Select(__m256 mask, __m256 ifTrue, __m256 ifFalse) { return _mm256_blendv_ps(ifFalse, ifTrue, mask); }

// FastAtan2, lane by lane.
inline __m256 Atan2(__m256 y, __m256 x) {
  const __m256 signMask = _mm256_set1_ps(-0.0f);
  const __m256 zero = _mm256_setzero_ps();
  const __m256 ax = _mm256_andnot_ps(signMask, x);
  const __m256 ay = _mm256_andnot_ps(signMask, y);
  const __m256 mx = _mm256_max_ps(ax, ay);
  const __m256 mn = _mm256_min_ps(ax, ay);
  const __m256 a = Select(_mm256_cmp_ps(mx, zero, _CMP_GT_OQ), _mm256_div_ps(mn, mx), zero);
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 upper = _mm256_cmp_ps(a, _mm256_set1_ps(0.41421356f), _CMP_GT_OQ);
  const __m256 t = Select(upper, _mm256_div_ps(_mm256_sub_ps(a, one), _mm256_add_ps(a, one)), a);
  const __m256 base = _mm256_and_ps(upper, _mm256_set1_ps(0.78539816f));
  const __m256 z = _mm256_mul_ps(t, t);
  __m256 poly = _mm256_sub_ps(_mm256_mul_ps(_mm256_set1_ps(8.05374449538e-2f), z), _mm256_set1_ps(1.38776856032e-1f));
  poly = _mm256_add_ps(_mm256_mul_ps(poly, z), _mm256_set1_ps(1.99777106478e-1f));
  poly = _mm256_sub_ps(_mm256_mul_ps(poly, z), _mm256_set1_ps(3.33329491539e-1f));
  poly = _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(poly, z), t), t);
  __m256 r = _mm256_add_ps(base, poly);
  r = Select(_mm256_cmp_ps(ay, ax, _CMP_GT_OQ), _mm256_sub_ps(_mm256_set1_ps(1.57079633f), r), r);
  r = Select(_mm256_cmp_ps(x, zero, _CMP_LT_OQ), _mm256_sub_ps(_mm256_set1_ps(3.14159265f), r), r);
  return Select(_mm256_cmp_ps(y, zero, _CMP_LT_OQ), _mm256_sub_ps(zero, r), r);
}

inline __m256 Wrap(__m256 d, __m256 range) {
  const __m256 zero = _mm256_setzero_ps();
  d = Select(_mm256_cmp_ps(d, zero, _CMP_LT_OQ), _mm256_add_ps(d, range), d);
  return Select(_mm256_cmp_ps(d, range, _CMP_GT_OQ), _mm256_sub_ps(d, range), d);
}

inline __m256 TruncToInt(__m256 v) { return _mm256_cvtepi32_ps(_mm256_cvttps_epi32(v)); }

// Table indices of pixels j .. j + 7.
inline __m256i TableIndices(const RowView& r, int32_t j, int32_t w) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i col = _mm256_add_epi32(_mm256_set1_epi32(j), lane);
  if (r.columnsReversed) col = _mm256_sub_epi32(_mm256_set1_epi32(w - 1), col);
  return _mm256_mullo_epi32(col, _mm256_set1_epi32(r.tableBinning));
}

// Table values of pixels j .. j + 7: plain loads for the common unbinned
// layouts, a gather otherwise.
inline __m256 TableValues(const float* row, const RowView& r, __m256i p, int32_t j, int32_t w) {
  if (r.tableBinning == 1) {
    if (!r.columnsReversed) return _mm256_loadu_ps(row + j);
    const __m256 backwards = _mm256_loadu_ps(row + (w - 8 - j));
    return _mm256_permutevar8x32_ps(backwards, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
  }
  return _mm256_i32gather_ps(row, p, 4);
}

inline __m256 Amplitude(__m256 x, __m256 y) {
  return _mm256_sqrt_ps(_mm256_add_ps(_mm256_mul_ps(x, x), _mm256_mul_ps(y, y)));
}

}  // namespace avx2
}  // namespace qzapi
