// Plain per-pixel depth computation, one pixel at a time.
#include <cmath>
#include <cstring>

#include "depth_kernel.h"

namespace qzapi {
namespace {

struct Samples {
  int32_t s00, s01, s10, s11;
  bool Saturated() const {
    return s00 == kSaturatedSample || s01 == kSaturatedSample || s10 == kSaturatedSample ||
           s11 == kSaturatedSample;
  }
};

// The four samples of pixel (i, j) in a sub-frame, in the roles the
// orientation gives them.
Samples Read(const uint16_t* sub, int32_t orientation, int32_t i, int32_t j, int32_t w) {
  const std::size_t stride = static_cast<std::size_t>(2) * w;
  const uint16_t* r0 = sub + static_cast<std::size_t>(2 * i) * stride + 2 * j;
  const uint16_t* r1 = r0 + stride;
  const Samples raw{r0[0], r0[1], r1[0], r1[1]};
  switch (orientation) {
    case 0: return raw;
    case 1: return {raw.s10, raw.s11, raw.s00, raw.s01};
    case 2: return {raw.s01, raw.s00, raw.s11, raw.s10};
    case 3: return {raw.s11, raw.s10, raw.s01, raw.s00};
    default: return {sub[0], sub[0], sub[0], sub[0]};
  }
}

void ClearTopRows(const DepthFrame& f) {
  std::memset(f.out, 0, sizeof(uint16_t) * static_cast<std::size_t>(f.width) * std::min(f.height, 2));
}

}  // namespace

void SingleFrequencyReference(const DepthFrame& f) {
  ClearTopRows(f);
  const ChannelParams& c = f.first;
  for (int32_t i = 2; i < f.height; ++i) {
    for (int32_t j = 0; j < f.width; ++j) {
      uint16_t& out = f.out[static_cast<std::size_t>(i) * f.width + j];
      const Samples s = Read(f.raw, f.orientation, i, j, f.width);
      if (s.Saturated()) {
        out = kDepthSaturated;
        continue;
      }
      const float y = static_cast<float>(s.s10 - s.s01);
      const float x = static_cast<float>(s.s00 - s.s11);
      const float phi = std::atan2(y, x);
      if (f.amplitudeThreshold > kHalfPi * std::sqrt(x * x + y * y)) {
        out = kDepthInvalid;
        continue;
      }
      const std::size_t p = TableIndex(f.orientation, i, j, f.width, f.height, f.tableBinning);
      float d = WrapOnce(phi * c.millimetresPerRadian + c.offset, c.range);
      d = WrapOnce(WigglingCorrected(d, c) + f.fitting80[p], c.range);
      out = ToDepth(d * f.radialToAxial[p]);
    }
  }
}

void DualFrequencyReference(const DepthFrame& f) {
  ClearTopRows(f);
  const std::size_t sub = static_cast<std::size_t>(4) * f.width * f.height;
  const uint16_t* cFrame = f.raw;            // second channel
  const uint16_t* eFrame = f.raw + sub;      // second channel
  const uint16_t* aFrame = f.raw + 2 * sub;  // first channel
  const uint16_t* bFrame = f.raw + 3 * sub;  // first channel
  const ChannelParams& c1 = f.first;
  const ChannelParams& c2 = f.second;
  for (int32_t i = 2; i < f.height; ++i) {
    for (int32_t j = 0; j < f.width; ++j) {
      uint16_t& out = f.out[static_cast<std::size_t>(i) * f.width + j];
      out = kDepthInvalid;
      const Samples a = Read(aFrame, f.orientation, i, j, f.width);
      const Samples b = Read(bFrame, f.orientation, i, j, f.width);
      const Samples cs = Read(cFrame, f.orientation, i, j, f.width);
      const Samples e = Read(eFrame, f.orientation, i, j, f.width);
      if (a.Saturated() || cs.Saturated()) {
        out = kDepthSaturated;
        continue;
      }
      const std::size_t p = TableIndex(f.orientation, i, j, f.width, f.height, f.tableBinning);

      const float phi1 = std::atan2(static_cast<float>(a.s10 + b.s01 - b.s10 - a.s01) / 2.0f,
                                    static_cast<float>(a.s00 + b.s11 - b.s00 - a.s11) / 2.0f);
      const float bx = static_cast<float>(b.s10 - b.s01);
      const float by = static_cast<float>(b.s00 - b.s11);
      const float amplitude1 = std::sqrt(bx * bx + by * by);
      float d1 = WrapOnce(phi1 * c1.millimetresPerRadian + c1.offset, c1.range);
      d1 = WrapOnce(WigglingCorrected(d1, c1) + std::trunc(f.fitting80[p]), c1.range);

      const float phi2 = std::atan2(static_cast<float>(cs.s10 + e.s01 - e.s10 - cs.s01) / 2.0f,
                                    static_cast<float>(cs.s00 + e.s11 - e.s00 - cs.s11) / 2.0f);
      const float cx = static_cast<float>(cs.s10 - cs.s01);
      const float cy = static_cast<float>(cs.s00 - cs.s11);
      const float amplitude2 = std::sqrt(cx * cx + cy * cy);
      if (f.amplitudeThreshold > kHalfPi * amplitude2 || kHalfPi * amplitude1 < f.amplitudeThreshold) continue;
      float d2 = WrapOnce(phi2 * c2.millimetresPerRadian + c2.offset, c2.range);
      d2 = WrapOnce(WigglingCorrected(d2, c2) + std::trunc(f.fitting100[p]), c2.range);
      if (d1 == 0.0f || d2 == 0.0f) continue;

      const float combined = WrapOnce(d1 * f.u - d2 * f.v, f.combinedRange);
      d1 += c1.range * std::trunc((combined - d1) / c1.range + 0.5f);
      d2 += c2.range * std::trunc((combined - d2) / c2.range + 0.5f);
      const float z = (d1 + d2) * 0.5f * f.radialToAxial[p];
      float d1Check = d1;
      if (z < 0.0f) d1Check += f.combinedRange;
      if (z > f.combinedRange) d1Check -= f.combinedRange;
      if (std::fabs(d1Check - d2) > 200.0f) continue;
      out = ToDepth(z + f.depthOffset);
    }
  }
}

}  // namespace qzapi
