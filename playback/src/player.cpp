#include "player.h"

#include <algorithm>

namespace playback::detail {

player::player(std::vector<int64_t> stamps_ns) : stamps_(std::move(stamps_ns)) { }

size_t player::clamp(long long i) const
{
    if (stamps_.empty() || i < 0)
        return 0;
    return std::min(static_cast<size_t>(i), stamps_.size() - 1);
}

void player::start()
{
    std::lock_guard<std::mutex> lock(m_);
    started_ = true;
    if (!show_)
        show_ = any_shown_ ? shown_ : std::min(next_, stamps_.empty() ? 0 : stamps_.size() - 1);
    anchored_ = false;
    cv_.notify_all();
}

void player::stop()
{
    std::lock_guard<std::mutex> lock(m_);
    started_ = false;
    cv_.notify_all();
}

std::optional<size_t> player::next(std::chrono::milliseconds timeout, bool& stopped)
{
    std::unique_lock<std::mutex> lock(m_);
    const clock::time_point deadline = clock::now() + timeout;
    stopped = false;
    for (;;) {
        if (!started_ || stamps_.empty()) {
            stopped = !started_;
            return std::nullopt;
        }
        if (show_) {
            const size_t i = *show_;
            show_.reset();
            next_ = i + 1;
            shown_ = i;
            any_shown_ = true;
            anchored_ = false;
            handed_out_ = clock::now();
            return i;
        }
        if (playing_) {
            if (next_ >= stamps_.size()) {
                if (loop_) {
                    next_ = 0;
                    ++passes_;
                    anchored_ = false;
                } else {
                    playing_ = false;
                    continue;
                }
            }
            const clock::time_point now = clock::now();
            if (!anchored_) {
                // The frame set after the one shown is due one recorded
                // interval after it, so a pass keeps its recorded length.
                anchor_wall_ = now;
                anchor_stamp_ = stamps_[next_];
                if (any_shown_ && next_ > 0 && shown_ + 1 == next_)
                    anchor_stamp_ = stamps_[shown_];
                anchored_ = true;
            }
            const auto offset = std::chrono::nanoseconds(
                static_cast<int64_t>(double(stamps_[next_] - anchor_stamp_) / speed_));
            const clock::time_point due = anchor_wall_ + std::chrono::duration_cast<clock::duration>(offset);
            if (now >= due) {
                const size_t i = next_++;
                shown_ = i;
                any_shown_ = true;
                // Without loop, playing ends with the last frame set.
                if (next_ >= stamps_.size() && !loop_)
                    playing_ = false;
                if (now - due > kMaxLag) {
                    anchor_wall_ = now;
                    anchor_stamp_ = stamps_[i];
                }
                handed_out_ = now;
                return i;
            }
            if (cv_.wait_until(lock, std::min(due, deadline)) == std::cv_status::timeout && clock::now() >= deadline
                && clock::now() < due)
                return std::nullopt;
            continue;
        }
        if (any_shown_) {
            const clock::time_point again = handed_out_ + kPausedRepeat;
            if (clock::now() >= again) {
                handed_out_ = clock::now();
                return shown_;
            }
            if (cv_.wait_until(lock, std::min(again, deadline)) == std::cv_status::timeout
                && clock::now() >= deadline)
                return std::nullopt;
            continue;
        }
        if (cv_.wait_until(lock, deadline) == std::cv_status::timeout)
            return std::nullopt;
    }
}

void player::play()
{
    std::lock_guard<std::mutex> lock(m_);
    if (playing_)
        return;
    playing_ = true;
    // At the end without looping, play starts over.
    next_ = show_ ? *show_ : any_shown_ ? shown_ + 1
                                        : next_;
    if (next_ >= stamps_.size() && !loop_)
        next_ = 0;
    anchored_ = false;
    cv_.notify_all();
}

void player::pause()
{
    std::lock_guard<std::mutex> lock(m_);
    playing_ = false;
    cv_.notify_all();
}

void player::toggle()
{
    bool playing;
    {
        std::lock_guard<std::mutex> lock(m_);
        playing = playing_;
    }
    playing ? pause() : play();
}

void player::step(int delta)
{
    std::lock_guard<std::mutex> lock(m_);
    playing_ = false;
    const long long from = show_ ? static_cast<long long>(*show_) : any_shown_ ? static_cast<long long>(shown_)
                                                                               : 0;
    show_ = clamp(from + delta);
    cv_.notify_all();
}

void player::seek(size_t index)
{
    std::lock_guard<std::mutex> lock(m_);
    show_ = clamp(static_cast<long long>(index));
    cv_.notify_all();
}

void player::set_speed(double speed)
{
    std::lock_guard<std::mutex> lock(m_);
    speed_ = std::clamp(speed, kMinSpeed, kMaxSpeed);
    anchored_ = false;
    cv_.notify_all();
}

void player::set_loop(bool loop)
{
    std::lock_guard<std::mutex> lock(m_);
    loop_ = loop;
    cv_.notify_all();
}

void player::refresh()
{
    std::lock_guard<std::mutex> lock(m_);
    if (!playing_ && any_shown_ && !show_)
        show_ = shown_;
    cv_.notify_all();
}

player::state player::now() const
{
    std::lock_guard<std::mutex> lock(m_);
    state s;
    // A frame set asked for counts as the place at once.
    s.shown = show_.value_or(shown_);
    s.any_shown = any_shown_ || show_.has_value();
    s.playing = playing_;
    s.loop = loop_;
    s.speed = speed_;
    s.passes = passes_;
    return s;
}

}  // namespace playback::detail
