#include "device_impl.h"

#include <cmath>

#include "status.h"

namespace pvx3::detail {
namespace {

// Warm-up: the sensor settles this far above ambient, plus a share that
// grows with the integration time (more light emitted).
constexpr double kSelfHeating = 10.0;
constexpr double kHeatingPerMs = 4.0;

}  // namespace

const std::vector<pvx3_stream_format>& all_formats()
{
    static const std::vector<pvx3_stream_format> formats = {
        {PVX3_STREAM_DEPTH, 640, 480},
        {PVX3_STREAM_DEPTH, 320, 240},
        {PVX3_STREAM_IR, 640, 480},
        {PVX3_STREAM_IR, 320, 240},
        {PVX3_STREAM_RGB, 1920, 1080},
        {PVX3_STREAM_RGB, 1280, 720},
        {PVX3_STREAM_RAW_PHASE, 640, 480},
        {PVX3_STREAM_RAW_PHASE, 320, 240},
    };
    return formats;
}

int sensor_impl::get_option_range(int option, uint16_t& a, uint16_t& b, pvx3_error* error)
{
    if (dev_.lost())
        return report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
    const option_state o = dev_.options();
    switch (option) {
    case PVX3_OPTION_INTEGRATION_TIME:
    case PVX3_OPTION_INTEGRATION_TIME_RANGE:
        a = option_state::kIntegrationMax;
        b = option_state::kIntegrationMin;
        return report_ok(error);
    case PVX3_OPTION_DISTANCE_RANGE:
        a = o.far_mm;
        b = o.near_mm;
        return report_ok(error);
    case PVX3_OPTION_DISTANCE_LIMITS:
        a = option_state::kDistanceLimitFar;
        b = option_state::kDistanceLimitNear;
        return report_ok(error);
    case PVX3_OPTION_FLIP_VERTICAL:
    case PVX3_OPTION_FLIP_HORIZONTAL:
        a = 1;
        b = 0;
        return report_ok(error);
    case PVX3_OPTION_FILTER:
        a = dev_.filter_max();
        b = PVX3_FILTER_OFF;
        return report_ok(error);
    default:
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "unknown sensor option");
    }
}

int sensor_impl::get_option(int option, uint16_t& value, pvx3_error* error)
{
    if (dev_.lost())
        return report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
    const option_state o = dev_.options();
    switch (option) {
    case PVX3_OPTION_INTEGRATION_TIME:
        value = o.integration_us;
        return report_ok(error);
    case PVX3_OPTION_FLIP_VERTICAL:
        value = o.flip_vertical;
        return report_ok(error);
    case PVX3_OPTION_FLIP_HORIZONTAL:
        value = o.flip_horizontal;
        return report_ok(error);
    case PVX3_OPTION_FILTER:
        value = o.filter;
        return report_ok(error);
    case PVX3_OPTION_INTEGRATION_TIME_RANGE:
    case PVX3_OPTION_DISTANCE_RANGE:
    case PVX3_OPTION_DISTANCE_LIMITS:
        return report(error, PVX3_ERROR_UNSUPPORTED, "this option is a range: use get_option_range");
    default:
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "unknown sensor option");
    }
}

int sensor_impl::set_option_range(int option, uint16_t a, uint16_t b, pvx3_error* error)
{
    return dev_.set_option_range(option, a, b, error);
}

int sensor_impl::set_option(int option, uint16_t value, pvx3_error* error)
{
    return dev_.set_option(option, value, error);
}

device_impl::device_impl(const sdk_settings& settings)
    : settings_(settings), calibration_(make_factory_calibration(settings.serial_number)),
      world_(std::make_shared<scene>()), sensor_(*this), temperature_c_(settings.ambient_c),
      stopped_at_(std::chrono::steady_clock::now())
{
}

sensor* device_impl::get_sensor(pvx3_error* error)
{
    if (lost()) {
        report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
        return nullptr;
    }
    if (!settings_.has_tof) {
        report(error, PVX3_ERROR_UNSUPPORTED, "this camera has no depth sensor");
        return nullptr;
    }
    report_ok(error);
    return &sensor_;
}

bool device_impl::has_stream(int stream) const
{
    if (stream == PVX3_STREAM_DEPTH || stream == PVX3_STREAM_IR)
        return settings_.has_tof;
    if (stream == PVX3_STREAM_RGB)
        return settings_.has_rgb;
    if (stream == PVX3_STREAM_RAW_PHASE)
        return settings_.has_tof && settings_.has_raw;
    return false;
}

bool device_impl::supports(int stream, int width, int height) const
{
    if (!has_stream(stream))
        return false;
    for (const pvx3_stream_format& f : all_formats())
        if (f.type == stream && f.width == width && f.height == height)
            return true;
    return false;
}

std::vector<int> device_impl::get_support_stream(pvx3_error* error)
{
    std::vector<int> streams;
    if (lost()) {
        report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
        return streams;
    }
    for (int s : {int(PVX3_STREAM_DEPTH), int(PVX3_STREAM_RGB), int(PVX3_STREAM_IR), int(PVX3_STREAM_RAW_PHASE)})
        if (has_stream(s))
            streams.push_back(s);
    report_ok(error);
    return streams;
}

std::vector<pvx3_stream_format> device_impl::get_support_format(pvx3_error* error)
{
    std::vector<pvx3_stream_format> formats;
    if (lost()) {
        report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
        return formats;
    }
    for (const pvx3_stream_format& f : all_formats())
        if (has_stream(f.type))
            formats.push_back(f);
    report_ok(error);
    return formats;
}

int device_impl::get_calibration(int width, int height, pvx3_calibration& out, pvx3_error* error)
{
    if (lost())
        return report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
    if (!has_stream(PVX3_STREAM_RAW_PHASE))
        return report(error, PVX3_ERROR_UNSUPPORTED, "this camera does not hand out raw frames or its calibration");
    if (!supports(PVX3_STREAM_DEPTH, width, height))
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "no depth format of that size");
    calibration_arguments(calibration_, width, height, out);
    return report_ok(error);
}

const char* device_impl::info(int key) const
{
    switch (key) {
    case PVX3_CAMERA_INFO_MODULE_NAME:
        return settings_.module_name.c_str();
    case PVX3_CAMERA_INFO_PRODUCT_NUMBER:
        return settings_.product_number.c_str();
    case PVX3_CAMERA_INFO_FIRMWARE_VERSION:
        return settings_.firmware_version.c_str();
    case PVX3_CAMERA_INFO_SERIAL_NUMBER:
        return settings_.serial_number.c_str();
    case PVX3_CAMERA_INFO_RECOMMENDED_FIRMWARE_VERSION:
        return settings_.recommended_firmware_version.c_str();
    default:
        return nullptr;
    }
}

option_state device_impl::options() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return options_;
}

int device_impl::set_option(int option, uint16_t value, pvx3_error* error)
{
    if (lost())
        return report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
    std::lock_guard<std::mutex> lock(mutex_);
    switch (option) {
    case PVX3_OPTION_INTEGRATION_TIME:
        if (value < option_state::kIntegrationMin || value > option_state::kIntegrationMax)
            return report(error, PVX3_ERROR_INVALID_ARGUMENT, "integration time outside 100 to 3000 us");
        if (settings_.refuse_integration_time)
            return report(error, PVX3_ERROR_NOT_NOW, "the sensor cannot change its integration time now");
        if (streaming_ && sensor_time_us_ < uint64_t(settings_.settle_ms) * 1000)
            return report(error, PVX3_ERROR_NOT_NOW, "the sensor is still settling after its start");
        options_.integration_us = value;
        return report_ok(error);
    case PVX3_OPTION_FLIP_VERTICAL:
        options_.flip_vertical = value != 0;
        return report_ok(error);
    case PVX3_OPTION_FLIP_HORIZONTAL:
        options_.flip_horizontal = value != 0;
        return report_ok(error);
    case PVX3_OPTION_FILTER:
        if (value > filter_max())
            return report(error, PVX3_ERROR_INVALID_ARGUMENT,
                          settings_.noise_aware_filter ? "filter takes 0 (off), 1 (standard) or 2 (noise-aware)"
                                                       : "filter takes 0 (off) or 1 (standard) on this camera");
        options_.filter = value;
        return report_ok(error);
    case PVX3_OPTION_INTEGRATION_TIME_RANGE:
    case PVX3_OPTION_DISTANCE_RANGE:
    case PVX3_OPTION_DISTANCE_LIMITS:
        return report(error, PVX3_ERROR_UNSUPPORTED, "this option is a range: use set_option_range");
    default:
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "unknown sensor option");
    }
}

int device_impl::set_option_range(int option, uint16_t a, uint16_t b, pvx3_error* error)
{
    if (lost())
        return report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
    if (option == PVX3_OPTION_DISTANCE_RANGE) {
        // a = far limit, b = near limit.
        if (a > option_state::kDistanceLimitFar || b >= a)
            return report(error, PVX3_ERROR_INVALID_ARGUMENT,
                          "distance range needs near < far <= 7500 mm (far limit first)");
        std::lock_guard<std::mutex> lock(mutex_);
        options_.far_mm = a;
        options_.near_mm = b;
        return report_ok(error);
    }
    if (option == PVX3_OPTION_INTEGRATION_TIME_RANGE || option == PVX3_OPTION_DISTANCE_LIMITS)
        return report(error, PVX3_ERROR_UNSUPPORTED, "this range is fixed by the sensor");
    return report(error, PVX3_ERROR_INVALID_ARGUMENT, "this option has no range to set");
}

void device_impl::stream_started()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!streaming_) {
        // Cooled down towards ambient while off.
        const double off_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped_at_).count();
        temperature_c_ = settings_.ambient_c
                         + (temperature_c_ - settings_.ambient_c) * std::exp(-off_s / settings_.warmup_s);
    }
    streaming_ = true;
    sensor_time_us_ = 0;
}

void device_impl::stream_advanced(uint64_t sensor_time_us)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sensor_time_us_ = sensor_time_us;
}

void device_impl::stream_stopped()
{
    std::lock_guard<std::mutex> lock(mutex_);
    streaming_ = false;
    stopped_at_ = std::chrono::steady_clock::now();
}

bool device_impl::count_frame_set()
{
    if (lost())
        return false;
    const int64_t n = ++frame_sets_;
    if (settings_.lost_after > 0 && n > settings_.lost_after) {
        unplug();
        return false;
    }
    return true;
}

std::chrono::steady_clock::time_point device_impl::unplug()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!lost_) {
        lost_at_ = std::chrono::steady_clock::now();
        lost_ = true;
    }
    return lost_at_;
}

std::chrono::steady_clock::time_point device_impl::lost_at() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lost_at_;
}

double device_impl::advance_temperature(double dt_s, double integration_us)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const double target = settings_.ambient_c + kSelfHeating + kHeatingPerMs * integration_us / 1000.0;
    temperature_c_ += (target - temperature_c_) * (1.0 - std::exp(-dt_s / settings_.warmup_s));
    return temperature_c_;
}

double device_impl::advance_scene_clock(double dt_s)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const double t = scene_time_s_;
    scene_time_s_ += dt_s;
    return t;
}

tof_synthesiser& device_impl::synthesiser(int width, int height)
{
    auto& slot = synthesisers_[{width, height}];
    if (!slot)
        slot = std::make_unique<tof_synthesiser>(world_, calibration_, width, height, settings_.seed);
    return *slot;
}

colour_renderer& device_impl::renderer(int width, int height)
{
    auto& slot = renderers_[{width, height}];
    if (!slot)
        slot = std::make_unique<colour_renderer>(world_, calibration_, width, height);
    return *slot;
}

}  // namespace pvx3::detail
