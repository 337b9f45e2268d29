// Plain noise-aware depth computation, one pixel at a time with the library
// atan2: the yardstick of the fast kernels.
#include <algorithm>

#include "noise_kernel.h"
#include "noise_kernel_pixel.h"

namespace qzapi {
namespace {

// The four samples of pixel (i, j) in a sub-frame, in the roles the
// orientation gives them.
PixelSamples Read(const uint16_t* sub, int32_t orientation, int32_t i, int32_t j, int32_t w) {
  const std::size_t stride = static_cast<std::size_t>(2) * w;
  const uint16_t* r0 = sub + static_cast<std::size_t>(2 * i) * stride + 2 * j;
  const uint16_t* r1 = r0 + stride;
  const PixelSamples raw{r0[0], r0[1], r1[0], r1[1]};
  switch (orientation) {
    case 0: return raw;
    case 1: return {raw.s10, raw.s11, raw.s00, raw.s01};
    case 2: return {raw.s01, raw.s00, raw.s11, raw.s10};
    case 3: return {raw.s11, raw.s10, raw.s01, raw.s00};
    default: return {sub[0], sub[0], sub[0], sub[0]};
  }
}

void Store(const NoisyDepth& out, std::size_t at, const NoisyPixel& p) {
  out.depth[at] = p.depth;
  out.variance[at] = p.variance;
  out.alternate[at] = p.alternate;
}

}  // namespace

void ClearNoisyTopRows(const DepthFrame& f, const NoisyDepth& out, int32_t rowBegin, int32_t rowEnd) {
  const int32_t end = std::min(std::min(rowEnd, f.height), 2);
  if (rowBegin >= end) return;
  const std::size_t from = static_cast<std::size_t>(rowBegin) * f.width, to = static_cast<std::size_t>(end) * f.width;
  std::fill(out.depth + from, out.depth + to, 0.0f);
  std::fill(out.variance + from, out.variance + to, 0.0f);
  std::fill(out.alternate + from, out.alternate + to, 0.0f);
}

NoiseParams MakeNoiseParams(const DepthFrame& f) {
  NoiseParams q;
  q.unwrapSigmas2 = NoiseAwareLimits::kUnwrapSigmas * NoiseAwareLimits::kUnwrapSigmas;
  q.residual2 = NoiseAwareLimits::kChannelResidualMm * NoiseAwareLimits::kChannelResidualMm;
  q.lapSpacing = f.first.range - f.second.range;
  q.lapsPerMm1 = f.first.range > 0.0f ? 1.0f / f.first.range : 0.0f;
  q.lapsPerMm2 = f.second.range > 0.0f ? 1.0f / f.second.range : 0.0f;
  return q;
}

std::vector<float> CyclicErrorTable(const ChannelParams& c) {
  // A channel's step is 0.01 or 0.02 per mm; the cap only guards the size.
  constexpr float kLongestReach = 65536.0f;
  const float reach = c.tableStep > 0.0f ? std::min(kWigglingLimit / c.tableStep, kLongestReach) : 0.0f;
  const std::size_t positions = static_cast<std::size_t>(reach) + 3;
  std::vector<float> table(2 * positions, 0.0f);
  if (c.wiggling == nullptr) return table;  // a channel the frame does not use
  float next = CyclicErrorCubic(0.0f, c, c.tableCount);
  for (std::size_t k = 0; k < positions; ++k) {
    const float here = next;
    next = CyclicErrorCubic(static_cast<float>(k + 1), c, c.tableCount);
    table[2 * k] = here;
    table[2 * k + 1] = next - here;
  }
  return table;
}

void DualFrequencyNoiseReference(const DepthFrame& f, const NoiseParams& q, const NoisyDepth& out, int32_t rowBegin,
                                 int32_t rowEnd) {
  ClearNoisyTopRows(f, out, rowBegin, rowEnd);
  const std::size_t sub = static_cast<std::size_t>(4) * f.width * f.height;
  const uint16_t* cFrame = f.raw;            // second channel
  const uint16_t* eFrame = f.raw + sub;      // second channel
  const uint16_t* aFrame = f.raw + 2 * sub;  // first channel
  const uint16_t* bFrame = f.raw + 3 * sub;  // first channel
  for (int32_t i = std::max(rowBegin, 2); i < rowEnd; ++i) {
    for (int32_t j = 0; j < f.width; ++j) {
      const std::size_t p = TableIndex(f.orientation, i, j, f.width, f.height, f.tableBinning);
      const NoisyPixel px = DualNoisePixel<LibraryAtan2>(
          Read(aFrame, f.orientation, i, j, f.width), Read(bFrame, f.orientation, i, j, f.width),
          Read(cFrame, f.orientation, i, j, f.width), Read(eFrame, f.orientation, i, j, f.width), f.fitting80[p],
          f.fitting100[p], f.radialToAxial[p], f, q);
      Store(out, static_cast<std::size_t>(i) * f.width + j, px);
    }
  }
}

void SingleFrequencyNoiseReference(const DepthFrame& f, const NoisyDepth& out, int32_t rowBegin, int32_t rowEnd) {
  ClearNoisyTopRows(f, out, rowBegin, rowEnd);
  for (int32_t i = std::max(rowBegin, 2); i < rowEnd; ++i) {
    for (int32_t j = 0; j < f.width; ++j) {
      const std::size_t p = TableIndex(f.orientation, i, j, f.width, f.height, f.tableBinning);
      const NoisyPixel px =
          SingleNoisePixel<LibraryAtan2>(Read(f.raw, f.orientation, i, j, f.width), f.fitting80[p], f.radialToAxial[p], f);
      Store(out, static_cast<std::size_t>(i) * f.width + j, px);
    }
  }
}

}  // namespace qzapi
