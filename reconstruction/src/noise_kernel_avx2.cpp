// AVX2 noise-aware kernels: eight pixels per step, the arithmetic of
// noise_kernel_pixel.h with FastAtan2 lane by lane and in the same order
// (selects instead of branches), so they match the fast scalar kernels.
#include "noise_kernel_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#pragma GCC target("avx2")

#include "depth_kernel_avx2.h"
#include "noise_model.h"

namespace qzapi {
namespace {

using namespace avx2;

struct ChannelLanes {
  __m256 distance, noise, signal2;  // as ChannelReading
  __m256 weak;
};

// CyclicError lane by lane.
inline __m256 CyclicErrorLanes(const ChannelParams& c, __m256 scaled) {
  const __m256 inside =
      _mm256_and_ps(_mm256_and_ps(_mm256_cmp_ps(scaled, _mm256_setzero_ps(), _CMP_GE_OQ),
                                  _mm256_cmp_ps(_mm256_mul_ps(scaled, _mm256_set1_ps(c.tableStep)),
                                                _mm256_set1_ps(kWigglingLimit), _CMP_LT_OQ)),
                    _mm256_cmp_ps(scaled, _mm256_set1_ps(static_cast<float>(c.cyclicCount - 1)), _CMP_LT_OQ));
  const __m256i idx = _mm256_cvttps_epi32(_mm256_and_ps(inside, scaled));  // 0 outside: a safe position
  const __m256 f = _mm256_sub_ps(scaled, _mm256_cvtepi32_ps(idx));
  // Each position is a (value, step) pair: fetch pairs as 64-bit elements,
  // four per gather, then split values from steps.
  const long long* pairs = reinterpret_cast<const long long*>(c.cyclic);
  const __m256 low = _mm256_castsi256_ps(_mm256_i32gather_epi64(pairs, _mm256_castsi256_si128(idx), 8));
  const __m256 high = _mm256_castsi256_ps(_mm256_i32gather_epi64(pairs, _mm256_extracti128_si256(idx, 1), 8));
  // low = v0 s0 v1 s1 | v2 s2 v3 s3, high = v4 s4 v5 s5 | v6 s6 v7 s7.
  const __m256 value = _mm256_castpd_ps(
      _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(low, high, 0x88)), 0xD8));
  const __m256 step = _mm256_castpd_ps(
      _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(low, high, 0xDD)), 0xD8));
  return _mm256_and_ps(inside, _mm256_add_ps(value, _mm256_mul_ps(f, step)));
}

// SensorNoiseModel::SampleVariance lane by lane.
inline __m256 SampleVariance(__m256 level) {
  return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(level, _mm256_set1_ps(1.0f / SensorNoiseModel::kElectronsPerLsb)),
                                     _mm256_set1_ps(SensorNoiseModel::kReadNoiseLsb * SensorNoiseModel::kReadNoiseLsb)),
                       _mm256_set1_ps(SensorNoiseModel::kQuantisationVariance));
}

// ReadChannel lane by lane.
inline ChannelLanes Channel(__m256 x, __m256 y, __m256 componentVariance, const ChannelParams& c, __m256 fitting) {
  ChannelLanes l;
  const __m256 m2 = _mm256_add_ps(_mm256_mul_ps(x, x), _mm256_mul_ps(y, y));
  const __m256 noiseFloor = _mm256_mul_ps(_mm256_set1_ps(2.0f), componentVariance);
  l.weak = _mm256_cmp_ps(m2, _mm256_mul_ps(_mm256_set1_ps(NoiseAwareLimits::kNoiseFloors), noiseFloor), _CMP_LT_OQ);
  l.signal2 = _mm256_max_ps(_mm256_sub_ps(m2, noiseFloor), componentVariance);
  const __m256 range = _mm256_set1_ps(c.range);
  const __m256 d = Wrap(_mm256_add_ps(_mm256_mul_ps(Atan2(y, x), _mm256_set1_ps(c.millimetresPerRadian)),
                                      _mm256_set1_ps(c.offset)),
                        range);
  const __m256 scaled = _mm256_mul_ps(d, _mm256_set1_ps(c.gain));
  l.distance = Wrap(_mm256_add_ps(_mm256_sub_ps(scaled, CyclicErrorLanes(c, scaled)), fitting), range);
  const float k = c.millimetresPerRadian * c.gain;
  l.noise = _mm256_mul_ps(componentVariance, _mm256_set1_ps(k * k));
  return l;
}

// DualChannel lane by lane: s, t the channel's two sub-frames.
inline ChannelLanes DualChannelLanes(const Lanes& s, const Lanes& t, const ChannelParams& c, __m256 fitting) {
  const __m256 half = _mm256_set1_ps(0.5f);
  // Sums of whole samples are exact in float, in any order.
  const __m256 xPlus = _mm256_add_ps(s.s00, t.s11), xMinus = _mm256_add_ps(t.s00, s.s11);
  const __m256 yPlus = _mm256_add_ps(s.s10, t.s01), yMinus = _mm256_add_ps(t.s10, s.s01);
  const __m256 x = _mm256_mul_ps(_mm256_sub_ps(xPlus, xMinus), half);
  const __m256 y = _mm256_mul_ps(_mm256_sub_ps(yPlus, yMinus), half);
  const __m256 sum = _mm256_add_ps(_mm256_add_ps(xPlus, xMinus), _mm256_add_ps(yPlus, yMinus));
  const __m256 level = _mm256_mul_ps(sum, _mm256_set1_ps(0.125f));
  return Channel(x, y, SampleVariance(level), c, fitting);
}

inline __m256 WrapCombined(__m256 x, __m256 range) {
  x = Select(_mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_LT_OQ), _mm256_add_ps(x, range), x);
  return Select(_mm256_cmp_ps(x, range, _CMP_GE_OQ), _mm256_sub_ps(x, range), x);
}

inline void Store(const NoisyDepth& out, std::size_t at, __m256 depth, __m256 variance, __m256 alternate) {
  _mm256_storeu_ps(out.depth + at, depth);
  _mm256_storeu_ps(out.variance + at, variance);
  _mm256_storeu_ps(out.alternate + at, alternate);
}

}  // namespace

void DualFrequencyNoiseAvx2(const DepthFrame& f, const NoiseParams& q, const NoisyDepth& out, int32_t rowBegin,
                            int32_t rowEnd) {
  const int32_t w = f.width;
  const ChannelParams& c1 = f.first;
  const ChannelParams& c2 = f.second;
  const __m256 zero = _mm256_setzero_ps(), half = _mm256_set1_ps(0.5f);
  const __m256 r1 = _mm256_set1_ps(c1.range), r2 = _mm256_set1_ps(c2.range);
  const __m256 laps1 = _mm256_set1_ps(q.lapsPerMm1), laps2 = _mm256_set1_ps(q.lapsPerMm2);
  const __m256 rc = _mm256_set1_ps(f.combinedRange), halfRc = _mm256_set1_ps(0.5f * f.combinedRange);
  const __m256 u = _mm256_set1_ps(f.u), v = _mm256_set1_ps(f.v);
  const __m256 sigmas2 = _mm256_set1_ps(q.unwrapSigmas2), residual2 = _mm256_set1_ps(q.residual2);
  const __m256 spacing = _mm256_set1_ps(q.lapSpacing);
  const __m256 offset = _mm256_set1_ps(f.depthOffset), minimum = _mm256_set1_ps(kNoisyMinimumDepth);
  for (int32_t i = rowBegin; i < rowEnd; ++i) {
    const RowView r = MakeRow(f, i, 4);
    const std::size_t row = static_cast<std::size_t>(i) * w;
    int32_t j = 0;
    for (; j + 8 <= w; j += 8) {
      const Lanes c = LoadPixels(r.rowA[0], r.rowB[0], j, r.columnsReversed);
      const Lanes e = LoadPixels(r.rowA[1], r.rowB[1], j, r.columnsReversed);
      const Lanes a = LoadPixels(r.rowA[2], r.rowB[2], j, r.columnsReversed);
      const Lanes b = LoadPixels(r.rowA[3], r.rowB[3], j, r.columnsReversed);
      const __m256 saturated = _mm256_castsi256_ps(
          _mm256_or_si256(_mm256_or_si256(a.saturated, b.saturated), _mm256_or_si256(c.saturated, e.saturated)));
      const __m256i p = TableIndices(r, j, w);
      const ChannelLanes ch1 = DualChannelLanes(a, b, c1, TableValues(r.fitting80, r, p, j, w));
      const ChannelLanes ch2 = DualChannelLanes(c, e, c2, TableValues(r.fitting100, r, p, j, w));
      const __m256 r2a = TableValues(r.radialToAxial, r, p, j, w);

      const __m256 combined = Wrap(_mm256_sub_ps(_mm256_mul_ps(ch1.distance, u), _mm256_mul_ps(ch2.distance, v)), rc);
      __m256 x1 = _mm256_add_ps(
          ch1.distance,
          _mm256_mul_ps(r1, _mm256_floor_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(combined, ch1.distance), laps1), half))));
      const __m256 x2 = _mm256_add_ps(
          ch2.distance,
          _mm256_mul_ps(r2, _mm256_floor_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(combined, ch2.distance), laps2), half))));
      __m256 gap = _mm256_sub_ps(x1, x2);
      const __m256 above = _mm256_cmp_ps(gap, halfRc, _CMP_GT_OQ);
      x1 = Select(above, _mm256_sub_ps(x1, rc), x1);
      gap = Select(above, _mm256_sub_ps(gap, rc), gap);
      const __m256 below = _mm256_cmp_ps(gap, _mm256_sub_ps(zero, halfRc), _CMP_LT_OQ);
      x1 = Select(below, _mm256_add_ps(x1, rc), x1);
      gap = Select(below, _mm256_add_ps(gap, rc), gap);
      const __m256 pa = _mm256_mul_ps(ch1.noise, ch2.signal2), pb = _mm256_mul_ps(ch2.noise, ch1.signal2);
      const __m256 pp = _mm256_mul_ps(ch1.signal2, ch2.signal2);
      const __m256 sum = _mm256_add_ps(pa, pb);
      const __m256 inverse = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_mul_ps(pp, sum));
      const __m256 gapVariance = _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(sum, sum), inverse), residual2);
      const __m256 allowed = _mm256_mul_ps(sigmas2, gapVariance);
      const __m256 disagree = _mm256_cmp_ps(_mm256_mul_ps(gap, gap), allowed, _CMP_GT_OQ);

      const __m256 w1 = _mm256_mul_ps(_mm256_mul_ps(pb, pp), inverse);
      const __m256 w2 = _mm256_mul_ps(_mm256_mul_ps(pa, pp), inverse);
      const __m256 variance = _mm256_mul_ps(_mm256_mul_ps(pa, pb), inverse);
      const __m256 x = _mm256_add_ps(_mm256_mul_ps(w1, x1), _mm256_mul_ps(w2, x2));
      const __m256 z = _mm256_add_ps(_mm256_mul_ps(WrapCombined(x, rc), r2a), offset);
      const __m256 valid = _mm256_andnot_ps(
          _mm256_or_ps(_mm256_or_ps(saturated, _mm256_or_ps(ch1.weak, ch2.weak)), disagree),
          _mm256_cmp_ps(z, minimum, _CMP_GE_OQ));

      const __m256 down = _mm256_cmp_ps(_mm256_mul_ps(gap, spacing), zero, _CMP_GT_OQ);
      const __m256 altGap = Select(down, _mm256_sub_ps(gap, spacing), _mm256_add_ps(gap, spacing));
      const __m256 altAgrees = _mm256_and_ps(valid, _mm256_cmp_ps(_mm256_mul_ps(altGap, altGap), allowed, _CMP_LE_OQ));
      __m256 alt = zero;
      if (_mm256_movemask_ps(altAgrees) != 0) {  // only the noisiest pixels have a runner-up
        const __m256 shift = _mm256_add_ps(_mm256_mul_ps(w1, r1), _mm256_mul_ps(w2, r2));
        const __m256 xa = Select(down, _mm256_sub_ps(x, shift), _mm256_add_ps(x, shift));
        const __m256 za = _mm256_add_ps(_mm256_mul_ps(WrapCombined(xa, rc), r2a), offset);
        alt = _mm256_and_ps(altAgrees, _mm256_and_ps(_mm256_cmp_ps(za, minimum, _CMP_GE_OQ), za));
      }

      const __m256 depth = Select(saturated, _mm256_set1_ps(kNoisySaturated), _mm256_and_ps(valid, z));
      const __m256 depthVariance = _mm256_and_ps(valid, _mm256_mul_ps(_mm256_mul_ps(variance, r2a), r2a));
      Store(out, row + j, depth, depthVariance, alt);
    }
    DualNoiseRowScalar(f, q, r, i, out, j);
  }
}

void SingleFrequencyNoiseAvx2(const DepthFrame& f, const NoisyDepth& out, int32_t rowBegin, int32_t rowEnd) {
  const int32_t w = f.width;
  const __m256 two = _mm256_set1_ps(2.0f), minimum = _mm256_set1_ps(kNoisyMinimumDepth);
  for (int32_t i = rowBegin; i < rowEnd; ++i) {
    const RowView r = MakeRow(f, i, 1);
    const std::size_t row = static_cast<std::size_t>(i) * w;
    int32_t j = 0;
    for (; j + 8 <= w; j += 8) {
      const Lanes s = LoadPixels(r.rowA[0], r.rowB[0], j, r.columnsReversed);
      const __m256 saturated = _mm256_castsi256_ps(s.saturated);
      const __m256 y = _mm256_sub_ps(s.s10, s.s01);
      const __m256 x = _mm256_sub_ps(s.s00, s.s11);
      const __m256 sum = _mm256_add_ps(_mm256_add_ps(s.s00, s.s01), _mm256_add_ps(s.s10, s.s11));
      const __m256 v = _mm256_mul_ps(two, SampleVariance(_mm256_mul_ps(sum, _mm256_set1_ps(0.25f))));
      const __m256i p = TableIndices(r, j, w);
      const ChannelLanes ch = Channel(x, y, v, f.first, TableValues(r.fitting80, r, p, j, w));
      const __m256 r2a = TableValues(r.radialToAxial, r, p, j, w);
      const __m256 z = _mm256_mul_ps(ch.distance, r2a);
      const __m256 valid = _mm256_andnot_ps(_mm256_or_ps(saturated, ch.weak), _mm256_cmp_ps(z, minimum, _CMP_GE_OQ));
      const __m256 depth = Select(saturated, _mm256_set1_ps(kNoisySaturated), _mm256_and_ps(valid, z));
      const __m256 channelVariance = _mm256_div_ps(ch.noise, ch.signal2);
      const __m256 depthVariance = _mm256_and_ps(valid, _mm256_mul_ps(_mm256_mul_ps(channelVariance, r2a), r2a));
      Store(out, row + j, depth, depthVariance, _mm256_setzero_ps());
    }
    SingleNoiseRowScalar(f, r, i, out, j);
  }
}

}  // namespace qzapi

#else

namespace qzapi {
void DualFrequencyNoiseAvx2(const DepthFrame& f, const NoiseParams& q, const NoisyDepth& out, int32_t rowBegin,
                            int32_t rowEnd) {
  for (int32_t i = rowBegin; i < rowEnd; ++i) DualNoiseRowScalar(f, q, MakeRow(f, i, 4), i, out, 0);
}
void SingleFrequencyNoiseAvx2(const DepthFrame& f, const NoisyDepth& out, int32_t rowBegin, int32_t rowEnd) {
  for (int32_t i = rowBegin; i < rowEnd; ++i) SingleNoiseRowScalar(f, MakeRow(f, i, 1), i, out, 0);
}
}  // namespace qzapi

#endif
