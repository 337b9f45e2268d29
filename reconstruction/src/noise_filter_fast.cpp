// The noise-aware filter in bands of rows: AVX2 where the processor has it,
// else the per-pixel arithmetic of the reference.
#include "depth_kernel_rows.h"
#include "noise_filter.h"
#include "noise_filter_pixel.h"

namespace qzapi {

// In noise_filter_avx2.cpp.
void NoiseConfirmRowsAvx2(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                          int32_t rowBegin, int32_t rowEnd);
void NoiseSmoothRowsAvx2(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                         uint16_t* out, int32_t rowBegin, int32_t rowEnd);

void NoiseConfirmRows(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                      int32_t rowBegin, int32_t rowEnd, bool allowSimd) {
  if (allowSimd && Avx2Available()) return NoiseConfirmRowsAvx2(in, width, height, scratch, rowBegin, rowEnd);
  const FilterConstants k;
  const FloatView raw{in.depth, in.variance, width, height};
  for (int32_t r = rowBegin; r < rowEnd; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const std::size_t at = raw.At(r, c);
      ConfirmPixel(raw, in.alternate, r, c, k, scratch.confirmed[at], scratch.start[at]);
    }
  }
}

void NoiseSmoothRows(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                     uint16_t* out, int32_t rowBegin, int32_t rowEnd, bool allowSimd) {
  if (allowSimd && Avx2Available()) return NoiseSmoothRowsAvx2(in, width, height, scratch, out, rowBegin, rowEnd);
  const FilterConstants k;
  const FloatView confirmed{scratch.confirmed, in.variance, width, height};
  for (int32_t r = rowBegin; r < rowEnd; ++r) {
    for (int32_t c = 0; c < width; ++c) out[confirmed.At(r, c)] = SmoothPixel(confirmed, scratch.start, r, c, k);
  }
}

}  // namespace qzapi
