// Host side of the qzreconstruction library: finding and loading it at run
// time, and driving its single process-wide instance safely from several
// modules of one process.
//
// The library keeps one instance whose per-pixel tables belong to the last
// initialisation. Every module that computes with it (the camera SDK while
// streaming, the recording tools while re-processing) goes through one
// `library` object per loaded file and holds its lock for the whole of a
// computation; `ensure` re-initialises the instance only when the calibration,
// device type, mode or image size differ from the last initialisation.
//
// Nothing is thrown out of this interface; failures come back as false with a
// reason in words.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "qzapi/reconstruction.h"
#include "qzhost/qzhost_export.h"

namespace qzhost {

// File name of the library.
QZHOST_EXPORT extern const char* const kLibraryName;

// What the instance is initialised with (the arguments of InitWithSize).
struct setup {
    int32_t device_type = 0;
    int32_t mode = 0;  // 5: single frequency; anything else: dual frequency
    const qzapi::CalibrationBlock* calibration = nullptr;
    int32_t width = 0, height = 0;  // depth image size
};

// Folder of the running program, empty when it cannot be told.
QZHOST_EXPORT std::string executable_folder();
// Folder of the module (program or shared library) holding `address`.
QZHOST_EXPORT std::string module_folder(const void* address);

// Files to try, in order: `explicit_path` alone when it is not empty;
// otherwise kLibraryName in each folder (empty and repeated folders skipped),
// then the bare name, which the dynamic loader looks up on its search path.
QZHOST_EXPORT std::vector<std::string> candidates(const std::string& explicit_path,
                                                  const std::vector<std::string>& folders);

// The search of the camera SDK: PVX3_RECONSTRUCTION_LIBRARY when set, else
// beside the program, beside this host library (which sits beside the SDK),
// then the library search path.
QZHOST_EXPORT std::vector<std::string> sdk_candidates();

class QZHOST_EXPORT library {
public:
    // The first candidate that loads and has the factory; one object per
    // loaded file for the life of the process. Null with a reason listing
    // what was tried.
    static library* load(const std::vector<std::string>& candidates, std::string& reason);

    library(const library&) = delete;
    library& operator=(const library&) = delete;

    // Hold this lock around `ensure` and every call on `api()`.
    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(mutex_); }

    // With the lock held: initialises the instance for `s` unless it already
    // is. False with a reason when the library refuses.
    bool ensure(const setup& s, std::string& reason);
    // With the lock held: whether the last initialisation used `calibration`
    // (any size, device type or mode).
    bool initialised_with(const qzapi::CalibrationBlock& calibration) const;
    // Depth image size of the last successful initialisation (0 x 0 before).
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    qzapi::Reconstruction* api() const { return api_; }
    // The library's version text (takes the lock itself).
    std::string version();
    // The file it was loaded from.
    const std::string& path() const { return path_; }

private:
    library(qzapi::Reconstruction* api, std::string path) : api_(api), path_(std::move(path)) { }

    qzapi::Reconstruction* api_;
    std::string path_;
    std::mutex mutex_;
    bool initialised_ = false;
    int32_t device_type_ = 0, mode_ = 0, width_ = 0, height_ = 0;
    qzapi::CalibrationBlock calibration_;  // copy of the last block
};

// Byte-for-byte equality of two blocks (serial number by value).
QZHOST_EXPORT bool same_calibration(const qzapi::CalibrationBlock& a, const qzapi::CalibrationBlock& b);

}  // namespace qzhost
