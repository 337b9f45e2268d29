// AVX2 depth kernels: eight pixels per step, the same arithmetic as the
// scalar fast kernels lane by lane (selects instead of branches).
#include <cstring>

#include "depth_kernel_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#pragma GCC target("avx2")

#include "depth_kernel_avx2.h"

namespace qzapi {
namespace {

using namespace avx2;

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

}  // namespace

void SingleFrequencyAvx2(const DepthFrame& f, int32_t row0, int32_t row1) {
  const int32_t w = f.width;
  const __m256 halfPi = _mm256_set1_ps(kHalfPi);
  const __m256 threshold = _mm256_set1_ps(f.amplitudeThreshold);
  const __m256 range = _mm256_set1_ps(f.first.range);
  for (int32_t i = row0; i < row1; ++i) {
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

void DualFrequencyAvx2(const DepthFrame& f, int32_t row0, int32_t row1) {
  const int32_t w = f.width;
  const __m256 halfPi = _mm256_set1_ps(kHalfPi);
  const __m256 threshold = _mm256_set1_ps(f.amplitudeThreshold);
  const __m256 r1 = _mm256_set1_ps(f.first.range), r2 = _mm256_set1_ps(f.second.range);
  const __m256 rc = _mm256_set1_ps(f.combinedRange);
  const __m256 u = _mm256_set1_ps(f.u), v = _mm256_set1_ps(f.v);
  const __m256 half = _mm256_set1_ps(0.5f), zero = _mm256_setzero_ps();
  const __m256 signMask = _mm256_set1_ps(-0.0f);
  for (int32_t i = row0; i < row1; ++i) {
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
void SingleFrequencyAvx2(const DepthFrame& f, int32_t row0, int32_t row1) {
  for (int32_t i = row0; i < row1; ++i) SingleRowScalar(f, MakeRow(f, i, 1), 0);
}
void DualFrequencyAvx2(const DepthFrame& f, int32_t row0, int32_t row1) {
  for (int32_t i = row0; i < row1; ++i) DualRowScalar(f, MakeRow(f, i, 4), 0);
}
}  // namespace qzapi

#endif
