// Writes a recording. The caller (an acquisition thread) hands over frame
// sets with `submit`, which copies the pixels into recycled buffers and
// returns at once; a thread of the writer serialises, compresses and writes
// them. When the disk cannot keep up, the bounded queue first drops whole raw
// phase frames, then whole frame sets, and counts both; the caller is never
// held up by the disk.
//
// The writer stops by itself, with a reason in words, when the disk is about
// to fill up (it closes the file properly while there is room for the index),
// when the file's folder is removed, or when a write fails. Everything written
// before stays readable; after a failed write the file may lack its index,
// which `repair` (repair.h) rebuilds.
//
// Every method is safe to call from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "recording/types.h"

namespace recording {

enum class compression { none,
                         lz4,
                         bz2 };
const char* compression_name(compression c);
bool compression_from_name(const std::string& name, compression& out);

// Why a recording holds no raw phase frames, or that it does.
enum class raw_phase_state { recorded,
                             not_offered,
                             not_selected };

struct writer_options {
    compression compress = compression::lz4;
    // Chunks of raw phase frames. LZ4 shrinks these noisy samples only to
    // about 72 %, while reading one back through the bag library costs
    // about 8 ms more (its LZ4 with the content checksum) than reading it
    // plain, which live re-processing pays on every frame set shown, and
    // compressing it costs the writer thread a similar time per frame set.
    compression raw_compress = compression::none;
    // Bytes of frame sets waiting for the disk at most; beyond, frame sets
    // are dropped whole.
    uint64_t queue_bytes = uint64_t(768) << 20;
    // Raw phase frames are only queued while the queue holds less than this;
    // beyond, they are dropped whole and the processed streams go on.
    uint64_t raw_queue_bytes = uint64_t(512) << 20;
    // Size of the bag's chunks before compression.
    uint32_t chunk_bytes = 768 * 1024;
    // The writer stops while the disk still has this much room besides what
    // the next frame set and the index need.
    uint64_t disk_reserve_bytes = uint64_t(32) << 20;
    // Who made the recording ("tessivue-cli 1.0.0"), for the header.
    std::string producer;
    raw_phase_state raw_phase = raw_phase_state::not_selected;
    // Off-line writing (re-processing a recording): submit waits for room
    // instead of dropping, and the time line starts at `start_ns` rather
    // than now (0: now).
    bool wait_for_room = false;
    int64_t start_ns = 0;
};

struct writer_status {
    uint64_t frame_sets_submitted = 0;  // handed to submit
    uint64_t frame_sets_written = 0;
    uint64_t frame_sets_dropped = 0;  // dropped whole: the queue was full
    uint64_t raw_frames_written = 0;
    uint64_t raw_frames_dropped = 0;                // raw phase frames dropped whole
    uint64_t bytes_written = 0;                     // size of the file so far
    uint64_t queue_bytes = 0;                       // waiting for the disk
    int64_t first_stamp_ns = 0, last_stamp_ns = 0;  // recorded time span
    bool stopped = false;                           // no longer accepts frame sets
    std::string problem;                            // why it stopped by itself; empty otherwise
};

class writer {
public:
    // Creates the file (an existing file is replaced) and writes the header;
    // null with a message in words when the file cannot be made.
    static std::unique_ptr<writer> create(const std::string& path, const writer_options& options,
                                          std::string& error);
    ~writer();  // closes, as close() does
    writer(const writer&) = delete;
    writer& operator=(const writer&) = delete;

    // Recorded once, before the frame sets that follow.
    void set_device_info(const device_info& info);
    // Recorded when it differs from the last one.
    void set_calibration(const calibration& cal);
    // Recorded when it differs from the last one; applies from the next
    // frame set submitted.
    void set_settings(const camera_settings& settings);

    // Queues a copy of the frame set; never waits for the disk (unless the
    // options say so). False when it was dropped whole (counted) or the
    // writer has stopped. The recording time is the camera's capture time
    // anchored to the computer's clock; `stamp_ns` (when not 0) sets it
    // instead, to copy a recording's time line.
    bool submit(const frame_set_view& frames, int64_t stamp_ns = 0);

    writer_status status() const;
    const std::string& path() const;

    // Writes what is queued, the summary and the index, and closes the file.
    // True when the file is complete; otherwise `error` says why (the
    // problem that stopped the writer, or the failing close).
    bool close(std::string& error);

    class impl;

private:
    explicit writer(std::unique_ptr<impl> d);
    std::unique_ptr<impl> d_;
};

}  // namespace recording
