// Reads a recording with random access: frame sets by index or by time, the
// settings and calibration in effect for each, the device information and
// the recording's header and summary. Opening a file that is not a readable
// recording fails with a message in words and a status saying why; a damaged
// part fails the read of that frame set only. Nothing is thrown.
//
// One reader may be used from several threads; its calls are serialised.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recording/types.h"

namespace recording {

enum class open_status {
    ok,
    not_found,   // no such file
    unreadable,  // cannot be opened for reading
    not_a_bag,   // not a ROS bag (version 2.0) file
    unindexed,   // cut short or truncated: the index is missing; `repair` makes it readable
    damaged,     // a bag, but its index cannot be read
    foreign,     // a readable bag without the topics of a recording
};

// The recording's header record.
struct recording_header {
    std::string format;  // "tessivue-recording" (empty in a bag that has none)
    int version = 0;
    std::string created_utc;
    std::string producer;
    std::string compression;
    std::string raw_phase_compression;  // empty in recordings made before it was told apart
    std::string raw_phase;              // "recorded", "not offered by the camera", "not selected"
};

// Written when the recording was closed (or repaired).
struct recording_summary {
    uint64_t frame_sets_submitted = 0;
    uint64_t frame_sets_written = 0;
    uint64_t frame_sets_dropped = 0;
    uint64_t raw_frames_written = 0;
    uint64_t raw_frames_dropped = 0;
    std::string ended;  // "closed", or why the recording stopped
    bool repaired = false;
    // Frame numbers held, by session: runs of consecutive numbers.
    std::vector<std::pair<int, std::vector<std::pair<uint64_t, uint64_t>>>> frame_numbers;
};

// A settings record: what changed and when.
struct settings_change {
    int64_t stamp_ns = 0;
    int session = 0;
    camera_settings settings;
    std::vector<std::string> changed;  // empty for the first record
};

class reader {
public:
    static std::unique_ptr<reader> open(const std::string& path, std::string& error,
                                        open_status* status = nullptr);
    ~reader();
    reader(const reader&) = delete;
    reader& operator=(const reader&) = delete;

    const std::string& path() const;
    uint64_t file_bytes() const;

    // Frame sets (all stamps at which any image stream has a message).
    size_t size() const;
    int64_t stamp_ns(size_t index) const;
    // The last frame set at or before `stamp_ns` (0 when it is earlier than all).
    size_t index_at(int64_t stamp_ns) const;
    // Streams with at least one image, and messages per stream.
    stream_mask streams() const;
    size_t count(stream s) const;
    // Index of the first frame set holding stream `s` (size() when none does).
    size_t first_with(stream s) const;

    // Reads the frame set's images of the streams in `mask` that it holds.
    bool read(size_t index, frame_set& out, std::string& error, stream_mask mask = kAllStreamBits);

    // Settings in effect for a frame set (defaults when none was recorded).
    camera_settings settings_at(size_t index) const;
    // Every settings record in time order.
    const std::vector<settings_change>& settings_changes() const;
    // The calibration recorded last at or before a frame set.
    std::optional<calibration> calibration_at(size_t index) const;
    size_t calibration_count() const;

    const std::optional<device_info>& device() const;
    const recording_header& header() const;
    const std::optional<recording_summary>& summary() const;
    // Problems met while reading the text records (unreadable JSON etc.).
    const std::vector<std::string>& warnings() const;

    class impl;

private:
    explicit reader(std::unique_ptr<impl> d);
    std::unique_ptr<impl> d_;
};

}  // namespace recording
