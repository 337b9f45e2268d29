#include "reconstruction_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <map>

#include "qzapi/reconstruction.h"

namespace pvx3::detail {
namespace {

constexpr const char* kLibraryName = "libqzreconstruction.so";
// qzapi::Reconstruction::CreateInstance()
constexpr const char* kFactorySymbol = "_ZN5qzapi14Reconstruction14CreateInstanceEv";
// Device family of the virtual camera's sensor (temperature in words 26/28,
// drift polynomials from the calibration, colour registration).
constexpr int32_t kDeviceType = 4;
constexpr int32_t kDualFrequencyMode = 0;

std::string folder_of(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string executable_folder()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    buf[n] = '\0';
    return folder_of(buf);
}

std::string sdk_folder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&executable_folder), &info) == 0 || !info.dli_fname)
        return {};
    return folder_of(info.dli_fname);
}

}  // namespace

reconstruction_engine* reconstruction_engine::load(const std::string& explicit_path, std::string& reason)
{
    // One engine per loaded library file. Libraries are never unloaded and
    // engines never destroyed, like the library's own instance.
    static std::mutex load_mutex;
    static auto* engines = new std::map<void*, reconstruction_engine*>();
    std::lock_guard<std::mutex> lock(load_mutex);
    std::vector<std::string> candidates;
    if (!explicit_path.empty()) {
        candidates.push_back(explicit_path);
    } else {
        const std::string exe = executable_folder();
        const std::string sdk = sdk_folder();
        if (!exe.empty())
            candidates.push_back(exe + "/" + kLibraryName);
        if (!sdk.empty() && sdk != exe)
            candidates.push_back(sdk + "/" + kLibraryName);
        candidates.push_back(kLibraryName);
    }
    std::string tried;
    for (const std::string& path : candidates) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* e = dlerror();
            tried += "\n  " + path + ": " + (e ? e : "not loadable");
            continue;
        }
        if (auto known = engines->find(handle); known != engines->end())
            return known->second;
        using factory_fn = qzapi::Reconstruction* (*)();
        auto factory = reinterpret_cast<factory_fn>(dlsym(handle, kFactorySymbol));
        if (!factory) {
            tried += "\n  " + path + ": no qzapi::Reconstruction::CreateInstance";
            dlclose(handle);
            continue;
        }
        qzapi::Reconstruction* api = factory();
        if (!api) {
            tried += "\n  " + path + ": CreateInstance returned no instance";
            continue;  // keep it loaded: the library may hold state
        }
        reconstruction_engine* engine = new reconstruction_engine(api);
        (*engines)[handle] = engine;
        return engine;
    }
    reason = "cannot load the reconstruction library qzreconstruction (" + std::string(kLibraryName)
             + " beside the program or on the library path); tried:" + tried;
    return nullptr;
}

bool reconstruction_engine::ensure_locked(const factory_calibration& cal, int width, int height, std::string& reason)
{
    if (initialised_for_ == &cal && init_width_ == width && init_height_ == height)
        return true;
    qzapi::CalibrationBlock block;
    fill_calibration_block(cal, block, width * 2 == cal.depth.width && height * 2 == cal.depth.height);
    const int32_t rc = api_->InitWithSize(kDeviceType, kDualFrequencyMode, &block, width, height);
    if (rc != 0) {
        initialised_for_ = nullptr;
        reason = "reconstruction library refused its initialisation (code " + std::to_string(rc) + ")";
        return false;
    }
    initialised_for_ = &cal;
    init_width_ = width;
    init_height_ = height;
    return true;
}

bool reconstruction_engine::compute_depth(const depth_job& job, pixel_buffer& depth, std::string& reason)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ensure_locked(*job.calibration, job.width, job.height, reason))
        return false;
    api_->SetOrientation(job.orientation);
    api_->SetFilterEnabled(job.filter);
    uint16_t* out = nullptr;
    api_->ComputeDepth(job.raw, &out, job.width, job.height);
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
    std::lock_guard<std::mutex> lock(mutex_);
    const bool colour_grid = width == cal.colour.width && height == cal.colour.height;
    // Any initialisation of this calibration serves the colour grid; the depth
    // grid needs its own size.
    if (colour_grid && initialised_for_ == &cal) {
    } else if (!ensure_locked(cal, colour_grid ? cal.depth.width : width, colour_grid ? cal.depth.height : height,
                              reason)) {
        return false;
    }
    xyz.assign(size_t(width) * height * 3, 0.0f);
    const int32_t rc = api_->DepthToPoints(depth, xyz.data(), width, height);
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
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ensure_locked(cal, cal.depth.width, cal.depth.height, reason))
        return false;
    const size_t depth_pixels = size_t(cal.depth.width) * cal.depth.height;
    // The library frees the depth buffer it is given and hands out a new one.
    uint16_t* depth_buffer = new uint16_t[depth_pixels];
    std::memcpy(depth_buffer, depth, depth_pixels * 2);
    uint8_t* colour = nullptr;
    int32_t w = 0, h = 0;
    api_->AlignDepthToColour(&colour, &depth_buffer, yuyv, colour_width, colour_height, &w, &h);
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
