// Row-level pieces of the fast noise-aware kernels (scalar and AVX2).
#pragma once

#include <cstdint>

#include "depth_kernel_rows.h"
#include "noise_kernel.h"

namespace qzapi {

// Pixels j0 .. width - 1 of output row i, one at a time.
void DualNoiseRowScalar(const DepthFrame& f, const NoiseParams& q, const RowView& r, int32_t i, const NoisyDepth& out,
                        int32_t j0);
void SingleNoiseRowScalar(const DepthFrame& f, const RowView& r, int32_t i, const NoisyDepth& out, int32_t j0);

// Rows [rowBegin, rowEnd) (2 or more) with AVX2, eight pixels at a time and
// the scalar row for the rest. Only call when the processor has AVX2.
void DualFrequencyNoiseAvx2(const DepthFrame& f, const NoiseParams& q, const NoisyDepth& out, int32_t rowBegin,
                            int32_t rowEnd);
void SingleFrequencyNoiseAvx2(const DepthFrame& f, const NoisyDepth& out, int32_t rowBegin, int32_t rowEnd);

}  // namespace qzapi
