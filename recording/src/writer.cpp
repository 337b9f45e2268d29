#include "recording/writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <rosbag/bag.h>
#include <std_msgs/String.h>

#include "disk_guard.h"
#include "json_records.h"
#include "messages.h"
#include "recording/topics.h"
#include "session_clock.h"

namespace recording {

using detail::json;

const char* compression_name(compression c)
{
    switch (c) {
    case compression::none:
        return "none";
    case compression::lz4:
        return "lz4";
    case compression::bz2:
        return "bz2";
    }
    return "none";
}

bool compression_from_name(const std::string& name, compression& out)
{
    for (compression c : {compression::none, compression::lz4, compression::bz2})
        if (name == compression_name(c)) {
            out = c;
            return true;
        }
    return false;
}

namespace {

rosbag::CompressionType bag_compression(compression c)
{
    switch (c) {
    case compression::lz4:
        return rosbag::compression::LZ4;
    case compression::bz2:
        return rosbag::compression::BZ2;
    case compression::none:
        break;
    }
    return rosbag::compression::Uncompressed;
}

int64_t wall_clock_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string iso_time_utc(int64_t ns)
{
    const std::time_t t = static_cast<std::time_t>(ns / 1000000000);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

const char* raw_phase_text(raw_phase_state s)
{
    switch (s) {
    case raw_phase_state::recorded:
        return "recorded";
    case raw_phase_state::not_offered:
        return "not offered by the camera";
    case raw_phase_state::not_selected:
        return "not selected";
    }
    return "not selected";
}

// The messages of one frame set. Recycled, so that their pixel buffers keep
// their capacity and a copy costs one pass over the pixels, not a fresh
// allocation (page faults) per frame.
struct frame_messages {
    std::array<sensor_msgs::Image, kStreamCount> images;
    std::array<sensor_msgs::CameraInfo, kStreamCount> infos;
    std::array<bool, kStreamCount> present{};
    uint64_t frame_number = 0;
    int64_t stamp_ns = 0;
    int session = 0;
    uint64_t bytes = 0;
    bool has_raw = false;
};

// Something for the writing thread: a frame set or a text record.
struct queue_item {
    std::unique_ptr<frame_messages> frames;
    const char* topic = nullptr;  // text record: its topic
    std::string text;
    int64_t stamp_ns = 0;
    uint64_t bytes = 0;  // counted against the queue limit
};

std::string json_text(const json& j) { return detail::dump_text(j); }

}  // namespace

class writer::impl {
public:
    impl(std::string path, writer_options options) : path_(std::move(path)), options_(std::move(options)) { }

    bool open(std::string& error);
    void start() { thread_ = std::thread(&impl::run, this); }

    void set_device_info(const device_info& info);
    void set_calibration(const calibration& cal);
    void set_settings(const camera_settings& settings);
    bool submit(const frame_set_view& frames, int64_t stamp_ns);
    writer_status status() const;
    bool close(std::string& error);

    const std::string& path() const { return path_; }

private:
    void run();
    bool write_item(queue_item& item);  // false when it was not written
    void write_text(const char* topic, const std::string& text, int64_t stamp_ns);
    void use_compression(compression c);
    void write_frames(frame_messages& f);
    bool guard_disk(uint64_t next_bytes);
    void stop_with(const std::string& problem);  // caller holds mutex_
    void finish();
    void abandon_bag();
    std::string summary_text();
    void enqueue_locked(queue_item item);
    void enqueue_settings_locked(const std::vector<std::string>& changed, int64_t stamp_ns);

    const std::string path_;
    const writer_options options_;
    std::unique_ptr<rosbag::Bag> bag_;  // the writing thread's, after open()
    detail::disk_guard guard_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<queue_item> queue_;
    std::vector<std::unique_ptr<frame_messages>> pool_;
    bool closing_ = false;
    bool closed_ = false;
    bool close_ok_ = false;
    std::string close_error_;
    writer_status status_;
    int64_t last_stamp_ns_ = 0;  // of the last record queued
    detail::session_clock clock_;
    bool have_settings_ = false;
    camera_settings settings_;
    bool have_calibration_ = false;
    calibration calibration_;
    bool have_device_ = false;
    std::array<uint64_t, kStreamCount> stream_counts_{};
    detail::frame_ranges recorded_;  // frame numbers written, by session
    bool write_failed_ = false;      // a write threw: the file is torn

    // Writing thread only.
    uint64_t messages_written_ = 0;
    std::chrono::steady_clock::time_point last_presence_check_{};
    std::atomic<uint64_t> bytes_written_{0};
};

bool writer::impl::open(std::string& error)
{
    // Ask the file system first: its answer names the reason in words.
    if (std::FILE* probe = std::fopen(path_.c_str(), "wb")) {
        std::fclose(probe);
    } else {
        error = "cannot create " + path_ + ": " + std::strerror(errno);
        return false;
    }
    bag_ = std::make_unique<rosbag::Bag>();
    try {
        bag_->setCompression(bag_compression(options_.compress));
        bag_->setChunkThreshold(options_.chunk_bytes);
        bag_->open(path_, rosbag::bagmode::Write);
    } catch (const std::exception& e) {
        error = "cannot create " + path_ + ": " + e.what();
        bag_.reset();
        return false;
    }
    if (!guard_.attach(path_, error)) {
        abandon_bag();
        return false;
    }
    const int64_t now = options_.start_ns != 0 ? options_.start_ns : wall_clock_ns();
    last_stamp_ns_ = now;
    clock_.start_after(now);
    status_.first_stamp_ns = status_.last_stamp_ns = now;
    const json header{{"format", topics::kFormatName},
                      {"version", topics::kFormatVersion},
                      {"created_utc", iso_time_utc(now)},
                      {"producer", options_.producer},
                      {"compression", compression_name(options_.compress)},
                      {"raw_phase_compression", compression_name(options_.raw_compress)},
                      {"raw_phase", raw_phase_text(options_.raw_phase)}};
    try {
        write_text(topics::kRecording, json_text(header), now);
    } catch (const std::exception& e) {
        error = "cannot write " + path_ + ": " + e.what();
        abandon_bag();
        return false;
    }
    return true;
}

void writer::impl::abandon_bag()
{
    // The file is torn. Let the library end without writing to it again:
    // its descriptor now leads to /dev/null. What the file holds stays for
    // `repair` to index.
    guard_.detach_descriptors();
    try {
        if (bag_)
            bag_->close();
    } catch (const std::exception&) {
        // Still failing: give the object up rather than let its destructor
        // throw (a leak of one file object on a dead path).
        (void)bag_.release();
    }
}

void writer::impl::enqueue_locked(queue_item item)
{
    status_.queue_bytes += item.bytes;
    queue_.push_back(std::move(item));
    changed_.notify_all();
}

void writer::impl::enqueue_settings_locked(const std::vector<std::string>& changed, int64_t stamp_ns)
{
    detail::settings_record r;
    r.settings = settings_;
    r.session = clock_.session();
    r.clock_origin_ns = clock_.origin_ns();
    r.changed = changed;
    queue_item item;
    item.topic = topics::kSettings;
    item.text = json_text(detail::to_json(r));
    item.stamp_ns = stamp_ns;
    enqueue_locked(std::move(item));
}

void writer::impl::set_device_info(const device_info& info)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_.stopped || have_device_)
        return;
    have_device_ = true;
    queue_item item;
    item.topic = topics::kDeviceInfo;
    item.text = json_text(detail::to_json(info));
    item.stamp_ns = ++last_stamp_ns_;
    enqueue_locked(std::move(item));
}

void writer::impl::set_calibration(const calibration& cal)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_.stopped || (have_calibration_ && cal == calibration_))
        return;
    have_calibration_ = true;
    calibration_ = cal;
    queue_item item;
    item.topic = topics::kCalibration;
    item.text = json_text(detail::to_json(cal));
    item.stamp_ns = ++last_stamp_ns_;
    enqueue_locked(std::move(item));
}

void writer::impl::set_settings(const camera_settings& settings)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_.stopped || (have_settings_ && settings == settings_))
        return;
    const std::vector<std::string> changed = have_settings_ ? changed_settings(settings_, settings)
                                                            : std::vector<std::string>{};
    have_settings_ = true;
    settings_ = settings;
    enqueue_settings_locked(changed, ++last_stamp_ns_);
}

bool writer::impl::submit(const frame_set_view& frames, int64_t explicit_stamp)
{
    uint64_t processed = 0, raw = 0;
    for (stream s : kAllStreams)
        (s == stream::raw_phase ? raw : processed) += detail::view_bytes(frames[s]);
    std::unique_ptr<frame_messages> f;
    bool with_raw = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (options_.wait_for_room)
            changed_.wait(lock, [&] {
                return status_.stopped || closing_ || status_.queue_bytes == 0
                       || status_.queue_bytes + processed + raw <= options_.raw_queue_bytes;
            });
        if (status_.stopped || closing_)
            return false;
        ++status_.frame_sets_submitted;
        // The camera's clock placed on the recording's time line; a restarted
        // stream (numbers and times begin again) opens a new session.
        const int64_t now = explicit_stamp != 0 ? explicit_stamp : wall_clock_ns();
        if (clock_.begins_session(frames.frame_number, frames.timestamp_us)) {
            clock_.open_session(frames.timestamp_us, now, last_stamp_ns_, explicit_stamp != 0);
            if (have_settings_)
                enqueue_settings_locked({"session"}, clock_.stamp_of(frames.timestamp_us) - 1);
        }
        clock_.saw(frames.frame_number, frames.timestamp_us);
        const int64_t stamp = explicit_stamp != 0 ? explicit_stamp : clock_.stamp_of(frames.timestamp_us);
        last_stamp_ns_ = std::max(last_stamp_ns_, stamp);
        if (status_.queue_bytes + processed > options_.queue_bytes) {
            ++status_.frame_sets_dropped;
            if (raw)
                ++status_.raw_frames_dropped;
            return false;
        }
        with_raw = raw > 0 && status_.queue_bytes + processed + raw <= options_.raw_queue_bytes;
        if (raw > 0 && !with_raw)
            ++status_.raw_frames_dropped;
        if (!pool_.empty()) {
            f = std::move(pool_.back());
            pool_.pop_back();
        }
        // Count the bytes now, so that a second caller sees them.
        status_.queue_bytes += processed + (with_raw ? raw : 0);
        if (!f)
            f = std::make_unique<frame_messages>();
        f->stamp_ns = stamp;
        f->session = clock_.session();
    }
    // The copy runs outside the lock: the writing thread goes on meanwhile.
    f->frame_number = frames.frame_number;
    f->bytes = processed + (with_raw ? raw : 0);
    f->has_raw = with_raw;
    const ros::Time stamp = detail::to_ros_time(f->stamp_ns);
    const auto seq = static_cast<uint32_t>(frames.frame_number);
    for (stream s : kAllStreams) {
        const int i = static_cast<int>(s);
        const image_view& v = frames[s];
        f->present[size_t(i)] = detail::view_bytes(v) > 0 && (s != stream::raw_phase || with_raw);
        if (!f->present[size_t(i)])
            continue;
        detail::fill_image(f->images[size_t(i)], v, s, seq, stamp);
        if (topics::info_topic(s))
            detail::fill_camera_info(f->infos[size_t(i)], v, s, seq, stamp);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    queue_item item;
    item.bytes = f->bytes;
    item.stamp_ns = f->stamp_ns;
    item.frames = std::move(f);
    queue_.push_back(std::move(item));
    changed_.notify_all();
    return true;
}

void writer::impl::use_compression(compression c)
{
    if (bag_->getCompression() != bag_compression(c))
        bag_->setCompression(bag_compression(c));
}

void writer::impl::write_text(const char* topic, const std::string& text, int64_t stamp_ns)
{
    use_compression(options_.compress);
    std_msgs::String msg;
    msg.data = text;
    bag_->write(topic, detail::to_ros_time(stamp_ns), msg);
    ++messages_written_;
}

void writer::impl::write_frames(frame_messages& f)
{
    const ros::Time t = detail::to_ros_time(f.stamp_ns);
    for (stream s : kAllStreams) {
        const size_t i = size_t(static_cast<int>(s));
        if (!f.present[i])
            continue;
        // A change of compression closes the open chunk: raw phase frames
        // go into chunks of their own.
        use_compression(s == stream::raw_phase ? options_.raw_compress : options_.compress);
        bag_->write(topics::image_topic(s), t, f.images[i]);
        ++messages_written_;
        if (const char* info = topics::info_topic(s)) {
            bag_->write(info, t, f.infos[i]);
            ++messages_written_;
        }
    }
}

bool writer::impl::guard_disk(uint64_t next_bytes)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - last_presence_check_ > std::chrono::milliseconds(250)) {
        last_presence_check_ = now;
        if (!guard_.still_there()) {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_with(path_ + " was removed while recording (its folder or the file itself); recording stopped");
            return false;
        }
    }
    // Room for this frame set, an open chunk, the index of everything
    // written so far (a few dozen bytes per message) and the reserve.
    const uint64_t index_bytes = (messages_written_ + 16) * 64 + (uint64_t(1) << 20);
    const uint64_t needed = next_bytes + next_bytes / 16 + options_.chunk_bytes + index_bytes
                            + options_.disk_reserve_bytes;
    const uint64_t available = guard_.available();
    if (available < needed) {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_with("the disk is full (" + detail::human_bytes(available) + " left); recording stopped and "
                  + path_ + " closed with everything recorded until then");
        return false;
    }
    return true;
}

void writer::impl::stop_with(const std::string& problem)
{
    if (!status_.stopped) {
        status_.stopped = true;
        status_.problem = problem;
    }
    changed_.notify_all();
}

bool writer::impl::write_item(queue_item& item)
{
    if (item.frames) {
        frame_messages& f = *item.frames;
        if (!guard_disk(f.bytes))
            return false;
        write_frames(f);
        std::lock_guard<std::mutex> lock(mutex_);
        ++status_.frame_sets_written;
        if (f.has_raw)
            ++status_.raw_frames_written;
        for (stream s : kAllStreams)
            stream_counts_[size_t(static_cast<int>(s))] += f.present[size_t(static_cast<int>(s))] ? 1 : 0;
        recorded_.add(f.session, f.frame_number);
        if (status_.frame_sets_written == 1)
            status_.first_stamp_ns = f.stamp_ns;
        status_.last_stamp_ns = f.stamp_ns;
    } else {
        write_text(item.topic, item.text, item.stamp_ns);
    }
    return true;
}

void writer::impl::run()
{
    for (;;) {
        queue_item item;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
            if (queue_.empty())
                break;
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        bool stopped;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopped = status_.stopped;
        }
        bool written = false;
        if (!stopped) {
            try {
                written = write_item(item);
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> lock(mutex_);
                stop_with("cannot write " + path_ + ": " + e.what() + "; recording stopped");
                write_failed_ = true;
            }
            try {
                bytes_written_ = bag_->getSize();
            } catch (const std::exception&) {
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        status_.queue_bytes -= std::min(status_.queue_bytes, item.bytes);
        if (!written && item.frames) {
            // Queued before the writer stopped: lost, and counted as such.
            ++status_.frame_sets_dropped;
            if (item.frames->has_raw)
                ++status_.raw_frames_dropped;
        }
        changed_.notify_all();  // a submit waiting for room
        // Keep a few message sets for reuse; the rest give their memory back.
        if (item.frames && pool_.size() < 3)
            pool_.push_back(std::move(item.frames));
    }
    finish();
}

std::string writer::impl::summary_text()
{
    std::lock_guard<std::mutex> lock(mutex_);
    json streams = json::object();
    for (stream s : kAllStreams)
        streams[stream_name(s)] = stream_counts_[size_t(static_cast<int>(s))];
    const json j{{"frame_sets_submitted", status_.frame_sets_submitted},
                 {"frame_sets_written", status_.frame_sets_written},
                 {"frame_sets_dropped", status_.frame_sets_dropped},
                 {"raw_frames_written", status_.raw_frames_written},
                 {"raw_frames_dropped", status_.raw_frames_dropped},
                 {"messages", streams},
                 {"frame_numbers", recorded_.to_json()},
                 {"first_stamp_ns", status_.first_stamp_ns},
                 {"last_stamp_ns", status_.last_stamp_ns},
                 {"ended", status_.problem.empty() ? std::string("closed") : status_.problem},
                 {"repaired", false}};
    return detail::dump_text(j);
}

void writer::impl::finish()
{
    // The writing thread's last act: summary, index, close.
    bool write_failed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        write_failed = write_failed_;
    }
    std::string error;
    bool ok = true;
    if (!write_failed) {
        try {
            int64_t stamp;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                stamp = ++last_stamp_ns_;
            }
            write_text(topics::kSummary, summary_text(), stamp);
            bag_->close();
        } catch (const std::exception& e) {
            ok = false;
            error = std::string("cannot finish ") + path_ + ": " + e.what();
        }
    } else {
        ok = false;
    }
    if (!ok)
        abandon_bag();
    struct stat st { };
    if (::stat(path_.c_str(), &st) == 0)
        bytes_written_ = static_cast<uint64_t>(st.st_size);
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    close_ok_ = ok && status_.problem.empty();
    if (!ok && !status_.problem.empty())
        close_error_ = status_.problem + "; the file lacks its index: run tessivue-cli repair " + path_;
    else if (!ok)
        close_error_ = error + "; run tessivue-cli repair " + path_;
    else
        close_error_ = status_.problem;
    status_.stopped = true;
}

writer_status writer::impl::status() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    writer_status s = status_;
    s.bytes_written = bytes_written_;
    return s;
}

bool writer::impl::close(std::string& error)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    error = close_error_;
    return close_ok_;
}

std::unique_ptr<writer> writer::create(const std::string& path, const writer_options& options, std::string& error)
{
    detail::quiet_bag_library();
    auto d = std::make_unique<impl>(path, options);
    try {
        if (!d->open(error))
            return nullptr;
    } catch (const std::exception& e) {
        error = "cannot create " + path + ": " + e.what();
        return nullptr;
    }
    d->start();
    return std::unique_ptr<writer>(new writer(std::move(d)));
}

writer::writer(std::unique_ptr<impl> d) : d_(std::move(d)) { }

writer::~writer()
{
    std::string ignored;
    d_->close(ignored);
}

void writer::set_device_info(const device_info& info) { d_->set_device_info(info); }
void writer::set_calibration(const calibration& cal) { d_->set_calibration(cal); }
void writer::set_settings(const camera_settings& settings) { d_->set_settings(settings); }
bool writer::submit(const frame_set_view& frames, int64_t stamp_ns) { return d_->submit(frames, stamp_ns); }
writer_status writer::status() const { return d_->status(); }
const std::string& writer::path() const { return d_->path(); }
bool writer::close(std::string& error) { return d_->close(error); }

}  // namespace recording
