#include "recording/describe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "disk_guard.h"
#include "json_records.h"
#include "session_clock.h"

namespace recording {

using detail::json;

namespace {

// Session of each frame set, from the settings records (each session opens
// with one); 0 when none says.
std::vector<int> sessions_of(const reader& r)
{
    std::vector<int> out(r.size(), 0);
    const std::vector<settings_change>& changes = r.settings_changes();
    size_t k = 0;
    int current = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        while (k < changes.size() && changes[k].stamp_ns <= r.stamp_ns(i))
            current = changes[k++].session;
        out[i] = current;
    }
    return out;
}

// The stream whose frames are cheapest to read for their numbers.
stream cheapest(const reader& r)
{
    for (stream s : {stream::depth, stream::ir, stream::colour, stream::raw_phase})
        if (r.streams() & bit(s))
            return s;
    return stream::depth;
}

std::string float_text(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

float word_float(const calibration& c, size_t i)
{
    float f = 0;
    if (i < c.words.size())
        std::memcpy(&f, &c.words[i], sizeof f);
    return f;
}

}  // namespace

const char* open_status_name(open_status s)
{
    switch (s) {
    case open_status::ok:
        return "ok";
    case open_status::not_found:
        return "not_found";
    case open_status::unreadable:
        return "unreadable";
    case open_status::not_a_bag:
        return "not_a_bag";
    case open_status::unindexed:
        return "unindexed";
    case open_status::damaged:
        return "damaged";
    case open_status::foreign:
        return "foreign";
    }
    return "unknown";
}

recording_description describe(reader& r)
{
    recording_description d;
    d.path = r.path();
    d.file_bytes = r.file_bytes();
    d.header = r.header();
    d.device = r.device();
    d.summary = r.summary();
    d.frame_sets = r.size();
    d.warnings = r.warnings();
    for (stream s : kAllStreams) {
        if (!(r.streams() & bit(s)))
            continue;
        stream_description sd;
        sd.which = s;
        sd.messages = r.count(s);
        frame_set f;
        std::string error;
        if (r.read(r.first_with(s), f, error, bit(s)) && f[s]) {
            sd.encoding = f[s]->encoding;
            sd.width = f[s]->width;
            sd.height = f[s]->height;
        } else if (!error.empty()) {
            d.warnings.push_back(error);
        }
        d.streams.push_back(sd);
    }
    if (d.frame_sets > 1)
        d.duration_s = double(r.stamp_ns(d.frame_sets - 1) - r.stamp_ns(0)) / 1e9;

    // Frame rate within sessions (the pause of a restart is not frame time).
    const std::vector<int> session = sessions_of(r);
    double span = 0, intervals = 0;
    for (size_t i = 1; i < r.size(); ++i)
        if (session[i] == session[i - 1]) {
            span += double(r.stamp_ns(i) - r.stamp_ns(i - 1)) / 1e9;
            intervals += 1;
        }
    if (span > 0)
        d.measured_fps = intervals / span;

    // Frame numbers: from the summary, else from the frames themselves.
    detail::frame_ranges ranges;
    if (d.summary && !d.summary->frame_numbers.empty()) {
        for (const auto& [s, runs] : d.summary->frame_numbers)
            for (const auto& run : runs)
                ranges.add_run(s, run.first, run.second);
    } else if (r.size() > 0) {
        d.frame_numbers_scanned = true;
        const stream s = cheapest(r);
        for (size_t i = 0; i < r.size(); ++i) {
            frame_set f;
            std::string error;
            if (!r.read(i, f, error, bit(s))) {
                d.warnings.push_back(error);
                continue;
            }
            if (f[s])
                ranges.add(session[i], f.frame_number);
        }
    }
    d.sessions = static_cast<int>(ranges.sessions().size());
    for (const auto& [s, runs] : ranges.sessions())
        for (size_t k = 1; k < runs.size(); ++k)
            if (runs[k].first > runs[k - 1].second + 1) {
                gap g{s, runs[k - 1].second + 1, runs[k].first - 1};
                d.missing_frames += g.last_missing - g.first_missing + 1;
                d.gaps.push_back(g);
            }

    d.calibration_records = r.calibration_count();
    if (r.size() > 0 || d.calibration_records > 0)
        d.calibration_first = r.calibration_at(0);
    d.settings_first = r.settings_at(0);
    for (const settings_change& c : r.settings_changes())
        if (!c.changed.empty() && !(c.changed.size() == 1 && c.changed[0] == "session"))
            ++d.settings_changes;
    return d;
}

std::string to_text(const recording_description& d)
{
    std::ostringstream o;
    const recording_header& h = d.header;
    o << "Recording    " << d.path << " (" << detail::human_bytes(d.file_bytes);
    if (!h.compression.empty())
        o << ", " << h.compression << " chunks";
    if (!h.raw_phase_compression.empty() && h.raw_phase_compression != h.compression
        && std::any_of(d.streams.begin(), d.streams.end(),
                       [](const stream_description& s) { return s.which == stream::raw_phase; }))
        o << " (raw phase frames: " << h.raw_phase_compression << ")";
    if (!h.producer.empty())
        o << ", made by " << h.producer;
    if (!h.created_utc.empty())
        o << " on " << h.created_utc;
    o << ")\n";
    if (d.device) {
        const device_info& v = *d.device;
        o << "Device       " << v.module_name << ", product " << v.product_number << ", serial " << v.serial_number
          << ", firmware " << v.firmware_version << " (recommended " << v.recommended_firmware_version << ")\n";
        o << "Software     SDK " << v.sdk_version;
        if (!v.reconstruction_version.empty())
            o << ", qzreconstruction " << v.reconstruction_version;
        o << "\n";
    }
    o << "Frame sets   " << d.frame_sets << " in " << float_text(d.duration_s, 2) << " s, "
      << float_text(d.measured_fps, 2) << " fps measured, " << d.sessions << " camera session"
      << (d.sessions == 1 ? "" : "s") << "\n";
    o << "Streams";
    bool first = true;
    for (const stream_description& s : d.streams) {
        char line[160];
        std::snprintf(line, sizeof line, "%s%-6s %6zu  %-12s %d x %d%s\n", first ? "      " : "             ",
                      stream_name(s.which), s.messages, s.encoding.c_str(), s.width, s.height,
                      s.which == stream::raw_phase ? "  (raw phase: 4 stacked sub-frames)" : "");
        o << line;
        first = false;
    }
    if (first)
        o << "      none\n";
    if (!(d.streams.size() && std::any_of(d.streams.begin(), d.streams.end(), [](const stream_description& s) { return s.which == stream::raw_phase; })))
        o << "             raw phase frames: " << (h.raw_phase.empty() ? std::string("none") : h.raw_phase) << "\n";
    o << "Gaps         ";
    if (d.gaps.empty()) {
        o << "none";
    } else {
        o << d.missing_frames << " missing frame number" << (d.missing_frames == 1 ? "" : "s") << ":";
        for (size_t k = 0; k < d.gaps.size() && k < 8; ++k) {
            const gap& g = d.gaps[k];
            o << (k ? ", " : " ") << g.first_missing;
            if (g.last_missing != g.first_missing)
                o << "-" << g.last_missing;
            if (d.sessions > 1)
                o << " (session " << g.session << ")";
        }
        if (d.gaps.size() > 8)
            o << ", ...";
    }
    if (d.frame_numbers_scanned)
        o << " (read from the frames: the recording has no summary)";
    o << "\n";
    if (d.summary) {
        o << "Dropped      " << d.summary->frame_sets_dropped << " frame sets, " << d.summary->raw_frames_dropped
          << " raw phase frames (the disk could not keep up)\n";
        o << "Ended        " << d.summary->ended << (d.summary->repaired ? " (repaired)" : "") << "\n";
    } else {
        o << "Ended        unknown: the recording has no summary\n";
    }
    if (d.calibration_first) {
        const calibration& c = *d.calibration_first;
        o << "Calibration  serial " << c.serial_number << ", depth fx " << float_text(word_float(c, 5), 2) << " fy "
          << float_text(word_float(c, 6), 2) << " cx " << float_text(word_float(c, 7), 2) << " cy "
          << float_text(word_float(c, 8), 2) << ", " << c.frequency1 / 1000000 << "/" << c.frequency2 / 1000000
          << " MHz, for " << c.width << " x " << c.height << " depth; " << d.calibration_records << " record"
          << (d.calibration_records == 1 ? "" : "s") << "\n";
    } else {
        o << "Calibration  none recorded (depth cannot be re-processed)\n";
    }
    const camera_settings& s = d.settings_first;
    o << "Settings     integration " << s.integration_time_us << " us, range " << s.near_mm << "-" << s.far_mm
      << " mm, flips " << (s.flip_vertical ? (s.flip_horizontal ? "both" : "vertical") : (s.flip_horizontal ? "horizontal" : "none"))
      << ", filter " << s.filter;
    if (s.depth_width > 0)
        o << ", depth " << s.depth_width << " x " << s.depth_height;
    if (s.colour_width > 0)
        o << ", colour " << s.colour_width << " x " << s.colour_height;
    o << "; " << d.settings_changes << " change" << (d.settings_changes == 1 ? "" : "s") << " while recording\n";
    for (const std::string& w : d.warnings)
        o << "Warning      " << w << "\n";
    return o.str();
}

std::string to_json_text(const recording_description& d)
{
    json streams = json::array();
    for (const stream_description& s : d.streams)
        streams.push_back({{"stream", stream_name(s.which)},
                           {"messages", s.messages},
                           {"encoding", s.encoding},
                           {"width", s.width},
                           {"height", s.height}});
    json gaps = json::array();
    for (const gap& g : d.gaps)
        gaps.push_back({{"session", g.session}, {"first", g.first_missing}, {"last", g.last_missing}});
    json j{{"path", d.path},
           {"readable", true},
           {"file_bytes", d.file_bytes},
           {"format", d.header.format},
           {"format_version", d.header.version},
           {"producer", d.header.producer},
           {"created_utc", d.header.created_utc},
           {"compression", d.header.compression},
           {"raw_phase_compression", d.header.raw_phase_compression},
           {"raw_phase", d.header.raw_phase},
           {"frame_sets", d.frame_sets},
           {"duration_s", d.duration_s},
           {"measured_fps", d.measured_fps},
           {"sessions", d.sessions},
           {"streams", streams},
           {"gaps", gaps},
           {"missing_frames", d.missing_frames},
           {"frame_numbers_scanned", d.frame_numbers_scanned},
           {"calibration_records", d.calibration_records},
           {"settings_changes", d.settings_changes},
           {"warnings", d.warnings}};
    j["device"] = d.device ? detail::to_json(*d.device) : json(nullptr);
    detail::settings_record first;
    first.settings = d.settings_first;
    json settings = detail::to_json(first);
    settings.erase("session");
    settings.erase("camera_clock_origin_ns");
    settings.erase("changed");
    j["settings"] = settings;
    if (d.summary)
        j["summary"] = {{"frame_sets_submitted", d.summary->frame_sets_submitted},
                        {"frame_sets_written", d.summary->frame_sets_written},
                        {"frame_sets_dropped", d.summary->frame_sets_dropped},
                        {"raw_frames_written", d.summary->raw_frames_written},
                        {"raw_frames_dropped", d.summary->raw_frames_dropped},
                        {"ended", d.summary->ended},
                        {"repaired", d.summary->repaired}};
    else
        j["summary"] = nullptr;
    if (d.calibration_first) {
        const calibration& c = *d.calibration_first;
        j["calibration"] = {{"serial_number", c.serial_number},
                            {"device_type", c.device_type},
                            {"mode", c.mode},
                            {"width", c.width},
                            {"height", c.height},
                            {"frequency1", c.frequency1},
                            {"frequency2", c.frequency2},
                            {"depth_intrinsics",
                             {word_float(c, 5), word_float(c, 6), word_float(c, 7), word_float(c, 8)}}};
    } else {
        j["calibration"] = nullptr;
    }
    return detail::dump_text(j, 2);
}

std::string unreadable_json_text(const std::string& path, open_status status, const std::string& error)
{
    return detail::dump_text(
        json{{"path", path}, {"readable", false}, {"status", open_status_name(status)}, {"error", error}}, 2);
}

}  // namespace recording
