// The sensor noise model behind the noise-aware depth mode, and the few
// decision constants built on it. Everything the mode assumes about the
// sensor lives here; none of it is tuned to a scene.
//
// A raw sample at level L (LSB, dark level included) carries shot noise of
// L / electronsPerLsb (the photo-electrons counted, Poisson), read noise and
// the 10-bit quantisation, all independent:
//
//   var(sample) = L / electronsPerLsb + readNoiseLsb^2 + 1 / 12   [LSB^2]
//
// The four-phase estimator of a channel sums its eight samples (two
// sub-frames, four taps each) into a phasor (x, y) whose components each
// carry var(sample) and whose length M estimates the signal. The phase noise
// follows as var(phi) = var(sample) / |signal|^2, the distance noise as
// var(phi) * (millimetres per radian * gain)^2.
#pragma once

namespace qzapi {

struct SensorNoiseModel {
  // Conversion gain: photo-electrons per LSB of the 10-bit sample. The shot
  // noise of a sample is its level over this, in LSB^2.
  static constexpr float kElectronsPerLsb = 10.0f;
  // Read noise of one sample, LSB (rms).
  static constexpr float kReadNoiseLsb = 1.0f;
  // Quantisation to whole LSB: a uniform error of variance 1/12.
  static constexpr float kQuantisationVariance = 1.0f / 12.0f;

  // Noise variance (LSB^2) of one sample at level `level` (LSB).
  static constexpr float SampleVariance(float level) {
    return level * (1.0f / kElectronsPerLsb) + kReadNoiseLsb * kReadNoiseLsb + kQuantisationVariance;
  }
};

// Decisions of the noise-aware mode, in units of each pixel's own noise.
struct NoiseAwareLimits {
  // A pixel carries a measurement only where its phasor is longer than noise
  // alone makes it on average: |phasor|^2 >= kNoiseFloors * (expected
  // |phasor|^2 of noise). This replaces the fixed amplitude threshold.
  static constexpr float kNoiseFloors = 1.0f;
  // Unwrapping: two channel readings agree on a lap pair when they differ by
  // at most this many standard deviations of their difference.
  static constexpr float kUnwrapSigmas = 4.0f;
  // Disagreement between the channels that remains after calibration even
  // without noise (model residuals), mm; added in quadrature to the noise of
  // the difference.
  static constexpr float kChannelResidualMm = 4.0f;
  // A neighbour (or the middle of a symmetric neighbour pair) confirms a
  // pixel within this many standard deviations of their difference.
  static constexpr float kSupportSigmas = 4.0f;
  // Range term of the first, robust estimate (3 x 3): neighbour pairs whose
  // middle lies this many standard deviations from the pixel get no weight.
  static constexpr float kStartSigmas = 6.0f;
  // ... from pairs whose two members differ by at most this many standard
  // deviations of their difference (no edge between them).
  static constexpr float kStartGapSigmas = 4.0f;
  // Range term of the smoothing (5 x 5), around that first estimate.
  static constexpr float kRangeSigmas = 3.0f;
  // A pair predicts the pixel between its members from a plane; where the
  // surface bends (a crease, the rim of a ball) the plane misses by a share
  // of the depth step between the members. The pair's weight counts this
  // share of its step as further noise, so steep pairs, which bend the most,
  // weigh little.
  static constexpr float kBendPerGap = 0.2f;
  // Smoothing stops where it has brought a pixel's noise down to about this
  // (standard deviation, mm): a pixel with little noise keeps its detail.
  static constexpr float kSmoothingTargetMm = 1.0f;
  // A pixel whose depth after smoothing still carries more noise than this
  // (standard deviation, mm) is invalid.
  static constexpr float kMaximumNoiseMm = 25.0f;
};

}  // namespace qzapi
