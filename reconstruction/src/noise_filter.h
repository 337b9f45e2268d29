// The filter of the noise-aware depth mode: turns the per-pixel depth and
// noise of the noise-aware kernels (noise_kernel.h) into the 16-bit image.
//
// 1. Confirmation (3 x 3): a pixel stands when the middle of a pair of
//    valid opposite neighbours lies within kSupportSigmas of it (a plane
//    through the pixel, however steep) or two valid neighbours do (a
//    corner). A pixel nothing confirms takes its runner-up lap pair when that
//    is confirmed (a wrong unwrapping), otherwise it becomes invalid (a
//    flying pixel or a lap error nothing settles). Each pixel also gets a
//    first estimate from its 3 x 3 pairs (wide range term, no pair spanning
//    an edge), so a pixel far out in its noise's tail does not anchor its
//    own smoothing.
// 2. Smoothing (5 x 5): the inverse-variance weighted mean of the pixel and
//    the depths its point-symmetric pairs of confirmed neighbours predict
//    (their harmonic mean: exact on a plane seen in perspective). Pairs (and
//    the pixel) further than kRangeSigmas of their noise from the first
//    estimate get no weight (the range term), so surfaces are never blended
//    and a pixel beside an edge is averaged along the edge only; steep pairs
//    weigh less (kBendPerGap). Point symmetry keeps a plane's depth exact
//    even where half the window is missing; invalid pixels never enter (a
//    pair with an invalid member is left out). The spatial weights widen with
//    the pixel's noise up to a 2-pixel Gaussian: a quiet pixel keeps its
//    detail.
// 3. Validity: a pixel whose smoothed depth still carries more noise than
//    kMaximumNoiseMm is invalid. Depths are rounded to whole millimetres.
#pragma once

#include <cstdint>

#include "noise_kernel.h"

namespace qzapi {

// Working memory of the filter, one float per pixel each.
struct NoiseFilterScratch {
  float* confirmed = nullptr;  // depth after confirmation (0 invalid, < 0 saturated)
  float* start = nullptr;      // first estimate of the smoothing
};

// `in` holds width x height pixels (noise_kernel.h conventions); `out`
// receives width x height depths: mm rounded, 0 invalid, 1 saturated.
// The whole image, one pixel at a time.
void NoiseFilterReference(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                          uint16_t* out);

// The same in bands of rows (AVX2 where the processor has it and allowSimd),
// so a caller can run each step on rows the step before has just written.
// Step 1 on rows [rowBegin, rowEnd) reads `in` on rows rowBegin - 1 to rowEnd.
void NoiseConfirmRows(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                      int32_t rowBegin, int32_t rowEnd, bool allowSimd);
// Steps 2 and 3 on rows [rowBegin, rowEnd) read step 1's rows rowBegin - 2 to
// rowEnd + 1.
void NoiseSmoothRows(const NoisyDepth& in, int32_t width, int32_t height, const NoiseFilterScratch& scratch,
                     uint16_t* out, int32_t rowBegin, int32_t rowEnd, bool allowSimd);

}  // namespace qzapi
