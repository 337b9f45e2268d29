// Fast noise-aware kernels: the reference arithmetic with FastAtan2, a row at
// a time, vectorised with AVX2 where the processor has it.
#include <algorithm>

#include "depth_kernel_rows.h"
#include "noise_kernel.h"
#include "noise_kernel_pixel.h"
#include "noise_kernel_rows.h"

namespace qzapi {
namespace {

bool FastPathApplies(const DepthFrame& f) {
  return f.orientation >= 0 && f.orientation <= 3 && (f.tableBinning == 1 || f.tableBinning == 2);
}

void Store(const NoisyDepth& out, std::size_t at, const NoisyPixel& p) {
  out.depth[at] = p.depth;
  out.variance[at] = p.variance;
  out.alternate[at] = p.alternate;
}

}  // namespace

void DualNoiseRowScalar(const DepthFrame& f, const NoiseParams& q, const RowView& r, int32_t i, const NoisyDepth& out,
                        int32_t j0) {
  const int32_t w = f.width;
  const int cA = r.columnsReversed ? 1 : 0, cB = 1 - cA;
  const std::size_t row = static_cast<std::size_t>(i) * w;
  for (int32_t j = j0; j < w; ++j) {
    const int32_t ca = 2 * j + cA, cb = 2 * j + cB;
    auto samples = [&](int s) {
      return PixelSamples{r.rowA[s][ca], r.rowA[s][cb], r.rowB[s][ca], r.rowB[s][cb]};
    };
    const std::size_t p = static_cast<std::size_t>(r.tableBinning) * (r.columnsReversed ? w - 1 - j : j);
    // Sub-frames 2 and 3 carry the first channel, 0 and 1 the second.
    Store(out, row + j,
          DualNoisePixel<FastAtan2>(samples(2), samples(3), samples(0), samples(1), r.fitting80[p], r.fitting100[p],
                                    r.radialToAxial[p], f, q));
  }
}

void SingleNoiseRowScalar(const DepthFrame& f, const RowView& r, int32_t i, const NoisyDepth& out, int32_t j0) {
  const int32_t w = f.width;
  const int cA = r.columnsReversed ? 1 : 0, cB = 1 - cA;
  const std::size_t row = static_cast<std::size_t>(i) * w;
  for (int32_t j = j0; j < w; ++j) {
    const PixelSamples s{r.rowA[0][2 * j + cA], r.rowA[0][2 * j + cB], r.rowB[0][2 * j + cA], r.rowB[0][2 * j + cB]};
    const std::size_t p = static_cast<std::size_t>(r.tableBinning) * (r.columnsReversed ? w - 1 - j : j);
    Store(out, row + j, SingleNoisePixel<FastAtan2>(s, r.fitting80[p], r.radialToAxial[p], f));
  }
}

void DualFrequencyNoiseFast(const DepthFrame& f, const NoiseParams& q, const NoisyDepth& out, int32_t rowBegin,
                            int32_t rowEnd) {
  if (!FastPathApplies(f)) return DualFrequencyNoiseReference(f, q, out, rowBegin, rowEnd);
  ClearNoisyTopRows(f, out, rowBegin, rowEnd);
  rowBegin = std::max(rowBegin, 2);
  if (f.allowSimd && Avx2Available()) return DualFrequencyNoiseAvx2(f, q, out, rowBegin, rowEnd);
  for (int32_t i = rowBegin; i < rowEnd; ++i) DualNoiseRowScalar(f, q, MakeRow(f, i, 4), i, out, 0);
}

void SingleFrequencyNoiseFast(const DepthFrame& f, const NoisyDepth& out, int32_t rowBegin, int32_t rowEnd) {
  if (!FastPathApplies(f)) return SingleFrequencyNoiseReference(f, out, rowBegin, rowEnd);
  ClearNoisyTopRows(f, out, rowBegin, rowEnd);
  rowBegin = std::max(rowBegin, 2);
  if (f.allowSimd && Avx2Available()) return SingleFrequencyNoiseAvx2(f, out, rowBegin, rowEnd);
  for (int32_t i = rowBegin; i < rowEnd; ++i) SingleNoiseRowScalar(f, MakeRow(f, i, 1), i, out, 0);
}

}  // namespace qzapi
