// The noise-aware depth mode for one frame, raw samples to the 16-bit image:
// the kernels (noise_kernel.h), then the filter (noise_filter.h).
#pragma once

#include "noise_filter.h"
#include "noise_kernel.h"

namespace qzapi {

// Working images, f.width x f.height floats each (see the two headers).
struct NoiseAwareBuffers {
  NoisyDepth noisy;
  NoiseFilterScratch scratch;
};

// Writes f.out. `reference` runs the plain kernels and filter over the whole
// image, step after step; otherwise the fast ones run in bands of rows, each
// step right behind the one before, so what one step writes is still in
// cache when the next reads it. f.first/f.second need their `cyclic` tables.
void NoiseAwareDepth(const DepthFrame& f, bool singleFrequency, bool reference, const NoiseAwareBuffers& b);

}  // namespace qzapi
