#include "memory_frames.h"
#include "error_out.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace playback::detail {
namespace {

pvx3::frame* frame_or_null(const std::shared_ptr<memory_frame>& f, pvx3::pvx3_error* e)
{
    ok(e);
    return f.get();
}

// The sidecar a camera's dump writes, for a recorded frame.
std::string sidecar(const memory_frame& f, const std::string& image_name)
{
    const frame_meta& m = f.meta();
    const recording::lens_model& l = m.lens;
    std::ostringstream o;
    o << "{\n"
      << "  \"format\": \"parvolux3-frame-dump\",\n"
      << "  \"sdk_version\": \"" << pvx3::pvx3_get_version(nullptr) << "\",\n"
      << "  \"stream\": \"" << (m.stream == pvx3::PVX3_STREAM_DEPTH ? "depth" : "ir") << "\",\n"
      << "  \"image\": \"" << image_name << "\",\n"
      << "  \"unit\": \"" << (m.stream == pvx3::PVX3_STREAM_DEPTH ? "millimetre" : "amplitude") << "\",\n"
      << "  \"width\": " << f.get_width() << ",\n"
      << "  \"height\": " << f.get_height() << ",\n"
      << "  \"frame_number\": " << m.frame_number << ",\n"
      << "  \"timestamp_us\": " << m.timestamp_us << ",\n"
      << "  \"integration_time_us\": " << m.integration_us << ",\n"
      << "  \"flip_vertical\": " << (m.flip_vertical ? "true" : "false") << ",\n"
      << "  \"flip_horizontal\": " << (m.flip_horizontal ? "true" : "false") << ",\n"
      << "  \"registered_to_colour\": " << (m.registered ? "true" : "false") << ",\n"
      << "  \"intrinsics\": {\"fx\": " << l.fx << ", \"fy\": " << l.fy << ", \"cx\": " << l.cx << ", \"cy\": " << l.cy
      << ", \"k1\": " << l.k1 << ", \"k2\": " << l.k2 << ", \"p1\": " << l.p1 << ", \"p2\": " << l.p2
      << ", \"k3\": " << l.k3 << "},\n"
      << "  \"source\": \"recording\"\n"
      << "}\n";
    return o.str();
}

bool write_whole(const std::string& path, const void* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

}  // namespace

memory_frame::memory_frame(const frame_meta& meta, recording::image img) : meta_(meta), img_(std::move(img)) { }

memory_frame::memory_frame(const frame_meta& meta, int width, int height, std::vector<float> xyz)
    : meta_(meta), xyz_(std::move(xyz))
{
    img_.width = width;
    img_.height = height;
}

int memory_frame::get_width(pvx3::pvx3_error* e) const
{
    ok(e);
    return img_.width;
}

int memory_frame::get_height(pvx3::pvx3_error* e) const
{
    ok(e);
    return img_.height;
}

const void* memory_frame::get_data(pvx3::pvx3_error* e) const
{
    ok(e);
    return meta_.stream == pvx3::PVX3_STREAM_POINT_CLOUD || img_.data.empty() ? nullptr : img_.data.data();
}

size_t memory_frame::get_data_size(pvx3::pvx3_error* e) const
{
    ok(e);
    return img_.data.size();
}

int memory_frame::dump(const char* path, pvx3::pvx3_error* e) const
{
    if (!path || !*path)
        return fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT, "dump: empty path");
    if (meta_.stream != pvx3::PVX3_STREAM_DEPTH && meta_.stream != pvx3::PVX3_STREAM_IR)
        return fail(e, pvx3::PVX3_ERROR_UNSUPPORTED, "dump: only depth and IR frames can be dumped");
    const std::string base(path);
    const std::string png = base + ".png";
    try {
        const cv::Mat image(img_.height, img_.width, CV_16UC1, const_cast<uint8_t*>(img_.data.data()), img_.step);
        std::vector<uchar> encoded;
        if (!cv::imencode(".png", image, encoded) || !write_whole(png, encoded.data(), encoded.size()))
            return fail(e, pvx3::PVX3_ERROR_IO, "dump: cannot write " + png);
    } catch (const cv::Exception& ex) {
        return fail(e, pvx3::PVX3_ERROR_IO, "dump: cannot write " + png + ": " + ex.what());
    }
    const size_t slash = png.find_last_of('/');
    const std::string text = sidecar(*this, slash == std::string::npos ? png : png.substr(slash + 1));
    if (!write_whole(base + ".json", text.data(), text.size()))
        return fail(e, pvx3::PVX3_ERROR_IO, "dump: cannot write " + base + ".json");
    ok(e);
    return 0;
}

void* memory_frame::get_render_data(pvx3::pvx3_error* e) const
{
    ok(e);
    if (meta_.stream == pvx3::PVX3_STREAM_POINT_CLOUD) {
        float* copy = new float[xyz_.size()];
        std::copy(xyz_.begin(), xyz_.end(), copy);
        return copy;
    }
    if (meta_.stream == pvx3::PVX3_STREAM_DEPTH && !render_.empty())
        return const_cast<uint8_t*>(render_.data());
    return nullptr;
}

int memory_frame::get_stream_type(pvx3::pvx3_error* e) const
{
    ok(e);
    return meta_.stream;
}

uint64_t memory_frame::get_frame_number(pvx3::pvx3_error* e) const
{
    ok(e);
    return meta_.frame_number;
}

uint64_t memory_frame::get_timestamp_us(pvx3::pvx3_error* e) const
{
    ok(e);
    return meta_.timestamp_us;
}

pvx3::frame* memory_frameset::get_depth_frame(pvx3::pvx3_error* e) const { return frame_or_null(depth, e); }
pvx3::frame* memory_frameset::get_rgb_frame(pvx3::pvx3_error* e) const { return frame_or_null(rgb, e); }
pvx3::frame* memory_frameset::get_ir_frame(pvx3::pvx3_error* e) const { return frame_or_null(ir, e); }
pvx3::frame* memory_frameset::get_raw_frame(pvx3::pvx3_error* e) const { return frame_or_null(raw, e); }

const memory_frame* as_memory(const pvx3::frame* f)
{
    return dynamic_cast<const memory_frame*>(f);
}

}  // namespace playback::detail
