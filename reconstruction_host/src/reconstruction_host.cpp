#include "qzhost/reconstruction_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

namespace qzhost {
namespace {

// qzapi::Reconstruction::CreateInstance()
constexpr const char* kFactorySymbol = "_ZN5qzapi14Reconstruction14CreateInstanceEv";

std::string folder_of(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Everything of a block after the serial number is plain data.
constexpr size_t kPlainStart = offsetof(qzapi::CalibrationBlock, reserved0);

}  // namespace

const char* const kLibraryName = "libqzreconstruction.so";

std::string executable_folder()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    buf[n] = '\0';
    return folder_of(buf);
}

std::string module_folder(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname)
        return {};
    return folder_of(info.dli_fname);
}

std::vector<std::string> candidates(const std::string& explicit_path, const std::vector<std::string>& folders)
{
    if (!explicit_path.empty())
        return {explicit_path};
    std::vector<std::string> out;
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        const std::string path = folder + "/" + kLibraryName;
        bool seen = false;
        for (const std::string& p : out)
            seen = seen || p == path;
        if (!seen)
            out.push_back(path);
    }
    out.push_back(kLibraryName);
    return out;
}

std::vector<std::string> sdk_candidates()
{
    const char* env = std::getenv("PVX3_RECONSTRUCTION_LIBRARY");
    return candidates(env ? env : "", {executable_folder(), module_folder(reinterpret_cast<const void*>(&sdk_candidates))});
}

library* library::load(const std::vector<std::string>& files, std::string& reason)
{
    // One object per loaded file; files are never unloaded and objects never
    // destroyed, like the library's own instance.
    static std::mutex load_mutex;
    static auto* loaded = new std::map<void*, library*>();
    std::lock_guard<std::mutex> guard(load_mutex);
    std::string tried;
    for (const std::string& path : files) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* e = dlerror();
            tried += "\n  " + path + ": " + (e ? e : "not loadable");
            continue;
        }
        if (auto known = loaded->find(handle); known != loaded->end()) {
            dlclose(handle);  // drop the extra reference; the first stays
            return known->second;
        }
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
        library* lib = new library(api, path);
        (*loaded)[handle] = lib;
        return lib;
    }
    reason = "cannot load the reconstruction library qzreconstruction (" + std::string(kLibraryName)
             + " beside the program or on the library path); tried:" + tried;
    return nullptr;
}

bool same_calibration(const qzapi::CalibrationBlock& a, const qzapi::CalibrationBlock& b)
{
    return a.frequency1 == b.frequency1 && a.frequency2 == b.frequency2 && a.serialNumber == b.serialNumber
           && std::memcmp(reinterpret_cast<const char*>(&a) + kPlainStart,
                          reinterpret_cast<const char*>(&b) + kPlainStart, sizeof a - kPlainStart)
                  == 0;
}

bool library::ensure(const setup& s, std::string& reason)
{
    if (!s.calibration) {
        reason = "no calibration to initialise the reconstruction library with";
        return false;
    }
    if (initialised_ && device_type_ == s.device_type && mode_ == s.mode && width_ == s.width
        && height_ == s.height && same_calibration(calibration_, *s.calibration))
        return true;
    const int32_t rc = api_->InitWithSize(s.device_type, s.mode, s.calibration, s.width, s.height);
    if (rc != 0) {
        initialised_ = false;
        width_ = height_ = 0;
        reason = "reconstruction library refused its initialisation (code " + std::to_string(rc) + ")";
        return false;
    }
    initialised_ = true;
    device_type_ = s.device_type;
    mode_ = s.mode;
    width_ = s.width;
    height_ = s.height;
    calibration_ = *s.calibration;
    return true;
}

bool library::initialised_with(const qzapi::CalibrationBlock& calibration) const
{
    return initialised_ && same_calibration(calibration_, calibration);
}

std::string library::version()
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::string v;
    api_->GetVersion(v);
    return v;
}

}  // namespace qzhost
