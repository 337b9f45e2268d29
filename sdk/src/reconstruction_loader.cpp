#include "reconstruction_loader.h"

#include <cstring>
#include <map>

#include "qzapi/reconstruction.h"
#include "qzhost/reconstruction_host.h"

namespace pvx3::detail {
namespace {

void calibration_setup(const factory_calibration& cal, int width, int height, qzapi::CalibrationBlock& block,
                       qzhost::setup& s)
{
    fill_calibration_block(cal, block, width * 2 == cal.depth.width && height * 2 == cal.depth.height);
    s.device_type = kReconstructionDeviceType;
    s.mode = kReconstructionMode;
    s.calibration = &block;
    s.width = width;
    s.height = height;
}

}  // namespace

reconstruction_engine* reconstruction_engine::load(const std::string& explicit_path, std::string& reason)
{
    // One engine per loaded library file, never destroyed, like the
    // library's own instance.
    static std::mutex load_mutex;
    static auto* engines = new std::map<qzhost::library*, reconstruction_engine*>();
    // Beside the program, beside this SDK, then the library search path.
    const std::vector<std::string> files = qzhost::candidates(
        explicit_path, {qzhost::executable_folder(), qzhost::module_folder(reinterpret_cast<const void*>(&reconstruction_engine::load))});
    qzhost::library* host = qzhost::library::load(files, reason);
    if (!host)
        return nullptr;
    std::lock_guard<std::mutex> lock(load_mutex);
    reconstruction_engine*& engine = (*engines)[host];
    if (!engine)
        engine = new reconstruction_engine(host);
    return engine;
}

bool reconstruction_engine::ensure_locked(const factory_calibration& cal, int width, int height, std::string& reason)
{
    qzapi::CalibrationBlock block;
    qzhost::setup s;
    calibration_setup(cal, width, height, block, s);
    return host_->ensure(s, reason);
}

bool reconstruction_engine::initialised_with_locked(const factory_calibration& cal) const
{
    if (host_->width() <= 0)
        return false;
    qzapi::CalibrationBlock block;
    fill_calibration_block(cal, block, host_->width() * 2 == cal.depth.width && host_->height() * 2 == cal.depth.height);
    return host_->initialised_with(block);
}

bool reconstruction_engine::compute_depth(const depth_job& job, pixel_buffer& depth, std::string& reason)
{
    auto lock = host_->lock();
    if (!ensure_locked(*job.calibration, job.width, job.height, reason))
        return false;
    host_->api()->SetOrientation(job.orientation);
    host_->api()->SetFilterEnabled(job.filter);
    uint16_t* out = nullptr;
    host_->api()->ComputeDepth(job.raw, &out, job.width, job.height);
    if (!out) {
        reason = "reconstruction library computed no depth image";
        return false;
    }
    const size_t bytes = size_t(job.width) * job.height * 2;
    depth.resize(bytes);
    std::memcpy(depth.data(), out, bytes);
    delete[] out;
    return true;
}

bool reconstruction_engine::depth_to_points(const factory_calibration& cal, const uint16_t* depth, int width,
                                            int height, std::vector<float>& xyz, std::string& reason)
{
    auto lock = host_->lock();
    const bool colour_grid = width == cal.colour.width && height == cal.colour.height;
    // Any initialisation of this calibration serves the colour grid; the depth
    // grid needs its own size.
    if (colour_grid && initialised_with_locked(cal)) {
    } else if (!ensure_locked(cal, colour_grid ? cal.depth.width : width, colour_grid ? cal.depth.height : height,
                              reason)) {
        return false;
    }
    // The library writes every value; a reused buffer needs no clearing.
    xyz.resize(size_t(width) * height * 3);
    const int32_t rc = host_->api()->DepthToPoints(depth, xyz.data(), width, height);
    if (rc != 0) {
        reason = "reconstruction library could not convert depth to points (code " + std::to_string(rc) + ")";
        return false;
    }
    return true;
}

bool reconstruction_engine::align(const factory_calibration& cal, const uint16_t* depth, const uint8_t* yuyv,
                                  int colour_width, int colour_height, pixel_buffer& registered_depth,
                                  pixel_buffer& bgr, std::string& reason)
{
    auto lock = host_->lock();
    if (!ensure_locked(cal, cal.depth.width, cal.depth.height, reason))
        return false;
    const size_t depth_pixels = size_t(cal.depth.width) * cal.depth.height;
    // The library frees the depth buffer it is given and hands out a new one.
    uint16_t* depth_buffer = new uint16_t[depth_pixels];
    std::memcpy(depth_buffer, depth, depth_pixels * 2);
    uint8_t* colour = nullptr;
    int32_t w = 0, h = 0;
    host_->api()->AlignDepthToColour(&colour, &depth_buffer, yuyv, colour_width, colour_height, &w, &h);
    if (!colour || w != colour_width || h != colour_height) {
        delete[] colour;
        delete[] depth_buffer;
        reason = "reconstruction library could not align depth to the colour image";
        return false;
    }
    const size_t pixels = size_t(w) * h;
    registered_depth.resize(pixels * 2);
    std::memcpy(registered_depth.data(), depth_buffer, pixels * 2);
    bgr.assign(colour, colour + pixels * 3);
    delete[] depth_buffer;
    delete[] colour;
    return true;
}

}  // namespace pvx3::detail
