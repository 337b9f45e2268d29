// Fast depth kernels: the reference arithmetic with a polynomial atan2,
// vectorised with AVX2 where the processor has it.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <tessivue/parallel_for.h>

#include "depth_kernel.h"
#include "depth_kernel_rows.h"

namespace qzapi {
namespace {

bool FastPathApplies(const DepthFrame& f) {
  return f.orientation >= 0 && f.orientation <= 3 && (f.tableBinning == 1 || f.tableBinning == 2);
}

void ClearTopRows(const DepthFrame& f) {
  std::memset(f.out, 0, sizeof(uint16_t) * static_cast<std::size_t>(f.width) * std::min(f.height, 2));
}

inline float ChannelDistance(const ChannelParams& c, float phi) {
  return WigglingCorrected(WrapOnce(phi * c.millimetresPerRadian + c.offset, c.range), c);
}

}  // namespace

bool Avx2Available() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported;
#else
  return false;
#endif
}

RowView MakeRow(const DepthFrame& f, int32_t i, int32_t subFrames) {
  RowView r;
  const std::size_t stride = static_cast<std::size_t>(2) * f.width;
  const std::size_t sub = stride * 2 * f.height;
  const bool rowsReversed = f.orientation == 1 || f.orientation == 3;
  const std::size_t top = static_cast<std::size_t>(2 * i) * stride;
  for (int32_t s = 0; s < subFrames; ++s) {
    const uint16_t* base = f.raw + s * sub + top;
    r.rowA[s] = rowsReversed ? base + stride : base;
    r.rowB[s] = rowsReversed ? base : base + stride;
  }
  const int32_t ti = rowsReversed ? f.height - 1 - i : i;
  const std::size_t tableRow = static_cast<std::size_t>(ti) * f.width * f.tableBinning * f.tableBinning;
  r.fitting80 = f.fitting80 + tableRow;
  r.fitting100 = f.fitting100 ? f.fitting100 + tableRow : nullptr;
  r.radialToAxial = f.radialToAxial + tableRow;
  r.out = f.out + static_cast<std::size_t>(i) * f.width;
  r.columnsReversed = f.orientation == 2 || f.orientation == 3;
  r.tableBinning = f.tableBinning;
  return r;
}

void SingleRowScalar(const DepthFrame& f, const RowView& r, int32_t j0) {
  const int32_t w = f.width;
  const int cA = r.columnsReversed ? 1 : 0, cB = 1 - cA;
  for (int32_t j = j0; j < w; ++j) {
    const int32_t s00 = r.rowA[0][2 * j + cA], s01 = r.rowA[0][2 * j + cB];
    const int32_t s10 = r.rowB[0][2 * j + cA], s11 = r.rowB[0][2 * j + cB];
    if (s00 == kSaturatedSample || s01 == kSaturatedSample || s10 == kSaturatedSample || s11 == kSaturatedSample) {
      r.out[j] = kDepthSaturated;
      continue;
    }
    const float y = static_cast<float>(s10 - s01);
    const float x = static_cast<float>(s00 - s11);
    if (f.amplitudeThreshold > kHalfPi * std::sqrt(x * x + y * y)) {
      r.out[j] = kDepthInvalid;
      continue;
    }
    const std::size_t p = static_cast<std::size_t>(r.tableBinning) * (r.columnsReversed ? w - 1 - j : j);
    const float d = ChannelDistance(f.first, FastAtan2(y, x));
    r.out[j] = ToDepth(WrapOnce(d + r.fitting80[p], f.first.range) * r.radialToAxial[p]);
  }
}

void DualRowScalar(const DepthFrame& f, const RowView& r, int32_t j0) {
  const int32_t w = f.width;
  const int cA = r.columnsReversed ? 1 : 0, cB = 1 - cA;
  const ChannelParams& c1 = f.first;
  const ChannelParams& c2 = f.second;
  for (int32_t j = j0; j < w; ++j) {
    const int32_t ca = 2 * j + cA, cb = 2 * j + cB;
    const int32_t c00 = r.rowA[0][ca], c01 = r.rowA[0][cb], c10 = r.rowB[0][ca], c11 = r.rowB[0][cb];
    const int32_t e00 = r.rowA[1][ca], e01 = r.rowA[1][cb], e10 = r.rowB[1][ca], e11 = r.rowB[1][cb];
    const int32_t a00 = r.rowA[2][ca], a01 = r.rowA[2][cb], a10 = r.rowB[2][ca], a11 = r.rowB[2][cb];
    const int32_t b00 = r.rowA[3][ca], b01 = r.rowA[3][cb], b10 = r.rowB[3][ca], b11 = r.rowB[3][cb];
    r.out[j] = kDepthInvalid;
    if (a00 == kSaturatedSample || a01 == kSaturatedSample || a10 == kSaturatedSample || a11 == kSaturatedSample ||
        c00 == kSaturatedSample || c01 == kSaturatedSample || c10 == kSaturatedSample || c11 == kSaturatedSample) {
      r.out[j] = kDepthSaturated;
      continue;
    }
    const std::size_t p = static_cast<std::size_t>(r.tableBinning) * (r.columnsReversed ? w - 1 - j : j);
    const float bx = static_cast<float>(b10 - b01), by = static_cast<float>(b00 - b11);
    const float cx = static_cast<float>(c10 - c01), cy = static_cast<float>(c00 - c11);
    const float amplitude1 = std::sqrt(bx * bx + by * by);
    const float amplitude2 = std::sqrt(cx * cx + cy * cy);
    if (f.amplitudeThreshold > kHalfPi * amplitude2 || kHalfPi * amplitude1 < f.amplitudeThreshold) continue;
    const float phi1 = FastAtan2(static_cast<float>(a10 + b01 - b10 - a01) / 2.0f,
                                 static_cast<float>(a00 + b11 - b00 - a11) / 2.0f);
    const float phi2 = FastAtan2(static_cast<float>(c10 + e01 - e10 - c01) / 2.0f,
                                 static_cast<float>(c00 + e11 - e00 - c11) / 2.0f);
    float d1 = WrapOnce(ChannelDistance(c1, phi1) + std::trunc(r.fitting80[p]), c1.range);
    float d2 = WrapOnce(ChannelDistance(c2, phi2) + std::trunc(r.fitting100[p]), c2.range);
    if (d1 == 0.0f || d2 == 0.0f) continue;
    const float combined = WrapOnce(d1 * f.u - d2 * f.v, f.combinedRange);
    d1 += c1.range * std::trunc((combined - d1) / c1.range + 0.5f);
    d2 += c2.range * std::trunc((combined - d2) / c2.range + 0.5f);
    const float z = (d1 + d2) * 0.5f * r.radialToAxial[p];
    float d1Check = z < 0.0f ? d1 + f.combinedRange : d1;
    d1Check = z > f.combinedRange ? d1Check - f.combinedRange : d1Check;
    if (std::fabs(d1Check - d2) > 200.0f) continue;
    r.out[j] = ToDepth(z + f.depthOffset);
  }
}

// Every output row depends only on its own raw rows and table row: the rows
// below the two header rows are computed in two bands on two threads.
template <class Rows>
void InTwoBands(const DepthFrame& f, const Rows& rows) {
  const int32_t first = 2, count = std::max(0, f.height - first);
  tessivue::parallel_for(
      cv::Range(0, 2),
      [&](const cv::Range& bands) {
        for (int b = bands.start; b < bands.end; ++b) rows(first + count * b / 2, first + count * (b + 1) / 2);
      },
      2);
}

void SingleFrequencyFast(const DepthFrame& f) {
  if (!FastPathApplies(f)) return SingleFrequencyReference(f);
  ClearTopRows(f);
  const bool simd = f.allowSimd && Avx2Available();
  InTwoBands(f, [&](int32_t row0, int32_t row1) {
    if (simd) return SingleFrequencyAvx2(f, row0, row1);
    for (int32_t i = row0; i < row1; ++i) SingleRowScalar(f, MakeRow(f, i, 1), 0);
  });
}

void DualFrequencyFast(const DepthFrame& f) {
  if (!FastPathApplies(f)) return DualFrequencyReference(f);
  ClearTopRows(f);
  const bool simd = f.allowSimd && Avx2Available();
  InTwoBands(f, [&](int32_t row0, int32_t row1) {
    if (simd) return DualFrequencyAvx2(f, row0, row1);
    for (int32_t i = row0; i < row1; ++i) DualRowScalar(f, MakeRow(f, i, 4), 0);
  });
}

}  // namespace qzapi
