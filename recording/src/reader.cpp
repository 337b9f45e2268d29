#include "recording/reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include <rosbag/bag.h>
#include <rosbag/view.h>
#include <std_msgs/String.h>

#include "bag_check.h"
#include "json_records.h"
#include "message_bytes.h"
#include "messages.h"
#include "recording/topics.h"
#include "session_clock.h"

namespace recording {

using detail::json;

namespace {

constexpr char kBagMagic[] = "#ROSBAG V2.0\n";

struct text_record {
    int64_t stamp_ns;
    std::string text;
};

// Reads the first bytes to tell a bag from anything else.
open_status sniff(const std::string& path, std::string& error)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": " + std::strerror(errno);
        return errno == ENOENT || errno == ENOTDIR ? open_status::not_found : open_status::unreadable;
    }
    if (S_ISDIR(st.st_mode)) {
        error = path + " is a folder, not a recording";
        return open_status::not_a_bag;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": " + std::strerror(errno);
        return open_status::unreadable;
    }
    char head[sizeof kBagMagic - 1] = {};
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n == sizeof head && std::memcmp(head, kBagMagic, sizeof head) == 0)
        return open_status::ok;
    if (n >= 9 && std::memcmp(head, "#ROSBAG V", 9) == 0) {
        error = path + " is a ROS bag of a version other than 2.0";
        return open_status::not_a_bag;
    }
    error = path + " is not a recording (not a ROS bag file)";
    return open_status::not_a_bag;
}

}  // namespace

class reader::impl {
public:
    std::string path;
    uint64_t file_bytes = 0;
    rosbag::Bag bag;
    mutable std::mutex mutex;

    // Frame sets: their stamps and, per stream, the index of the message.
    std::vector<int64_t> stamps;
    std::array<std::vector<rosbag::MessageInstance>, kStreamCount> images;
    std::array<std::vector<rosbag::MessageInstance>, kStreamCount> infos;
    std::array<std::vector<int32_t>, kStreamCount> image_at;  // per frame set, -1 = absent
    std::array<std::vector<int32_t>, kStreamCount> info_at;

    struct settings_entry {
        int64_t stamp_ns;
        detail::settings_record record;
    };
    std::vector<settings_entry> settings;
    std::vector<settings_change> changes;
    std::vector<std::pair<int64_t, calibration>> calibrations;
    std::optional<device_info> device;
    recording_header header;
    std::optional<recording_summary> summary;
    std::vector<std::string> warnings;

    bool index(std::string& error);
    void read_text_records();
    std::vector<text_record> read_texts(const char* topic);
    const settings_entry* settings_for(int64_t stamp) const;
};

std::vector<text_record> reader::impl::read_texts(const char* topic)
{
    std::vector<text_record> out;
    try {
        rosbag::View view(bag, rosbag::TopicQuery(topic));
        for (const rosbag::MessageInstance& m : view) {
            try {
                std_msgs::String msg;
                std::string why;
                if (detail::read_message(m, msg, why))
                    out.push_back({detail::from_ros_time(m.getTime()), msg.data});
                else
                    warnings.push_back(std::string("cannot read a record of ") + topic + ": " + why);
            } catch (const std::exception& e) {
                warnings.push_back(std::string("cannot read a record of ") + topic + ": " + e.what());
            }
        }
    } catch (const std::exception& e) {
        warnings.push_back(std::string("cannot read ") + topic + ": " + e.what());
    }
    return out;
}

void reader::impl::read_text_records()
{
    for (const text_record& r : read_texts(topics::kRecording)) {
        json j;
        if (!detail::parse_json(r.text, j) || !j.is_object()) {
            warnings.push_back("the recording header is not readable");
            continue;
        }
        header.format = detail::value_or<std::string>(j, "format", "");
        header.version = detail::value_or<int>(j, "version", 0);
        header.created_utc = detail::value_or<std::string>(j, "created_utc", "");
        header.producer = detail::value_or<std::string>(j, "producer", "");
        header.compression = detail::value_or<std::string>(j, "compression", "");
        header.raw_phase_compression = detail::value_or<std::string>(j, "raw_phase_compression", "");
        header.raw_phase = detail::value_or<std::string>(j, "raw_phase", "");
        break;
    }
    for (const text_record& r : read_texts(topics::kDeviceInfo)) {
        json j;
        if (detail::parse_json(r.text, j) && j.is_object()) {
            device = detail::device_from_json(j);
            break;
        }
        warnings.push_back("the device information is not readable");
    }
    for (const text_record& r : read_texts(topics::kSettings)) {
        json j;
        if (!detail::parse_json(r.text, j) || !j.is_object()) {
            warnings.push_back("a settings record is not readable");
            continue;
        }
        settings_entry e{r.stamp_ns, detail::settings_from_json(j)};
        changes.push_back({r.stamp_ns, e.record.session, e.record.settings, e.record.changed});
        settings.push_back(std::move(e));
    }
    for (const text_record& r : read_texts(topics::kCalibration)) {
        json j;
        calibration c;
        std::string why;
        if (!detail::parse_json(r.text, j) || !detail::calibration_from_json(j, c, why)) {
            warnings.push_back("a calibration record is not usable" + (why.empty() ? std::string() : ": " + why));
            continue;
        }
        calibrations.emplace_back(r.stamp_ns, std::move(c));
    }
    const std::vector<text_record> summaries = read_texts(topics::kSummary);
    if (!summaries.empty()) {
        json j;
        if (detail::parse_json(summaries.back().text, j) && j.is_object()) {
            recording_summary s;
            s.frame_sets_submitted = detail::value_or<uint64_t>(j, "frame_sets_submitted", 0);
            s.frame_sets_written = detail::value_or<uint64_t>(j, "frame_sets_written", 0);
            s.frame_sets_dropped = detail::value_or<uint64_t>(j, "frame_sets_dropped", 0);
            s.raw_frames_written = detail::value_or<uint64_t>(j, "raw_frames_written", 0);
            s.raw_frames_dropped = detail::value_or<uint64_t>(j, "raw_frames_dropped", 0);
            s.ended = detail::value_or<std::string>(j, "ended", "");
            s.repaired = detail::value_or<bool>(j, "repaired", false);
            if (j.contains("frame_numbers")) {
                const detail::frame_ranges ranges = detail::frame_ranges::from_json(j["frame_numbers"]);
                for (const auto& [session, runs] : ranges.sessions())
                    s.frame_numbers.emplace_back(session, runs);
            }
            summary = s;
        } else {
            warnings.push_back("the recording summary is not readable");
        }
    }
    const auto by_stamp = [](const auto& a, const auto& b) { return a.stamp_ns < b.stamp_ns; };
    std::stable_sort(settings.begin(), settings.end(), by_stamp);
    std::stable_sort(changes.begin(), changes.end(), by_stamp);
    std::stable_sort(calibrations.begin(), calibrations.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool reader::impl::index(std::string& error)
{
    // Stamps of every image message, from the bag's index alone (nothing is
    // decompressed here).
    std::map<int64_t, size_t> frame_of;
    for (stream s : kAllStreams) {
        const size_t i = size_t(static_cast<int>(s));
        rosbag::View view(bag, rosbag::TopicQuery(topics::image_topic(s)));
        for (const rosbag::MessageInstance& m : view) {
            if (m.getDataType() != "sensor_msgs/Image")
                continue;
            images[i].push_back(m);
            frame_of.emplace(detail::from_ros_time(m.getTime()), 0);
        }
        if (const char* info = topics::info_topic(s)) {
            rosbag::View info_view(bag, rosbag::TopicQuery(info));
            for (const rosbag::MessageInstance& m : info_view)
                if (m.getDataType() == "sensor_msgs/CameraInfo")
                    infos[i].push_back(m);
        }
    }
    stamps.reserve(frame_of.size());
    for (auto& [stamp, index] : frame_of) {
        index = stamps.size();
        stamps.push_back(stamp);
    }
    for (stream s : kAllStreams) {
        const size_t i = size_t(static_cast<int>(s));
        image_at[i].assign(stamps.size(), -1);
        info_at[i].assign(stamps.size(), -1);
        for (size_t k = 0; k < images[i].size(); ++k)
            image_at[i][frame_of[detail::from_ros_time(images[i][k].getTime())]] = static_cast<int32_t>(k);
        for (size_t k = 0; k < infos[i].size(); ++k) {
            const auto it = frame_of.find(detail::from_ros_time(infos[i][k].getTime()));
            if (it != frame_of.end())
                info_at[i][it->second] = static_cast<int32_t>(k);
        }
    }
    read_text_records();
    if (stamps.empty() && header.format.empty()) {
        std::string topics_seen;
        try {
            rosbag::View all(bag);
            std::vector<std::string> names;
            for (const rosbag::ConnectionInfo* c : all.getConnections())
                if (std::find(names.begin(), names.end(), c->topic) == names.end())
                    names.push_back(c->topic);
            for (size_t k = 0; k < names.size() && k < 6; ++k)
                topics_seen += (k ? ", " : "") + names[k];
            if (names.size() > 6)
                topics_seen += ", ...";
        } catch (const std::exception&) {
        }
        error = path + " is a ROS bag but not a Tessivue recording (no /tessivue topics"
                + (topics_seen.empty() ? std::string(")") : "; it holds " + topics_seen + ")");
        return false;
    }
    return true;
}

const reader::impl::settings_entry* reader::impl::settings_for(int64_t stamp) const
{
    const auto it = std::upper_bound(settings.begin(), settings.end(), stamp,
                                     [](int64_t t, const settings_entry& e) { return t < e.stamp_ns; });
    return it == settings.begin() ? nullptr : &*(it - 1);
}

std::unique_ptr<reader> reader::open(const std::string& path, std::string& error, open_status* status)
{
    detail::quiet_bag_library();
    open_status st = sniff(path, error);
    const auto fail = [&](open_status s) -> std::unique_ptr<reader> {
        if (status)
            *status = s;
        return nullptr;
    };
    if (st != open_status::ok)
        return fail(st);
    auto d = std::make_unique<impl>();
    d->path = path;
    struct stat sb { };
    if (::stat(path.c_str(), &sb) == 0)
        d->file_bytes = static_cast<uint64_t>(sb.st_size);
    std::string problem;
    if (!detail::check_bag_headers(path, problem)) {
        error = path + " is damaged: " + problem;
        return fail(open_status::damaged);
    }
    try {
        d->bag.open(path, rosbag::bagmode::Read);
    } catch (const rosbag::BagUnindexedException&) {
        error = path + " was not closed properly (the recording was cut short): its index is missing; run "
                       "tessivue-cli repair "
                + path + " to make it readable";
        return fail(open_status::unindexed);
    } catch (const std::exception& e) {
        error = path + " is truncated or damaged (" + e.what() + "); tessivue-cli repair " + path
                + " may recover what it holds";
        return fail(open_status::unindexed);
    }
    try {
        if (!d->index(error))
            return fail(open_status::foreign);
    } catch (const std::exception& e) {
        error = path + " is damaged: its index cannot be read (" + e.what() + ")";
        return fail(open_status::damaged);
    }
    if (status)
        *status = open_status::ok;
    return std::unique_ptr<reader>(new reader(std::move(d)));
}

reader::reader(std::unique_ptr<impl> d) : d_(std::move(d)) { }

reader::~reader()
{
    try {
        d_->bag.close();
    } catch (const std::exception&) {
    }
}

const std::string& reader::path() const { return d_->path; }
uint64_t reader::file_bytes() const { return d_->file_bytes; }
size_t reader::size() const { return d_->stamps.size(); }
int64_t reader::stamp_ns(size_t index) const { return index < d_->stamps.size() ? d_->stamps[index] : 0; }

size_t reader::index_at(int64_t stamp) const
{
    const auto& s = d_->stamps;
    const auto it = std::upper_bound(s.begin(), s.end(), stamp);
    return it == s.begin() ? 0 : size_t(it - s.begin()) - 1;
}

stream_mask reader::streams() const
{
    stream_mask m = 0;
    for (stream s : kAllStreams)
        if (!d_->images[size_t(static_cast<int>(s))].empty())
            m |= bit(s);
    return m;
}

size_t reader::count(stream s) const { return d_->images[size_t(static_cast<int>(s))].size(); }

size_t reader::first_with(stream s) const
{
    const std::vector<int32_t>& at = d_->image_at[size_t(static_cast<int>(s))];
    const auto it = std::find_if(at.begin(), at.end(), [](int32_t k) { return k >= 0; });
    return size_t(it - at.begin());
}

bool reader::read(size_t index, frame_set& out, std::string& error, stream_mask mask)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    if (index >= d_->stamps.size()) {
        error = "frame set " + std::to_string(index) + " is beyond the recording's "
                + std::to_string(d_->stamps.size());
        return false;
    }
    out = frame_set{};
    out.index = index;
    out.stamp_ns = d_->stamps[index];
    if (const impl::settings_entry* e = d_->settings_for(out.stamp_ns)) {
        out.session = e->record.session;
        if (e->record.clock_origin_ns != 0 && out.stamp_ns >= e->record.clock_origin_ns)
            out.timestamp_us = static_cast<uint64_t>((out.stamp_ns - e->record.clock_origin_ns) / 1000);
    }
    bool numbered = false;
    for (stream s : kAllStreams) {
        const size_t i = size_t(static_cast<int>(s));
        const int32_t at = d_->image_at[i][index];
        if (!(mask & bit(s)) || at < 0)
            continue;
        try {
            sensor_msgs::Image msg;
            std::string why;
            if (!detail::read_message(d_->images[i][size_t(at)], msg, why)) {
                error = std::string("cannot read the ") + stream_name(s) + " image of frame set "
                        + std::to_string(index) + " (the recording is damaged there): " + why;
                return false;
            }
            const uint64_t seq = msg.header.seq;
            image img;
            if (!detail::take_image(msg, img, why)) {
                error = std::string("the ") + stream_name(s) + " image of frame set " + std::to_string(index)
                        + " is damaged: " + why;
                return false;
            }
            const int32_t info_at = d_->info_at[i][index];
            if (info_at >= 0)
                if (sensor_msgs::CameraInfo info; detail::read_message(d_->infos[i][size_t(info_at)], info, why))
                    img.lens = detail::lens_of(info);
            if (!numbered) {
                out.frame_number = seq;
                numbered = true;
            }
            out[s] = std::move(img);
        } catch (const std::exception& e) {
            error = std::string("cannot read the ") + stream_name(s) + " image of frame set " + std::to_string(index)
                    + " (the recording is damaged there): " + e.what();
            return false;
        }
    }
    return true;
}

camera_settings reader::settings_at(size_t index) const
{
    const impl::settings_entry* e = d_->settings_for(stamp_ns(index));
    if (!e && !d_->settings.empty())
        e = &d_->settings.front();
    return e ? e->record.settings : camera_settings{};
}

const std::vector<settings_change>& reader::settings_changes() const { return d_->changes; }

std::optional<calibration> reader::calibration_at(size_t index) const
{
    const auto& c = d_->calibrations;
    if (c.empty())
        return std::nullopt;
    const int64_t t = stamp_ns(index);
    const auto it = std::upper_bound(c.begin(), c.end(), t, [](int64_t x, const auto& e) { return x < e.first; });
    return it == c.begin() ? c.front().second : (it - 1)->second;
}

size_t reader::calibration_count() const { return d_->calibrations.size(); }
const std::optional<device_info>& reader::device() const { return d_->device; }
const recording_header& reader::header() const { return d_->header; }
const std::optional<recording_summary>& reader::summary() const { return d_->summary; }
const std::vector<std::string>& reader::warnings() const { return d_->warnings; }

}  // namespace recording
