// Plain noise-aware depth computation, one pixel at a time: the yardstick of
// the fast kernels in noise_kernel_fast.cpp and noise_kernel_avx2.cpp.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "noise_kernel.h"
#include "noise_model.h"

namespace qzapi {
namespace {

struct Samples {
  int32_t s00, s01, s10, s11;
  bool Saturated() const {
    return s00 == kSaturatedSample || s01 == kSaturatedSample || s10 == kSaturatedSample ||
           s11 == kSaturatedSample;
  }
  int32_t Sum() const { return s00 + s01 + s10 + s11; }
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

struct Reading {
  float distance = 0.0f;  // wrapped into 0..range, mm
  float variance = 0.0f;  // mm^2
  bool weak = false;      // no longer than noise alone makes the phasor
};

// Distance of a channel from the phasor (x, y) whose components each carry
// `componentVariance`; noise alone adds 2 componentVariance to |phasor|^2
// on average, which the signal estimate leaves out.
Reading ChannelReading(float x, float y, float componentVariance, const ChannelParams& c, float fitting) {
  Reading r;
  const float m2 = x * x + y * y;
  const float noiseFloor = 2.0f * componentVariance;
  r.weak = m2 < NoiseAwareLimits::kNoiseFloors * noiseFloor;
  const float signal2 = std::max(m2 - noiseFloor, componentVariance);
  const float phi = std::atan2(y, x);
  const float d = WrapOnce(phi * c.millimetresPerRadian + c.offset, c.range);
  const float scaled = d * c.gain;
  r.distance = WrapOnce(scaled - CyclicErrorCubic(scaled, c, c.tableCount) + fitting, c.range);
  const float k = c.millimetresPerRadian * c.gain;
  r.variance = componentVariance / signal2 * (k * k);
  return r;
}

// A channel of the dual-frequency frame from its two sub-frames: each phasor
// component is half the sum of four samples, so it carries one sample's
// variance.
Reading DualChannel(const Samples& s, const Samples& t, const ChannelParams& c, float fitting) {
  const float x = static_cast<float>(s.s00 + t.s11 - t.s00 - s.s11) / 2.0f;
  const float y = static_cast<float>(s.s10 + t.s01 - t.s10 - s.s01) / 2.0f;
  const float level = static_cast<float>(s.Sum() + t.Sum()) / 8.0f;
  return ChannelReading(x, y, SensorNoiseModel::SampleVariance(level), c, fitting);
}

void ClearTopRows(const DepthFrame& f, const NoisyDepth& out) {
  const std::size_t n = static_cast<std::size_t>(f.width) * std::min(f.height, 2);
  std::fill(out.depth, out.depth + n, 0.0f);
  std::fill(out.variance, out.variance + n, 0.0f);
  std::fill(out.alternate, out.alternate + n, 0.0f);
}

float WrapCombined(float x, float range) {
  if (x < 0.0f) x += range;
  return x >= range ? x - range : x;
}

}  // namespace

NoiseParams MakeNoiseParams(const DepthFrame& f) {
  NoiseParams q;
  q.unwrapSigmas2 = NoiseAwareLimits::kUnwrapSigmas * NoiseAwareLimits::kUnwrapSigmas;
  q.residual2 = NoiseAwareLimits::kChannelResidualMm * NoiseAwareLimits::kChannelResidualMm;
  q.lapSpacing = f.first.range - f.second.range;
  return q;
}

float CyclicErrorCubic(float scaled, const ChannelParams& c, int32_t tableCount) {
  const float t = scaled * c.tableStep;
  if (!(t >= 0.0f && t < kWigglingLimit)) return 0.0f;
  const int32_t idx = static_cast<int32_t>(t);
  const float f = t - static_cast<float>(idx);
  const float* w = c.wiggling;
  const float p1 = w[idx], p2 = w[idx + 1];
  // Past either end of the calibrated entries the curve continues straight.
  const float p0 = idx >= 1 ? w[idx - 1] : 2.0f * p1 - p2;
  const float p3 = idx + 2 < tableCount ? w[idx + 2] : 2.0f * p2 - p1;
  const float a = 1.5f * (p1 - p2) + 0.5f * (p3 - p0);
  const float b = p0 - 2.5f * p1 + 2.0f * p2 - 0.5f * p3;
  const float s = 0.5f * (p2 - p0);
  return ((a * f + b) * f + s) * f + p1;
}

void DualFrequencyNoiseReference(const DepthFrame& f, const NoiseParams& q, const NoisyDepth& out) {
  ClearTopRows(f, out);
  const std::size_t sub = static_cast<std::size_t>(4) * f.width * f.height;
  const uint16_t* cFrame = f.raw;            // second channel
  const uint16_t* eFrame = f.raw + sub;      // second channel
  const uint16_t* aFrame = f.raw + 2 * sub;  // first channel
  const uint16_t* bFrame = f.raw + 3 * sub;  // first channel
  const ChannelParams& c1 = f.first;
  const ChannelParams& c2 = f.second;
  for (int32_t i = 2; i < f.height; ++i) {
    for (int32_t j = 0; j < f.width; ++j) {
      const std::size_t at = static_cast<std::size_t>(i) * f.width + j;
      out.depth[at] = 0.0f;
      out.variance[at] = 0.0f;
      out.alternate[at] = 0.0f;
      const Samples a = Read(aFrame, f.orientation, i, j, f.width);
      const Samples b = Read(bFrame, f.orientation, i, j, f.width);
      const Samples cs = Read(cFrame, f.orientation, i, j, f.width);
      const Samples e = Read(eFrame, f.orientation, i, j, f.width);
      if (a.Saturated() || b.Saturated() || cs.Saturated() || e.Saturated()) {
        out.depth[at] = kNoisySaturated;
        continue;
      }
      const std::size_t p = TableIndex(f.orientation, i, j, f.width, f.height, f.tableBinning);
      const Reading r1 = DualChannel(a, b, c1, f.fitting80[p]);
      const Reading r2 = DualChannel(cs, e, c2, f.fitting100[p]);
      if (r1.weak || r2.weak) continue;

      // The lap pair that brings the channels closest together.
      const float combined = WrapOnce(r1.distance * f.u - r2.distance * f.v, f.combinedRange);
      float x1 = r1.distance + c1.range * std::floor((combined - r1.distance) / c1.range + 0.5f);
      const float x2 = r2.distance + c2.range * std::floor((combined - r2.distance) / c2.range + 0.5f);
      float gap = x1 - x2;
      if (gap > 0.5f * f.combinedRange) x1 -= f.combinedRange, gap -= f.combinedRange;
      if (gap < -0.5f * f.combinedRange) x1 += f.combinedRange, gap += f.combinedRange;
      const float gapVariance = r1.variance + r2.variance + q.residual2;
      if (gap * gap > q.unwrapSigmas2 * gapVariance) continue;  // no lap pair agrees

      // Inverse-variance combination.
      const float variance = 1.0f / (1.0f / r1.variance + 1.0f / r2.variance);
      const float w1 = variance / r1.variance, w2 = variance / r2.variance;
      const float x = w1 * x1 + w2 * x2;
      const float r2a = f.radialToAxial[p];
      const float z = WrapCombined(x, f.combinedRange) * r2a + f.depthOffset;
      if (!(z >= kNoisyMinimumDepth)) continue;
      out.depth[at] = z;
      out.variance[at] = variance * r2a * r2a;

      // The runner-up pair: both channels one lap further towards the gap.
      const bool down = gap * q.lapSpacing > 0.0f;
      const float altGap = down ? gap - q.lapSpacing : gap + q.lapSpacing;
      if (altGap * altGap <= q.unwrapSigmas2 * gapVariance) {
        const float shift = w1 * c1.range + w2 * c2.range;
        out.alternate[at] = WrapCombined(down ? x - shift : x + shift, f.combinedRange) * r2a + f.depthOffset;
      }
    }
  }
}

void SingleFrequencyNoiseReference(const DepthFrame& f, const NoisyDepth& out) {
  ClearTopRows(f, out);
  const ChannelParams& c = f.first;
  for (int32_t i = 2; i < f.height; ++i) {
    for (int32_t j = 0; j < f.width; ++j) {
      const std::size_t at = static_cast<std::size_t>(i) * f.width + j;
      out.depth[at] = 0.0f;
      out.variance[at] = 0.0f;
      out.alternate[at] = 0.0f;
      const Samples s = Read(f.raw, f.orientation, i, j, f.width);
      if (s.Saturated()) {
        out.depth[at] = kNoisySaturated;
        continue;
      }
      const float y = static_cast<float>(s.s10 - s.s01);
      const float x = static_cast<float>(s.s00 - s.s11);
      // Each component is the difference of two samples.
      const float v = 2.0f * SensorNoiseModel::SampleVariance(static_cast<float>(s.Sum()) / 4.0f);
      const std::size_t p = TableIndex(f.orientation, i, j, f.width, f.height, f.tableBinning);
      const Reading r = ChannelReading(x, y, v, c, f.fitting80[p]);
      if (r.weak) continue;
      const float r2a = f.radialToAxial[p];
      const float z = r.distance * r2a;
      if (!(z >= kNoisyMinimumDepth)) continue;
      out.depth[at] = z;
      out.variance[at] = r.variance * r2a * r2a;
    }
  }
}

}  // namespace qzapi
