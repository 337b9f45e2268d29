// Synthesis of the sensor's raw dual-frequency four-phase frames from the
// scene: the forward model of every correction the reconstruction library
// applies (global offset, cyclic error, per-pixel fitting offset, temperature
// drift, depth offset), with amplitude from reflectivity, distance and
// incidence, ambient light, shot and read noise, and 10-bit saturation.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "calibration.h"
#include "scene.h"

namespace pvx3::detail {

struct tof_frame_request {
    double time_s = 0;             // scene time
    double integration_us = 1000;  // integration time
    double temperature_c = 25;     // sensor temperature
    uint64_t noise_seed = 0;       // noise of this frame
    bool flip_vertical = false;    // sensor read out bottom to top
    bool flip_horizontal = false;  // sensor read out right to left
};

// Sensor constants, shared with the tests' expectations.
struct tof_sensor_constants {
    static constexpr double kReferenceIntegrationUs = 1000.0;
    static constexpr double kAmplitudeAt1m = 600.0;  // LSB, reflectivity 1, normal incidence
    static constexpr double kModulationContrast = 0.8;
    static constexpr double kAmbient = 25.0;          // LSB at reflectivity 1
    static constexpr double kDarkLevel = 32.0;        // LSB
    static constexpr double kElectronsPerLsb = 10.0;  // shot noise: variance = level / this
    static constexpr double kReadNoise = 1.0;         // LSB
    static constexpr int kSaturation = 1023;
    // Raw words carrying the temperature: integer degrees and 1/256 degrees,
    // each shifted left by 2.
    static constexpr int kTemperatureWord = 26;
    static constexpr int kTemperatureFractionWord = 28;
};

struct tof_statics;

class tof_synthesiser {
public:
    // Frames of width x height depth pixels: 640 x 480, or 320 x 240 binned
    // (each pixel then sees the ray of grid pixel (2 row, 2 column)).
    tof_synthesiser(std::shared_ptr<const scene> world, const factory_calibration& cal, int width,
                    int height, uint64_t seed);

    int width() const { return width_; }
    int height() const { return height_; }
    // Samples of one raw frame: four sub-frames of (2 width) x (2 height).
    size_t raw_size() const { return size_t(16) * width_ * height_; }

    // Writes one raw frame (raw_size() samples): sub-frames 0 and 1 are the
    // 100 MHz channel, 2 and 3 the 80 MHz channel.
    void synthesise(const tof_frame_request& request, uint16_t* raw);

    // IR amplitude of every pixel of a raw frame from its 80 MHz sub-frames:
    // twice the signal amplitude (the length of the phasor of the sample
    // differences); 1023 where a sample saturated.
    void amplitude(const uint16_t* raw, uint16_t* ir) const;

    // Unit ray (camera frame) of pixel (row, column).
    vec3 ray(int row, int column) const;

    struct pixel_model {
        float i0[2], q0[2];  // signal phasor per channel at the reference integration time
        float level;         // mean sample level above dark at the reference integration time
    };

private:
    std::shared_ptr<const tof_statics> build_statics() const;
    pixel_model model_of(const tof_statics& s, int index, const hit& h) const;
    void refresh_moving(double time_s);
    bool moving_bounds(double time_s, int& x0, int& y0, int& x1, int& y1) const;
    void write_samples(const tof_frame_request& request, uint16_t* raw) const;

    std::shared_ptr<const scene> world_;
    factory_calibration cal_;
    int width_, height_, grid_step_;
    // What does not move (rays, the static scene's pixels), shared by every
    // synthesiser of this size: the virtual cameras all have one geometry.
    std::shared_ptr<const tof_statics> statics_;
    std::vector<pixel_model> model_;  // static scene plus the moving object
    std::vector<float> noise_;        // standard normal samples
    bool have_moving_ = false;
    int mx0_ = 0, my0_ = 0, mx1_ = -1, my1_ = -1;  // pixels the moving object touched last
};

// Sensor temperature words of a raw frame (integer degrees and 1/256 degree).
void write_temperature_words(double temperature_c, uint16_t* raw);

}  // namespace pvx3::detail
