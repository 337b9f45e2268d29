// What `tessivue-cli info` reports about a recording: streams, counts,
// duration, measured frame rate, gaps in frame numbers, drops, device,
// calibration, settings and size, as text or JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recording/reader.h"
#include "recording/types.h"

namespace recording {

struct stream_description {
    stream which = stream::depth;
    size_t messages = 0;
    std::string encoding;  // of the first message
    int width = 0, height = 0;
};

struct gap {
    int session = 0;
    uint64_t first_missing = 0, last_missing = 0;
};

struct recording_description {
    std::string path;
    uint64_t file_bytes = 0;
    recording_header header;
    std::optional<device_info> device;
    std::vector<stream_description> streams;
    size_t frame_sets = 0;
    double duration_s = 0;    // first to last frame set
    double measured_fps = 0;  // frame sets per second within sessions
    int sessions = 0;
    std::vector<gap> gaps;
    uint64_t missing_frames = 0;
    bool frame_numbers_scanned = false;  // no summary: numbers were read from the frames
    std::optional<recording_summary> summary;
    std::optional<calibration> calibration_first;
    size_t calibration_records = 0;
    camera_settings settings_first;
    size_t settings_changes = 0;  // records after the first, sessions not counted
    std::vector<std::string> warnings;
};

// Reads what the description needs (without a summary, every frame set's
// number: slow on long recordings). Unreadable frame sets become warnings.
recording_description describe(reader& r);

std::string to_text(const recording_description& d);
std::string to_json_text(const recording_description& d);

// How a recording that cannot be opened is described: {"path", "readable":
// false, "status", "error"}.
std::string unreadable_json_text(const std::string& path, open_status status, const std::string& error);

const char* open_status_name(open_status s);

}  // namespace recording
