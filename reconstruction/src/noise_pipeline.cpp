#include "noise_pipeline.h"

#include <algorithm>

namespace qzapi {
namespace {

// Rows per band: the band's working rows (about 40 bytes a pixel over the
// steps) stay well inside a core's second-level cache.
constexpr int32_t kBandRows = 16;

}  // namespace

void NoiseAwareDepth(const DepthFrame& f, bool singleFrequency, bool reference, const NoiseAwareBuffers& b) {
  const NoiseParams q = MakeNoiseParams(f);
  const int32_t h = f.height;
  if (reference) {
    if (singleFrequency) {
      SingleFrequencyNoiseReference(f, b.noisy, 0, h);
    } else {
      DualFrequencyNoiseReference(f, q, b.noisy, 0, h);
    }
    NoiseFilterReference(b.noisy, f.width, h, b.scratch, f.out);
    return;
  }
  // Step 1 on row r reads kernel rows r - 1 to r + 1; step 2 on row r reads
  // step-1 rows r - 2 to r + 2.
  int32_t computed = 0, confirmed = 0, smoothed = 0;
  while (smoothed < h) {
    if (computed < h) {
      const int32_t next = std::min(h, computed + kBandRows);
      if (singleFrequency) {
        SingleFrequencyNoiseFast(f, b.noisy, computed, next);
      } else {
        DualFrequencyNoiseFast(f, q, b.noisy, computed, next);
      }
      computed = next;
    }
    const int32_t confirmUpTo = computed == h ? h : computed - 1;
    NoiseConfirmRows(b.noisy, f.width, h, b.scratch, confirmed, confirmUpTo, f.allowSimd);
    confirmed = confirmUpTo;
    const int32_t smoothUpTo = confirmed == h ? h : confirmed - 2;
    NoiseSmoothRows(b.noisy, f.width, h, b.scratch, f.out, smoothed, smoothUpTo, f.allowSimd);
    smoothed = smoothUpTo;
  }
}

}  // namespace qzapi
