// The virtual camera: device information, supported streams, the sensor and
// its options, the sensor's temperature, and the scene renderers that the
// pipeline drives.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "calibration.h"
#include "colour_render.h"
#include "engine_impl.h"
#include "parvolux3/pvx3.h"
#include "scene.h"
#include "settings.h"
#include "tof_synth.h"

namespace pvx3::detail {

// Sensor option values and their limits.
struct option_state {
    static constexpr uint16_t kIntegrationMin = 100;     // us
    static constexpr uint16_t kIntegrationMax = 3000;    // us
    static constexpr uint16_t kDistanceLimitNear = 0;    // mm
    static constexpr uint16_t kDistanceLimitFar = 7500;  // mm

    uint16_t integration_us = 1000;
    uint16_t far_mm = 6000;
    uint16_t near_mm = 300;
    bool flip_vertical = false;
    bool flip_horizontal = false;
    uint16_t filter = PVX3_FILTER_STANDARD;  // a pvx3_filter_mode
    static constexpr uint16_t kFilterMax = PVX3_FILTER_NOISE_AWARE;
    static constexpr uint16_t kFilterMaxOlder = PVX3_FILTER_STANDARD;  // PVX3_NO_NOISE_AWARE_FILTER
};

class device_impl;

class sensor_impl final : public sensor {
public:
    explicit sensor_impl(device_impl& dev) : dev_(dev) { }
    int get_option_range(int option, uint16_t& a, uint16_t& b, pvx3_error* error) override;
    int get_option(int option, uint16_t& value, pvx3_error* error) override;
    int set_option_range(int option, uint16_t a, uint16_t b, pvx3_error* error) override;
    int set_option(int option, uint16_t value, pvx3_error* error) override;

private:
    device_impl& dev_;
};

class device_impl final : public device {
public:
    explicit device_impl(const sdk_settings& settings);

    sensor* get_sensor(pvx3_error* error) override;
    std::vector<int> get_support_stream(pvx3_error* error) override;
    std::vector<pvx3_stream_format> get_support_format(pvx3_error* error) override;
    int get_calibration(int width, int height, pvx3_calibration& out, pvx3_error* error) override;

    const sdk_settings& settings() const { return settings_; }
    // Highest filter mode this camera offers.
    uint16_t filter_max() const
    {
        return settings_.noise_aware_filter ? option_state::kFilterMax : option_state::kFilterMaxOlder;
    }
    const factory_calibration& calibration() const { return calibration_; }
    const char* info(int key) const;
    bool supports(int stream, int width, int height) const;
    bool has_stream(int stream) const;

    option_state options() const;
    // Sets an option under the sensor's rules; returns a pvx3_status.
    int set_option(int option, uint16_t value, pvx3_error* error);
    int set_option_range(int option, uint16_t a, uint16_t b, pvx3_error* error);

    // Streaming state for the rule that the integration time cannot change
    // within the settle time after a start (measured on the sensor clock).
    void stream_started();
    void stream_advanced(uint64_t sensor_time_us);
    void stream_stopped();

    bool lost() const { return lost_.load(); }
    // Counts a produced frame set; false once the device is lost.
    bool count_frame_set();
    // The cable is pulled: the device is lost for good (a camera plugged in
    // again is a new device). Returns when it was lost.
    std::chrono::steady_clock::time_point unplug();
    // When the device was lost (meaningful once lost()).
    std::chrono::steady_clock::time_point lost_at() const;

    // Sensor temperature after `dt_s` more seconds of streaming.
    double advance_temperature(double dt_s, double integration_us);
    // Scene time of the next frame set; the scene clock runs while streaming.
    double advance_scene_clock(double dt_s);

    // Renderers; use them only while holding render_mutex().
    std::mutex& render_mutex() { return render_mutex_; }
    tof_synthesiser& synthesiser(int width, int height);
    colour_renderer& renderer(int width, int height);

    // The processing engine of every pipeline on this camera. Pipelines are
    // made at each open and live as long as the context, so an engine per
    // pipeline would keep one last point cloud (25 MB at colour size) per
    // open for the rest of the process.
    engine_impl& engine() { return engine_; }

private:
    sdk_settings settings_;
    factory_calibration calibration_;
    std::shared_ptr<const scene> world_;
    sensor_impl sensor_;

    mutable std::mutex mutex_;  // options, streaming state, temperature, clock
    option_state options_;
    bool streaming_ = false;
    uint64_t sensor_time_us_ = 0;
    double temperature_c_;
    std::chrono::steady_clock::time_point stopped_at_;
    double scene_time_s_ = 0;
    std::atomic<bool> lost_{false};
    std::chrono::steady_clock::time_point lost_at_;  // under mutex_
    std::atomic<int64_t> frame_sets_{0};

    std::mutex render_mutex_;
    std::map<std::pair<int, int>, std::unique_ptr<tof_synthesiser>> synthesisers_;
    std::map<std::pair<int, int>, std::unique_ptr<colour_renderer>> renderers_;

    engine_impl engine_{this};
};

// Stream formats of the virtual camera.
const std::vector<pvx3_stream_format>& all_formats();

}  // namespace pvx3::detail
