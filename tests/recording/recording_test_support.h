// Shared set-up of the recording tests: recordings made from the virtual
// camera (paced as fast as consumed), with copies of what the SDK handed out
// to compare the file against; scratch folders.
#pragma once

#include <ostream>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <parvolux3/pvx3.h>

#include "recording/types.h"
#include "recording/writer.h"

namespace recording_test {

// A fresh folder under the system's temporary folder, removed with the object.
class scratch_folder {
public:
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct capture_case {
    const char* name = "";
    int width = 640, height = 480;
    int colour_width = 1920, colour_height = 1080;
    bool flip_vertical = false, flip_horizontal = false;
    recording::compression compress = recording::compression::lz4;
    recording::stream_mask streams = recording::kAllStreamBits;
};

// Test names print the case's name (found by argument-dependent lookup).
inline void PrintTo(const capture_case& c, std::ostream* os) { *os << c.name; }

// What the SDK handed out for one frame set.
struct sdk_frame_set {
    uint64_t number = 0, timestamp_us = 0;
    std::vector<uint8_t> pixels[recording::kStreamCount];
    int width[recording::kStreamCount] = {}, height[recording::kStreamCount] = {};
    double depth_lens[9] = {};  // the SDK's own intrinsics (unmirrored)
    double colour_lens[9] = {};
};

struct capture_result {
    std::vector<sdk_frame_set> frames;
    recording::camera_settings settings;
    std::optional<recording::calibration> calibration;
    recording::writer_status status;
    bool closed = false;
    std::string close_error;
};

// Records `count` frame sets of the virtual camera into `path` through the
// writer, as the viewer and the tool do. Variables apply for the capture.
capture_result capture(const std::string& path, const capture_case& c, int count,
                       const recording::writer_options& options = {},
                       std::initializer_list<std::pair<const std::string, std::string>> environment = {});

// Reads a whole file.
std::vector<char> file_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::vector<char>& bytes);

}  // namespace recording_test
