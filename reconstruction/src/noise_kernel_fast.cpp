// Prototype: fast noise-aware kernels (to be vectorised).
#include "noise_kernel.h"

namespace qzapi {
void DualFrequencyNoiseFast(const DepthFrame& f, const NoiseParams& q, const NoisyDepth& out) {
  DualFrequencyNoiseReference(f, q, out);
}
void SingleFrequencyNoiseFast(const DepthFrame& f, const NoisyDepth& out) { SingleFrequencyNoiseReference(f, out); }
}  // namespace qzapi
