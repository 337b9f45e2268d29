// Factory calibration of the virtual camera: lenses, extrinsics and the
// time-of-flight error model that the reconstruction library corrects. The
// raw-frame synthesis applies these errors (forward model); the calibration
// block handed to the library describes them (inverse).
#pragma once

#include <string>

#include "lens.h"
#include "parvolux3/pvx3.h"

namespace qzapi {
struct CalibrationBlock;
}

namespace pvx3::detail {

// Channel 0 is the 80 MHz modulation, channel 1 the 100 MHz one.
struct tof_error_model {
    double frequency_hz[2] = {80e6, 100e6};
    double global_offset_mm[2] = {0, 0};    // constant phase offset, as distance
    double wiggle_amplitude_mm[2][2] = {};  // cyclic error: 4th and 8th harmonic
    double wiggle_phase[2][2] = {};
    double fitting[2][6] = {};           // per-pixel offset polynomial (see fitting_offset)
    double temperature_poly[2][4] = {};  // drift in mm: t0 T^3 + t1 T^2 + t2 T + t3
    int depth_offset_mm = 0;             // added to the final depth by the library

    // Unambiguous range of a channel, mm.
    double range_mm(int ch) const;
    // Cyclic distance error of a channel at measured distance d (mm); periodic
    // with the channel's range.
    double wiggle(int ch, double d_mm) const;
    // Per-pixel distance offset (mm) of the pixel at (column, row) of the
    // 640 x 480 sensor grid.
    double fitting_offset(int ch, double column, double row) const;
    // Distance drift (mm) at sensor temperature T (deg C).
    double temperature_drift(int ch, double t_c) const;
};

struct factory_calibration {
    lens_model depth;    // 640 x 480 sensor grid
    lens_model colour;   // 1920 x 1080
    double rotation[9];  // colour = rotation * depth + translation (row-major)
    double translation[3];
    tof_error_model tof;
    std::string serial;
};

// The calibration of the virtual camera with the given serial number.
factory_calibration make_factory_calibration(const std::string& serial);

// Fills a reconstruction calibration block from the calibration. `binned`
// marks the sensor's 2 x 2 binned mode (320 x 240 depth): the block's depth
// grid then reads 320 x 240 while the intrinsics stay those of the full grid.
void fill_calibration_block(const factory_calibration& cal, qzapi::CalibrationBlock& block, bool binned = false);

// The initialisation arguments of the reconstruction library for a depth
// stream of width x height (what get_calibration hands out).
void calibration_arguments(const factory_calibration& cal, int width, int height, pvx3_calibration& out);

// Device family and mode the SDK initialises the library with: the virtual
// camera's sensor family (temperature in words 26/28, drift polynomials from
// the calibration, colour registration), dual frequency.
inline constexpr int kReconstructionDeviceType = 4;
inline constexpr int kReconstructionMode = 0;

}  // namespace pvx3::detail
