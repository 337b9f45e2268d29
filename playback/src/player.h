// The timeline of a recording played back: which frame set is handed out
// next and when. Playing, frame sets are due at their recorded time stamps
// scaled by the speed, counted from an anchor (the frame set and wall time
// where playing last began, or where it fell too far behind); paused, only
// the frame set asked for (step, seek, refresh) is handed out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace playback::detail {

class player {
public:
    using clock = std::chrono::steady_clock;
    static constexpr double kMinSpeed = 0.25, kMaxSpeed = 4.0;
    // A frame set this late re-anchors the timeline instead of hurrying on.
    static constexpr std::chrono::milliseconds kMaxLag{250};
    // Paused, the frame set shown is handed out again this often, as a camera
    // looking at a still scene would: saving and measuring go on working.
    static constexpr std::chrono::milliseconds kPausedRepeat{100};

    explicit player(std::vector<int64_t> stamps_ns);

    // The pipeline starts or stops; a start shows the frame set at the
    // current place again.
    void start();
    void stop();
    // Waits at most `timeout` for the next frame set to hand out. Null on
    // timeout or when stopped (then `stopped` is set).
    std::optional<size_t> next(std::chrono::milliseconds timeout, bool& stopped);
    void play();
    void pause();
    void toggle();
    void step(int delta);
    void seek(size_t index);
    void set_speed(double speed);
    void set_loop(bool loop);
    // Hands the frame set shown out again (settings that change its picture).
    void refresh();

    struct state {
        size_t shown = 0;
        bool any_shown = false;
        bool playing = false, loop = false;
        double speed = 1;
        uint64_t passes = 0;
    };
    state now() const;
    size_t size() const { return stamps_.size(); }
    int64_t stamp(size_t i) const { return stamps_[i]; }

private:
    size_t clamp(long long i) const;

    const std::vector<int64_t> stamps_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool started_ = false;
    bool playing_ = true;
    bool loop_ = false;
    double speed_ = 1;
    uint64_t passes_ = 0;
    size_t next_ = 0;   // handed out next while playing
    size_t shown_ = 0;  // handed out last
    bool any_shown_ = false;
    std::optional<size_t> show_;  // asked for while paused (or a jump while playing)
    bool anchored_ = false;
    clock::time_point handed_out_;  // when a frame set was handed out last
    clock::time_point anchor_wall_;
    int64_t anchor_stamp_ = 0;
};

}  // namespace playback::detail
