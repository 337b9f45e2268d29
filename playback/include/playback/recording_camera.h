// A recording played back as a camera: the pvx3 context, device, sensor,
// configuration, pipeline and processing engine of a camera whose frame sets
// come from a recording file, so that an acquisition loop written against
// the pvx3 interfaces shows, measures and saves a recording exactly as it
// does a camera.
//
// The pipeline hands out the recorded frame sets paced by their recorded
// time stamps (scaled by the speed), or, paused, the frame set the timeline
// asks for (step, seek). Settings that came from the camera are read-only;
// the distance range (display) and the filter option (re-processing) may be
// changed. When the recording holds raw phase frames and re-processing is
// on, depth is recomputed from them with qzreconstruction and the recorded
// calibration, with the filter option as now set.
//
// All methods are safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <recording/reader.h>

#include "playback/host_context.h"

namespace playback {

// Where the timeline stands: the frame set handed out last.
struct position {
    size_t index = 0;       // of the frame set shown, from 0
    size_t count = 0;       // frame sets in the recording
    bool shown = false;     // a frame set has been handed out
    double seconds = 0;     // its time since the first frame set
    double duration_s = 0;  // first to last frame set
    bool playing = false;
    bool loop = false;
    double speed = 1;
    uint64_t passes = 0;  // times playback wrapped round (loop)
};

class recording_camera : public host_context {
public:
    // Opens the file; null with a message in words (and the reader's status)
    // when it is not a readable recording or holds no image streams.
    static std::unique_ptr<recording_camera> open(const std::string& path, std::string& error,
                                                  recording::open_status* status = nullptr);
    ~recording_camera();

    // "Recording: " + the file's name.
    const std::string& display_name() const;
    const std::string& path() const;
    recording::stream_mask streams() const;

    // --- timeline
    void play();
    void pause();
    void toggle_play();
    // Pauses and shows the frame set `delta` away from the one shown.
    void step(int delta);
    // Shows frame set `index` (clamped); keeps playing from there if playing.
    void seek(size_t index);
    // 0.25 to 4 (clamped).
    void set_speed(double speed);
    void set_loop(bool loop);
    position where() const;

    // --- re-processing of raw phase frames
    bool can_reprocess() const;
    // Why re-processing is not possible (empty when it is).
    std::string reprocess_unavailable_reason() const;
    void set_reprocess(bool on);
    bool reprocessing() const;
    // Recorded depth at a pixel of the frame set shown (0 when unknown); with
    // re-processing on, the frames handed out carry the recomputed depth.
    uint16_t recorded_depth_at(int x, int y) const;
    // --- depth registered to colour (RGBD Fusion)
    // Needs depth and colour in the recording, a recorded calibration and the
    // reconstruction library; why not (empty when possible).
    std::string registration_unavailable_reason() const;
    bool can_register() const { return registration_unavailable_reason().empty(); }

    // Frame sets that could not be read since the last call, with the last
    // reason.
    size_t take_read_failures(std::string& last_error);

    // --- host_context / pvx3::context
    pvx3::pipeline* create_pipeline() override;
    pvx3::config* create_config() override;
    const char* device_info(int key) override;
    int query_devices(pvx3::pvx3_error* error = nullptr) override;
    pvx3::device* get_device(pvx3::pvx3_error* error = nullptr) override;

    class impl;

private:
    std::string library_unavailable_reason() const;
    explicit recording_camera(std::unique_ptr<impl> d);
    std::unique_ptr<impl> d_;
};

}  // namespace playback
