#include "frames.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "colormap.h"
#include "status.h"
#include "version.h"

namespace pvx3::detail {
namespace {

// Writes `size` bytes under a temporary name beside `path` and renames the
// file to `path` once it is complete, so that a full disk never leaves a
// truncated file under the real name.
bool write_whole(const std::string& path, const void* data, size_t size)
{
    const std::string part = path + ".part";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok && std::rename(part.c_str(), path.c_str()) == 0)
        return true;
    std::remove(part.c_str());
    return false;
}

const char* stream_name(int stream)
{
    switch (stream) {
    case PVX3_STREAM_DEPTH:
        return "depth";
    case PVX3_STREAM_IR:
        return "ir";
    case PVX3_STREAM_RGB:
        return "rgb";
    case PVX3_STREAM_POINT_CLOUD:
        return "point_cloud";
    case PVX3_STREAM_RAW_PHASE:
        return "raw_phase";
    default:
        return "unknown";
    }
}

std::string json_escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string sidecar_json(const frame_info& f, const std::string& image_name)
{
    std::ostringstream o;
    o.precision(10);
    o << "{\n"
      << "  \"format\": \"parvolux3-frame-dump\",\n"
      << "  \"sdk_version\": \"" << kSdkVersion << "\",\n"
      << "  \"stream\": \"" << stream_name(f.stream) << "\",\n"
      << "  \"image\": \"" << json_escape(image_name) << "\",\n"
      << "  \"unit\": \"" << (f.stream == PVX3_STREAM_DEPTH ? "millimetre" : "amplitude") << "\",\n"
      << "  \"width\": " << f.width << ",\n"
      << "  \"height\": " << f.height << ",\n"
      << "  \"frame_number\": " << f.number << ",\n"
      << "  \"timestamp_us\": " << f.timestamp_us << ",\n"
      << "  \"integration_time_us\": " << f.integration_us << ",\n"
      << "  \"temperature_c\": " << f.temperature_c << ",\n"
      << "  \"flip_vertical\": " << (f.flip_vertical ? "true" : "false") << ",\n"
      << "  \"flip_horizontal\": " << (f.flip_horizontal ? "true" : "false") << ",\n"
      << "  \"registered_to_colour\": " << (f.registered ? "true" : "false") << ",\n"
      << "  \"intrinsics\": {\"fx\": " << f.lens[0] << ", \"fy\": " << f.lens[1] << ", \"cx\": " << f.lens[2]
      << ", \"cy\": " << f.lens[3] << ", \"k1\": " << f.lens[4] << ", \"k2\": " << f.lens[5]
      << ", \"p1\": " << f.lens[6] << ", \"p2\": " << f.lens[7] << ", \"k3\": " << f.lens[8] << "}\n"
      << "}\n";
    return o.str();
}

}  // namespace

frame_impl::frame_impl(const frame_info& info, pixel_buffer data) : info_(info), data_(std::move(data)) { }

frame_impl::frame_impl(const frame_info& info, std::vector<float> xyz) : info_(info), xyz_(std::move(xyz)) { }

int frame_impl::get_width(pvx3_error* error) const
{
    report_ok(error);
    return info_.width;
}

int frame_impl::get_height(pvx3_error* error) const
{
    report_ok(error);
    return info_.height;
}

const void* frame_impl::get_data(pvx3_error* error) const
{
    if (data_.empty()) {
        report(error, PVX3_ERROR_UNSUPPORTED, "a point-cloud frame has no pixel data; use get_render_data");
        return nullptr;
    }
    report_ok(error);
    return data_.data();
}

int frame_impl::dump(const char* path, pvx3_error* error) const
{
    if (!path || !*path)
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "dump: empty path");
    if (info_.stream != PVX3_STREAM_DEPTH && info_.stream != PVX3_STREAM_IR)
        return report(error, PVX3_ERROR_UNSUPPORTED, "dump: only depth and IR frames can be dumped");
    const std::string base(path);
    const std::string png = base + ".png";
    try {
        const cv::Mat image(info_.height, info_.width, CV_16UC1, const_cast<uint8_t*>(data_.data()));
        std::vector<uchar> encoded;
        if (!cv::imencode(".png", image, encoded) || !write_whole(png, encoded.data(), encoded.size()))
            return report(error, PVX3_ERROR_IO, ("dump: cannot write " + png).c_str());
    } catch (const cv::Exception& e) {
        return report(error, PVX3_ERROR_IO, ("dump: cannot write " + png + ": " + e.what()).c_str());
    }
    const std::string json = base + ".json";
    const size_t slash = png.find_last_of('/');
    const std::string text = sidecar_json(info_, slash == std::string::npos ? png : png.substr(slash + 1));
    if (!write_whole(json, text.data(), text.size()))
        return report(error, PVX3_ERROR_IO, ("dump: cannot write " + json).c_str());
    return report_ok(error);
}

void* frame_impl::get_render_data(pvx3_error* error) const
{
    if (info_.stream == PVX3_STREAM_POINT_CLOUD) {
        float* copy = new float[xyz_.size()];
        std::copy(xyz_.begin(), xyz_.end(), copy);
        report_ok(error);
        return copy;
    }
    if (info_.stream != PVX3_STREAM_DEPTH) {
        report(error, PVX3_ERROR_UNSUPPORTED, "render data exists for depth and point-cloud frames only");
        return nullptr;
    }
    std::call_once(render_once_, [this] {
        const int n = info_.width * info_.height;
        render_.resize(size_t(n) * 3);
        colourise_depth(pixels16(), n, info_.near_mm, info_.far_mm, render_.data());
    });
    report_ok(error);
    return render_.data();
}

int frame_impl::get_stream_type(pvx3_error* error) const
{
    report_ok(error);
    return info_.stream;
}

uint64_t frame_impl::get_frame_number(pvx3_error* error) const
{
    report_ok(error);
    return info_.number;
}

uint64_t frame_impl::get_timestamp_us(pvx3_error* error) const
{
    report_ok(error);
    return info_.timestamp_us;
}

size_t frame_impl::get_data_size(pvx3_error* error) const
{
    report_ok(error);
    return data_.size();
}

frame* frameset_impl::get_depth_frame(pvx3_error* error) const
{
    report_ok(error);
    return const_cast<frame_impl*>(frames_.depth.get());
}

frame* frameset_impl::get_rgb_frame(pvx3_error* error) const
{
    report_ok(error);
    return const_cast<frame_impl*>(frames_.rgb.get());
}

frame* frameset_impl::get_ir_frame(pvx3_error* error) const
{
    report_ok(error);
    return const_cast<frame_impl*>(frames_.ir.get());
}

frame* frameset_impl::get_raw_frame(pvx3_error* error) const
{
    report_ok(error);
    return const_cast<frame_impl*>(frames_.raw.get());
}

const frame_impl* as_impl(const frame* f) { return dynamic_cast<const frame_impl*>(f); }

}  // namespace pvx3::detail
