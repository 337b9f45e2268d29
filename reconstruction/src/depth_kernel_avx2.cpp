// AVX2 depth kernels: eight pixels per step, the same arithmetic as the
// scalar fast kernels lane by lane (selects instead of branches).
#include <cstring>

#include "depth_kernel_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#pragma GCC target("avx2")

namespace qzapi {
namespace {

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

// Phase to distance, wrapped, scaled by the gain, minus the whole-mm
// wiggling error (0 outside the table).
inline __m256 ChannelDistance(const ChannelParams& c, __m256 phi) {
  const __m256 d = Wrap(_mm256_add_ps(_mm256_mul_ps(phi, _mm256_set1_ps(c.millimetresPerRadian)),
                                      _mm256_set1_ps(c.offset)),
                        _mm256_set1_ps(c.range));
  const __m256 scaled = _mm256_mul_ps(d, _mm256_set1_ps(c.gain));
  const __m256 t = _mm256_mul_ps(scaled, _mm256_set1_ps(c.tableStep));
  const __m256 zero = _mm256_setzero_ps();
  const __m256 inside = _mm256_and_ps(_mm256_cmp_ps(t, zero, _CMP_GE_OQ),
                                      _mm256_cmp_ps(t, _mm256_set1_ps(kWigglingLimit), _CMP_LT_OQ));
  const __m256 clamped = _mm256_and_ps(inside, t);  // 0 outside: a safe table position
  const __m256i idx = _mm256_cvttps_epi32(clamped);
  const __m256 fr = _mm256_sub_ps(t, _mm256_cvtepi32_ps(idx));
  const __m256 w0 = _mm256_i32gather_ps(c.wiggling, idx, 4);
  const __m256 w1 = _mm256_i32gather_ps(c.wiggling + 1, idx, 4);
  const __m256 e = _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(1.0f), fr), w0), _mm256_mul_ps(fr, w1));
  return _mm256_sub_ps(scaled, _mm256_and_ps(inside, TruncToInt(e)));
}

// Table indices of pixels j .. j + 7.
inline __m256i TableIndices(const RowView& r, int32_t j, int32_t w) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i col = _mm256_add_epi32(_mm256_set1_epi32(j), lane);
  if (r.columnsReversed) col = _mm256_sub_epi32(_mm256_set1_epi32(w - 1), col);
  return _mm256_mullo_epi32(col, _mm256_set1_epi32(r.tableBinning));
}

// Depth codes to 16 bits: clamp to 0..65535, truncate, pack.
inline void StoreDepth(uint16_t* out, __m256 z, __m256 invalid, __m256i saturated) {
  const __m256 zero = _mm256_setzero_ps();
  z = Select(_mm256_cmp_ps(z, zero, _CMP_GE_OQ), z, zero);  // also NaN
  z = _mm256_min_ps(z, _mm256_set1_ps(65535.0f));
  __m256i v = _mm256_cvttps_epi32(z);
  v = _mm256_andnot_si256(_mm256_castps_si256(invalid), v);
  v = _mm256_blendv_epi8(v, _mm256_set1_epi32(kDepthSaturated), saturated);
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(v, v), 0x08);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
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

}  // namespace

void SingleFrequencyAvx2(const DepthFrame& f) {
  const int32_t w = f.width;
  const __m256 halfPi = _mm256_set1_ps(kHalfPi);
  const __m256 threshold = _mm256_set1_ps(f.amplitudeThreshold);
  const __m256 range = _mm256_set1_ps(f.first.range);
  for (int32_t i = 2; i < f.height; ++i) {
    const RowView r = MakeRow(f, i, 1);
    int32_t j = 0;
    for (; j + 8 <= w; j += 8) {
      const Lanes s = LoadPixels(r.rowA[0], r.rowB[0], j, r.columnsReversed);
      const __m256 y = _mm256_sub_ps(s.s10, s.s01);
      const __m256 x = _mm256_sub_ps(s.s00, s.s11);
      const __m256 weak = _mm256_cmp_ps(threshold, _mm256_mul_ps(halfPi, Amplitude(x, y)), _CMP_GT_OQ);
      const __m256i p = TableIndices(r, j, w);
      const __m256 fit = TableValues(r.fitting80, r, p, j, w);
      const __m256 r2a = TableValues(r.radialToAxial, r, p, j, w);
      const __m256 d = Wrap(_mm256_add_ps(ChannelDistance(f.first, Atan2(y, x)), fit), range);
      StoreDepth(r.out + j, _mm256_mul_ps(d, r2a), weak, s.saturated);
    }
    SingleRowScalar(f, r, j);
  }
}

void DualFrequencyAvx2(const DepthFrame& f) {
  const int32_t w = f.width;
  const __m256 halfPi = _mm256_set1_ps(kHalfPi);
  const __m256 threshold = _mm256_set1_ps(f.amplitudeThreshold);
  const __m256 r1 = _mm256_set1_ps(f.first.range), r2 = _mm256_set1_ps(f.second.range);
  const __m256 rc = _mm256_set1_ps(f.combinedRange);
  const __m256 u = _mm256_set1_ps(f.u), v = _mm256_set1_ps(f.v);
  const __m256 half = _mm256_set1_ps(0.5f), zero = _mm256_setzero_ps();
  const __m256 signMask = _mm256_set1_ps(-0.0f);
  for (int32_t i = 2; i < f.height; ++i) {
    const RowView r = MakeRow(f, i, 4);
    int32_t j = 0;
    for (; j + 8 <= w; j += 8) {
      const Lanes c = LoadPixels(r.rowA[0], r.rowB[0], j, r.columnsReversed);
      const Lanes e = LoadPixels(r.rowA[1], r.rowB[1], j, r.columnsReversed);
      const Lanes a = LoadPixels(r.rowA[2], r.rowB[2], j, r.columnsReversed);
      const Lanes b = LoadPixels(r.rowA[3], r.rowB[3], j, r.columnsReversed);
      const __m256i saturated = _mm256_or_si256(a.saturated, c.saturated);
      const __m256 amplitude1 = Amplitude(_mm256_sub_ps(b.s10, b.s01), _mm256_sub_ps(b.s00, b.s11));
      const __m256 amplitude2 = Amplitude(_mm256_sub_ps(c.s10, c.s01), _mm256_sub_ps(c.s00, c.s11));
      const __m256 weak = _mm256_or_ps(_mm256_cmp_ps(threshold, _mm256_mul_ps(halfPi, amplitude2), _CMP_GT_OQ),
                                       _mm256_cmp_ps(_mm256_mul_ps(halfPi, amplitude1), threshold, _CMP_LT_OQ));
      // (a10 + b01 - b10 - a01) / 2 and (a00 + b11 - b00 - a11) / 2; the sums
      // of samples are exact in float.
      const __m256 y1 = _mm256_mul_ps(_mm256_sub_ps(_mm256_add_ps(a.s10, b.s01), _mm256_add_ps(b.s10, a.s01)), half);
      const __m256 x1 = _mm256_mul_ps(_mm256_sub_ps(_mm256_add_ps(a.s00, b.s11), _mm256_add_ps(b.s00, a.s11)), half);
      const __m256 y2 = _mm256_mul_ps(_mm256_sub_ps(_mm256_add_ps(c.s10, e.s01), _mm256_add_ps(e.s10, c.s01)), half);
      const __m256 x2 = _mm256_mul_ps(_mm256_sub_ps(_mm256_add_ps(c.s00, e.s11), _mm256_add_ps(e.s00, c.s11)), half);
      const __m256i p = TableIndices(r, j, w);
      const __m256 fit1 = TruncToInt(TableValues(r.fitting80, r, p, j, w));
      const __m256 fit2 = TruncToInt(TableValues(r.fitting100, r, p, j, w));
      const __m256 r2a = TableValues(r.radialToAxial, r, p, j, w);
      __m256 d1 = Wrap(_mm256_add_ps(ChannelDistance(f.first, Atan2(y1, x1)), fit1), r1);
      __m256 d2 = Wrap(_mm256_add_ps(ChannelDistance(f.second, Atan2(y2, x2)), fit2), r2);
      const __m256 zeroChannel = _mm256_or_ps(_mm256_cmp_ps(d1, zero, _CMP_EQ_OQ), _mm256_cmp_ps(d2, zero, _CMP_EQ_OQ));
      const __m256 combined = Wrap(_mm256_sub_ps(_mm256_mul_ps(d1, u), _mm256_mul_ps(d2, v)), rc);
      const __m256 k1 = _mm256_round_ps(_mm256_add_ps(_mm256_div_ps(_mm256_sub_ps(combined, d1), r1), half),
                                        _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
      const __m256 k2 = _mm256_round_ps(_mm256_add_ps(_mm256_div_ps(_mm256_sub_ps(combined, d2), r2), half),
                                        _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
      d1 = _mm256_add_ps(d1, _mm256_mul_ps(r1, k1));
      d2 = _mm256_add_ps(d2, _mm256_mul_ps(r2, k2));
      const __m256 z = _mm256_mul_ps(_mm256_mul_ps(_mm256_add_ps(d1, d2), half), r2a);
      __m256 d1Check = Select(_mm256_cmp_ps(z, zero, _CMP_LT_OQ), _mm256_add_ps(d1, rc), d1);
      d1Check = Select(_mm256_cmp_ps(z, rc, _CMP_GT_OQ), _mm256_sub_ps(d1Check, rc), d1Check);
      const __m256 gap = _mm256_andnot_ps(signMask, _mm256_sub_ps(d1Check, d2));
      const __m256 inconsistent = _mm256_cmp_ps(gap, _mm256_set1_ps(200.0f), _CMP_GT_OQ);
      const __m256 invalid = _mm256_or_ps(_mm256_or_ps(weak, zeroChannel), inconsistent);
      StoreDepth(r.out + j, _mm256_add_ps(z, _mm256_set1_ps(f.depthOffset)), invalid, saturated);
    }
    DualRowScalar(f, r, j);
  }
}

}  // namespace qzapi

#else

namespace qzapi {
void SingleFrequencyAvx2(const DepthFrame& f) { for (int32_t i = 2; i < f.height; ++i) SingleRowScalar(f, MakeRow(f, i, 1), 0); }
void DualFrequencyAvx2(const DepthFrame& f) { for (int32_t i = 2; i < f.height; ++i) DualRowScalar(f, MakeRow(f, i, 4), 0); }
}  // namespace qzapi

#endif
