#include "recording/pvx3_capture.h"

#include <algorithm>
#include <cstring>

#include "recording/reprocessor.h"

namespace recording {
namespace {

std::string info_text(pvx3::device* device, int key)
{
    const char* s = pvx3::pvx3_get_device_info(device, key, nullptr);
    return s ? s : "";
}

float word_float(const calibration& c, size_t i)
{
    float f = 0;
    if (i < c.words.size())
        std::memcpy(&f, &c.words[i], sizeof f);
    return f;
}

int32_t word_int(const calibration& c, size_t i)
{
    return i < c.words.size() ? static_cast<int32_t>(c.words[i]) : 0;
}

// Lens of an image of width x height seen through a camera calibrated on a
// grid of grid_w x grid_h, then mirrored as the flips say.
lens_model scaled_lens(const calibration& c, size_t k_first, size_t d_first, int grid_w, int width, int height,
                       bool centre_pixels, bool flip_vertical, bool flip_horizontal)
{
    lens_model l;
    if (grid_w <= 0 || width <= 0)
        return l;
    const double s = double(width) / grid_w;
    l.fx = word_float(c, k_first) * s;
    l.fy = word_float(c, k_first + 1) * s;
    // The colour camera's image is scaled about pixel centres (as its SDK
    // documents); depth binning keeps corner alignment.
    l.cx = centre_pixels ? (word_float(c, k_first + 2) + 0.5) * s - 0.5 : word_float(c, k_first + 2) * s;
    l.cy = centre_pixels ? (word_float(c, k_first + 3) + 0.5) * s - 0.5 : word_float(c, k_first + 3) * s;
    l.k1 = word_float(c, d_first);
    l.k2 = word_float(c, d_first + 1);
    l.p1 = word_float(c, d_first + 2);
    l.p2 = word_float(c, d_first + 3);
    l.k3 = word_float(c, d_first + 4);
    // Mirroring u -> W - 1 - u turns x into -x: cx moves and the tangential
    // term of that axis changes sign.
    if (flip_horizontal) {
        l.cx = (width - 1) - l.cx;
        l.p2 = -l.p2;
    }
    if (flip_vertical) {
        l.cy = (height - 1) - l.cy;
        l.p1 = -l.p1;
    }
    return l;
}

void fill_view(image_view& v, const pvx3::frame* f, const char* encoding, const lens_model& lens)
{
    v.data = f->get_data(nullptr);
    v.width = f->get_width(nullptr);
    v.height = f->get_height(nullptr);
    v.encoding = encoding;
    v.lens = lens;
    const size_t expected = size_t(std::max(0, v.width)) * std::max(0, v.height) * bytes_per_pixel(encoding);
    if (!v.data || expected == 0 || f->get_data_size(nullptr) < expected)
        v = image_view{};
}

}  // namespace

device_info capture_device_info(pvx3::device* device)
{
    device_info d;
    if (!device)
        return d;
    d.module_name = info_text(device, pvx3::PVX3_CAMERA_INFO_MODULE_NAME);
    d.product_number = info_text(device, pvx3::PVX3_CAMERA_INFO_PRODUCT_NUMBER);
    d.firmware_version = info_text(device, pvx3::PVX3_CAMERA_INFO_FIRMWARE_VERSION);
    d.recommended_firmware_version = info_text(device, pvx3::PVX3_CAMERA_INFO_RECOMMENDED_FIRMWARE_VERSION);
    d.serial_number = info_text(device, pvx3::PVX3_CAMERA_INFO_SERIAL_NUMBER);
    if (const char* v = pvx3::pvx3_get_version(nullptr))
        d.sdk_version = v;
    const std::vector<int> streams = device->get_support_stream(nullptr);
    const auto has = [&](int s) { return std::find(streams.begin(), streams.end(), s) != streams.end(); };
    d.has_tof = has(pvx3::PVX3_STREAM_DEPTH);
    d.has_rgb = has(pvx3::PVX3_STREAM_RGB);
    d.has_raw_phase = has(pvx3::PVX3_STREAM_RAW_PHASE);
    if (d.has_tof) {
        std::string ignored;
        if (auto r = reprocessor::create(ignored))
            d.reconstruction_version = r->version();
    }
    return d;
}

camera_settings capture_settings(pvx3::sensor* sensor, int depth_width, int depth_height, int colour_width,
                                 int colour_height)
{
    camera_settings s;
    s.depth_width = depth_width;
    s.depth_height = depth_height;
    s.colour_width = colour_width;
    s.colour_height = colour_height;
    if (!sensor)
        return s;
    uint16_t v = 0, a = 0, b = 0;
    if (sensor->get_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, v, nullptr) == 0)
        s.integration_time_us = v;
    if (sensor->get_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, a, b, nullptr) == 0) {
        s.far_mm = a;
        s.near_mm = b;
    }
    if (sensor->get_option(pvx3::PVX3_OPTION_FLIP_VERTICAL, v, nullptr) == 0)
        s.flip_vertical = v != 0;
    if (sensor->get_option(pvx3::PVX3_OPTION_FLIP_HORIZONTAL, v, nullptr) == 0)
        s.flip_horizontal = v != 0;
    if (sensor->get_option(pvx3::PVX3_OPTION_FILTER, v, nullptr) == 0)
        s.filter = v;
    // The filter parameters the camera's depth is computed with: those of
    // the library instance it drives (the same one in this process).
    std::string ignored;
    if (auto r = reprocessor::create(ignored))
        s.filter_parameters = r->filter_parameters();
    return s;
}

std::optional<calibration> capture_calibration(pvx3::device* device, int width, int height)
{
    if (!device || width <= 0 || height <= 0)
        return std::nullopt;
    pvx3::pvx3_calibration c;
    if (device->get_calibration(width, height, c, nullptr) != 0 || c.words.size() != kCalibrationWords)
        return std::nullopt;
    calibration out;
    out.device_type = c.device_type;
    out.mode = c.mode;
    out.width = c.width;
    out.height = c.height;
    out.frequency1 = c.frequency1;
    out.frequency2 = c.frequency2;
    out.serial_number = c.serial_number;
    out.words = c.words;
    return out;
}

stream_lenses lenses_for(const std::optional<calibration>& cal, const camera_settings& s)
{
    stream_lenses l;
    if (!cal)
        return l;
    const calibration& c = *cal;
    // F5-8 depth fx, fy, cx, cy on the full sensor grid, F0-4 its
    // distortion, F9 the grid width; F18-21 colour, F13-17 its distortion,
    // F22 the colour grid width.
    // The reconstruction library's rule: a 320-wide calibration grid is the
    // 2 x 2 binned mode of the 640-wide sensor, whose intrinsics it keeps.
    const int grid = word_int(c, 9) == 320 ? 640 : word_int(c, 9);
    if (s.depth_width > 0)
        l.depth = scaled_lens(c, 5, 0, grid, s.depth_width, s.depth_height, false, s.flip_vertical,
                              s.flip_horizontal);
    if (s.colour_width > 0)
        l.colour = scaled_lens(c, 18, 13, word_int(c, 22), s.colour_width, s.colour_height, true,
                               s.flip_vertical, s.flip_horizontal);
    return l;
}

bool view_frame_set(const pvx3::frameset& set, stream_mask streams, const stream_lenses& lenses,
                    frame_set_view& out)
{
    out = frame_set_view{};
    const pvx3::frame* first = nullptr;
    if (streams & bit(stream::depth))
        if (const pvx3::frame* f = set.get_depth_frame(nullptr)) {
            fill_view(out[stream::depth], f, encoding::kDepth, lenses.depth);
            first = first ? first : f;
        }
    if (streams & bit(stream::ir))
        if (const pvx3::frame* f = set.get_ir_frame(nullptr)) {
            fill_view(out[stream::ir], f, encoding::kMono16, lenses.depth);
            first = first ? first : f;
        }
    if (streams & bit(stream::colour))
        if (const pvx3::frame* f = set.get_rgb_frame(nullptr)) {
            // Streamed colour is YUYV; a frame registered to depth is B, G, R.
            const size_t pixels = size_t(std::max(0, f->get_width(nullptr))) * std::max(0, f->get_height(nullptr));
            const bool bgr = pixels > 0 && f->get_data_size(nullptr) == pixels * 3;
            fill_view(out[stream::colour], f, bgr ? encoding::kBgr8 : encoding::kYuyv, lenses.colour);
            first = first ? first : f;
        }
    if (streams & bit(stream::raw_phase))
        if (const pvx3::frame* f = set.get_raw_frame(nullptr)) {
            fill_view(out[stream::raw_phase], f, encoding::kMono16, lens_model{});
            first = first ? first : f;
        }
    if (!first)
        return false;
    out.frame_number = first->get_frame_number(nullptr);
    out.timestamp_us = first->get_timestamp_us(nullptr);
    return true;
}

}  // namespace recording
