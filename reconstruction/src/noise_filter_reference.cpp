// The noise-aware filter, one pixel at a time: the yardstick of the fast one.
#include "noise_filter.h"
#include "noise_filter_pixel.h"

namespace qzapi {

void NoiseFilterReference(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                          uint16_t* out) {
  const FilterConstants k;
  const FloatView raw{in.depth, in.variance, width, height};
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const std::size_t at = raw.At(r, c);
      ConfirmPixel(raw, in.alternate, r, c, k, scratch.confirmed[at], scratch.start[at]);
    }
  }
  const FloatView confirmed{scratch.confirmed, in.variance, width, height};
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) out[confirmed.At(r, c)] = SmoothPixel(confirmed, scratch.start, r, c, k);
  }
}

}  // namespace qzapi
