// Forward model of the sensor for round-trip tests: from a known distance to
// the raw four-phase samples the reconstruction should turn back into it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "qzapi/reconstruction.h"

namespace qzr_test {

constexpr double kPi = 3.14159265358979323846;

// One modulation frequency as the test derives it from the block.
struct ChannelModel {
  double millimetresPerRadian = 0.0;
  double range = 0.0;
  double offset = 0.0;       // added after phase to distance (mm)
  std::vector<float> table;  // wiggling entries
  double step = 0.0;         // 0.01 below 21 entries, else 0.02
};

ChannelModel MakeChannel(double frequencyHz, double offsetMm, const std::vector<float>& table);

// Interpolated cyclic error of a raw distance, truncated to whole mm.
double WigglingError(const ChannelModel& c, double x);

// Phase the sensor would report so that, after wrapping, wiggling and the
// fitting term `fitting`, the channel yields `distance` modulo its range.
// Empty where no reading gives that answer robustly (near 0 modulo the range,
// or where the truncated wiggling error steps).
std::optional<double> PhaseFor(const ChannelModel& c, double distance, double fitting);

// Integer sample differences (n, m) close to scale * (sin phi, cos phi).
void PhaseToDifferences(double phi, double scale, int32_t& n, int32_t& m);

// Writes pixel (i, j) of a dual-frequency frame (four sub-frames, 2W x 2H
// each) whose channels measure phi1 (first) and phi2 (second).
void WriteDualPixel(std::vector<uint16_t>& frame, int32_t w, int32_t h, int32_t i, int32_t j, double phi1,
                    double phi2);
// Writes pixel (i, j) of a single sub-frame.
void WriteSinglePixel(std::vector<uint16_t>& frame, int32_t w, int32_t i, int32_t j, double phi);

// One channel of a pixel as the sensor sees it: the phase, the signal
// amplitude and the mean sample level, in LSB.
struct ChannelSignal {
  double phi = 0.0;
  double amplitude = 0.0;
  double level = 0.0;
};

// Writes pixel (i, j) of a dual-frequency frame the way the sensor samples a
// channel (I = A cos phi, Q = A sin phi): first sub-frame L + I, L - Q over
// L + Q, L - I; second sub-frame the same with the signal negated; each
// sample rounded to a whole LSB. The four-phase estimator then sees a phasor
// of length 2A at phase phi.
void WriteDualPixelSignal(std::vector<uint16_t>& frame, int32_t w, int32_t h, int32_t i, int32_t j,
                          const ChannelSignal& first, const ChannelSignal& second);

// The phasor (x, y) and the level a four-phase estimator reads from the
// samples that WriteDualPixelSignal wrote for one channel of pixel (i, j)
// (`first` selects the channel).
struct ReadBack {
  double x = 0.0, y = 0.0, level = 0.0;
};
ReadBack ReadDualChannel(const std::vector<uint16_t>& frame, int32_t w, int32_t h, int32_t i, int32_t j, bool first);

// Undistorted pinhole factor 1 / sqrt(1 + x^2 + y^2).
double RadialToAxial(double fx, double fy, double cx, double cy, int32_t u, int32_t v);

// A block with the given depth intrinsics, no distortion and no corrections.
qzapi::CalibrationBlock PlainBlock(float fx, float fy, float cx, float cy);

}  // namespace qzr_test
