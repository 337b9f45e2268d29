// The camera's clock on the recording's time line, and the frame numbers a
// recording holds.
//
// The camera numbers frame sets and times them from the start of its stream;
// a restart (a resolution change, a module switched off and on) begins both
// again at 0. Each such stream session is anchored to the computer's clock
// once, at its first frame set, so recorded time keeps rising across sessions
// while differences within a session stay exactly the camera's.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace recording::detail {

class session_clock {
public:
    // Recorded time starts after `ns`.
    void start_after(int64_t ns) { floor_ns_ = ns; }
    // Whether a frame set with this number and time begins a new session.
    bool begins_session(uint64_t frame_number, uint64_t timestamp_us) const
    {
        return session_ == 0 || frame_number <= last_frame_ || timestamp_us < last_timestamp_us_;
    }
    // Anchors a new session: camera time `timestamp_us` happens at `now_ns`,
    // but never earlier than 1 us after `last_stamp_ns`. With `exact` the
    // given time is kept as it is (copying a recording's time line).
    void open_session(uint64_t timestamp_us, int64_t now_ns, int64_t last_stamp_ns, bool exact = false)
    {
        ++session_;
        const int64_t camera_ns = static_cast<int64_t>(timestamp_us) * 1000;
        const int64_t floor = std::max(last_stamp_ns, floor_ns_) + 1000;
        origin_ns_ = (exact ? now_ns : std::max(now_ns, floor)) - camera_ns;
    }
    void saw(uint64_t frame_number, uint64_t timestamp_us)
    {
        last_frame_ = frame_number;
        last_timestamp_us_ = timestamp_us;
    }
    int64_t stamp_of(uint64_t timestamp_us) const { return origin_ns_ + static_cast<int64_t>(timestamp_us) * 1000; }
    int session() const { return session_; }
    int64_t origin_ns() const { return origin_ns_; }

private:
    int session_ = 0;
    int64_t origin_ns_ = 0;
    int64_t floor_ns_ = 0;
    uint64_t last_frame_ = 0;
    uint64_t last_timestamp_us_ = 0;
};

// Frame numbers by session, as runs of consecutive numbers.
class frame_ranges {
public:
    using run = std::pair<uint64_t, uint64_t>;  // first, last (inclusive)

    void add(int session, uint64_t frame_number)
    {
        std::vector<run>& runs = sessions_[session];
        if (!runs.empty() && runs.back().second + 1 == frame_number)
            runs.back().second = frame_number;
        else
            runs.emplace_back(frame_number, frame_number);
    }
    void add_run(int session, uint64_t first, uint64_t last)
    {
        std::vector<run>& runs = sessions_[session];
        if (!runs.empty() && runs.back().second + 1 == first)
            runs.back().second = last;
        else
            runs.emplace_back(first, last);
    }
    const std::map<int, std::vector<run>>& sessions() const { return sessions_; }

    // [{"session": 1, "ranges": [[0, 99], [101, 250]]}, ...]
    nlohmann::json to_json() const
    {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& [session, runs] : sessions_) {
            nlohmann::json r = nlohmann::json::array();
            for (const run& x : runs)
                r.push_back({x.first, x.second});
            out.push_back({{"session", session}, {"ranges", r}});
        }
        return out;
    }
    static frame_ranges from_json(const nlohmann::json& j)
    {
        frame_ranges f;
        if (!j.is_array())
            return f;
        for (const nlohmann::json& s : j) {
            if (!s.is_object() || !s.contains("session") || !s.contains("ranges") || !s["session"].is_number_integer()
                || !s["ranges"].is_array())
                continue;
            std::vector<run>& runs = f.sessions_[s["session"].get<int>()];
            for (const nlohmann::json& r : s["ranges"])
                if (r.is_array() && r.size() == 2 && r[0].is_number_unsigned() && r[1].is_number_unsigned()
                    && r[0].get<uint64_t>() <= r[1].get<uint64_t>())
                    runs.emplace_back(r[0].get<uint64_t>(), r[1].get<uint64_t>());
        }
        return f;
    }

private:
    std::map<int, std::vector<run>> sessions_;
};

}  // namespace recording::detail
