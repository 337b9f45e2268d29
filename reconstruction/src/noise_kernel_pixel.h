// The noise-aware depth of one pixel, step by step. The reference kernel
// runs it with the library atan2, the fast scalar kernel with FastAtan2; the
// AVX2 kernel repeats the arithmetic lane by lane in the same order.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "noise_kernel.h"
#include "noise_model.h"

namespace qzapi {

// The four samples of a pixel in one sub-frame, in their orientation roles.
struct PixelSamples {
  int32_t s00, s01, s10, s11;
  bool Saturated() const {
    return s00 == kSaturatedSample || s01 == kSaturatedSample || s10 == kSaturatedSample ||
           s11 == kSaturatedSample;
  }
  int32_t Sum() const { return s00 + s01 + s10 + s11; }
};

// A channel's distance noise is noise / signal2 (mm^2), kept as the two
// factors so that combining two channels takes a single division.
struct ChannelReading {
  float distance = 0.0f;  // wrapped into 0..range, mm
  float noise = 0.0f;     // component variance x (mm per radian x gain)^2
  float signal2 = 0.0f;   // signal power |2A|^2, LSB^2
  bool weak = false;      // no longer than noise alone makes the phasor
};

// Cubic (Catmull-Rom) reading of a channel's cyclic-error table at the
// distance `scaled` (after the gain), mm; past either end of the calibrated
// entries the curve continues straight, and positions outside the 256-entry
// table get no correction, as in the standard kernels.
inline float CyclicErrorCubic(float scaled, const ChannelParams& c, int32_t tableCount) {
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

// The cyclic error the kernels subtract: CyclicErrorCubic sampled every
// millimetre (CyclicErrorTable) and read linearly in between, one pair of
// neighbouring floats instead of four table entries (the straight line
// between millimetre samples departs from the cubic by well under a
// micrometre).
inline float CyclicError(float scaled, const ChannelParams& c) {
  const float last = static_cast<float>(c.cyclicCount - 1);
  if (!(scaled >= 0.0f && scaled * c.tableStep < kWigglingLimit && scaled < last)) return 0.0f;
  const int32_t idx = static_cast<int32_t>(scaled);
  const float f = scaled - static_cast<float>(idx);
  return c.cyclic[2 * idx] + f * c.cyclic[2 * idx + 1];
}

// Distance and noise of a channel from its phasor (x, y), whose components
// each carry `componentVariance`. Noise alone adds 2 componentVariance to
// |phasor|^2 on average: the signal estimate leaves it out.
template <float (*Atan2)(float, float)>
ChannelReading ReadChannel(float x, float y, float componentVariance, const ChannelParams& c, float fitting) {
  ChannelReading r;
  const float m2 = x * x + y * y;
  const float noiseFloor = 2.0f * componentVariance;
  r.weak = m2 < NoiseAwareLimits::kNoiseFloors * noiseFloor;
  r.signal2 = std::max(m2 - noiseFloor, componentVariance);
  const float phi = Atan2(y, x);
  const float d = WrapOnce(phi * c.millimetresPerRadian + c.offset, c.range);
  const float scaled = d * c.gain;
  r.distance = WrapOnce(scaled - CyclicError(scaled, c) + fitting, c.range);
  const float k = c.millimetresPerRadian * c.gain;
  r.noise = componentVariance * (k * k);
  return r;
}

// A dual-frequency channel from its two sub-frames s and t: each phasor
// component is half the sum of four samples and carries one sample's
// variance; the level is the mean of the eight samples.
template <float (*Atan2)(float, float)>
ChannelReading DualChannel(const PixelSamples& s, const PixelSamples& t, const ChannelParams& c, float fitting) {
  const float x = static_cast<float>(s.s00 + t.s11 - t.s00 - s.s11) / 2.0f;
  const float y = static_cast<float>(s.s10 + t.s01 - t.s10 - s.s01) / 2.0f;
  const float level = static_cast<float>(s.Sum() + t.Sum()) / 8.0f;
  return ReadChannel<Atan2>(x, y, SensorNoiseModel::SampleVariance(level), c, fitting);
}

inline float WrapCombined(float x, float range) {
  x = x < 0.0f ? x + range : x;
  return x >= range ? x - range : x;
}

// Output of one pixel: depth (0 invalid, kNoisySaturated), variance and the
// runner-up lap pair's depth (0 when it does not agree).
struct NoisyPixel {
  float depth = 0.0f, variance = 0.0f, alternate = 0.0f;
};

// One pixel of a dual-frequency frame: a, b the first channel's sub-frames,
// c, e the second's; fit1, fit2 the fitting offsets and r2a the
// radial-to-axial factor of its table entry.
template <float (*Atan2)(float, float)>
NoisyPixel DualNoisePixel(const PixelSamples& a, const PixelSamples& b, const PixelSamples& c, const PixelSamples& e,
                          float fit1, float fit2, float r2a, const DepthFrame& f, const NoiseParams& q) {
  NoisyPixel out;
  if (a.Saturated() || b.Saturated() || c.Saturated() || e.Saturated()) {
    out.depth = kNoisySaturated;
    return out;
  }
  const ChannelParams& c1 = f.first;
  const ChannelParams& c2 = f.second;
  const ChannelReading r1 = DualChannel<Atan2>(a, b, c1, fit1);
  const ChannelReading r2 = DualChannel<Atan2>(c, e, c2, fit2);
  if (r1.weak || r2.weak) return out;

  // The lap pair that brings the channels closest together.
  const float combined = WrapOnce(r1.distance * f.u - r2.distance * f.v, f.combinedRange);
  float x1 = r1.distance + c1.range * std::floor((combined - r1.distance) * q.lapsPerMm1 + 0.5f);
  const float x2 = r2.distance + c2.range * std::floor((combined - r2.distance) * q.lapsPerMm2 + 0.5f);
  float gap = x1 - x2;
  const float halfCombined = 0.5f * f.combinedRange;
  if (gap > halfCombined) x1 -= f.combinedRange, gap -= f.combinedRange;
  if (gap < -halfCombined) x1 += f.combinedRange, gap += f.combinedRange;
  // With v1 = A / P and v2 = B / P (A = noise1 signal2_2, B = noise2
  // signal2_1, P = signal2_1 signal2_2): v1 + v2 = (A + B) / P, the
  // inverse-variance weights B / (A + B) and A / (A + B), and the combined
  // variance A B / (P (A + B)), all from one division.
  const float va = r1.noise * r2.signal2, vb = r2.noise * r1.signal2, vp = r1.signal2 * r2.signal2;
  const float sum = va + vb;
  const float inverse = 1.0f / (vp * sum);
  const float gapVariance = sum * sum * inverse + q.residual2;
  if (gap * gap > q.unwrapSigmas2 * gapVariance) return out;  // no lap pair agrees

  // Inverse-variance combination.
  const float w1 = vb * vp * inverse, w2 = va * vp * inverse;
  const float variance = va * vb * inverse;
  const float x = w1 * x1 + w2 * x2;
  const float z = WrapCombined(x, f.combinedRange) * r2a + f.depthOffset;
  if (!(z >= kNoisyMinimumDepth)) return out;
  out.depth = z;
  out.variance = variance * r2a * r2a;

  // The runner-up: both channels one lap further towards the gap.
  const bool down = gap * q.lapSpacing > 0.0f;
  const float altGap = down ? gap - q.lapSpacing : gap + q.lapSpacing;
  if (altGap * altGap <= q.unwrapSigmas2 * gapVariance) {
    const float shift = w1 * c1.range + w2 * c2.range;
    const float alt = WrapCombined(down ? x - shift : x + shift, f.combinedRange) * r2a + f.depthOffset;
    out.alternate = alt >= kNoisyMinimumDepth ? alt : 0.0f;
  }
  return out;
}

// One pixel of a single-frequency frame (first channel, one sub-frame).
template <float (*Atan2)(float, float)>
NoisyPixel SingleNoisePixel(const PixelSamples& s, float fit, float r2a, const DepthFrame& f) {
  NoisyPixel out;
  if (s.Saturated()) {
    out.depth = kNoisySaturated;
    return out;
  }
  const float y = static_cast<float>(s.s10 - s.s01);
  const float x = static_cast<float>(s.s00 - s.s11);
  // Each component is the difference of two samples.
  const float v = 2.0f * SensorNoiseModel::SampleVariance(static_cast<float>(s.Sum()) / 4.0f);
  const ChannelReading r = ReadChannel<Atan2>(x, y, v, f.first, fit);
  if (r.weak) return out;
  const float z = r.distance * r2a;
  if (!(z >= kNoisyMinimumDepth)) return out;
  out.depth = z;
  out.variance = r.noise / r.signal2 * r2a * r2a;
  return out;
}

inline float LibraryAtan2(float y, float x) { return std::atan2(y, x); }

}  // namespace qzapi
