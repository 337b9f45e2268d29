#include "playback/recording_camera.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <condition_variable>
#include <deque>
#include <set>
#include <thread>

#include <recording/depth_colours.h>
#include <recording/reprocessor.h>

#include "error_out.h"
#include "memory_frames.h"
#include "player.h"
#include "recent_cache.h"

namespace playback {
namespace {

using detail::fail;
using detail::frame_meta;
using detail::memory_frame;
using detail::memory_frameset;
using detail::ok;
using recording::bit;
using recording::stream;

// The distance limits of the camera family (the recording keeps the range
// only).
constexpr uint16_t kDistanceLimitFar = 7500;
constexpr uint16_t kDistanceLimitNear = 0;
// Frame sets kept built: the one shown, two ahead and one or two behind.
constexpr size_t kBuiltKept = 6;
// Raw phase frames kept (~10 MB each at 640 x 480).
constexpr size_t kRawKept = 3;
constexpr const char* kReadOnly = "this setting comes from the recording and cannot be changed while it plays";

int pvx3_type(stream s)
{
    switch (s) {
    case stream::depth: return pvx3::PVX3_STREAM_DEPTH;
    case stream::ir: return pvx3::PVX3_STREAM_IR;
    case stream::colour: return pvx3::PVX3_STREAM_RGB;
    case stream::raw_phase: return pvx3::PVX3_STREAM_RAW_PHASE;
    }
    return 0;
}

bool stream_of(int type, stream& out)
{
    for (stream s : recording::kAllStreams)
        if (pvx3_type(s) == type) {
            out = s;
            return true;
        }
    return false;
}

// Rows packed tightly, as frames of the camera are.
void make_tight(recording::image& img)
{
    const int bpp = recording::bytes_per_pixel(img.encoding);
    const size_t row = size_t(img.width) * bpp;
    if (bpp == 0 || img.step == row)
        return;
    std::vector<uint8_t> packed(row * img.height);
    for (int y = 0; y < img.height; ++y)
        std::memcpy(packed.data() + y * row, img.data.data() + size_t(y) * img.step, row);
    img.data.swap(packed);
    img.step = static_cast<uint32_t>(row);
}

std::string file_name(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

class recording_camera::impl {
public:
    class sensor_part;
    class config_part;
    class device_part;
    class engine_part;
    class pipeline_part;

    impl(std::unique_ptr<recording::reader> r, std::vector<int64_t> stamps);

    // What a frame set is built with; a prefetched one is used only when
    // nothing of it changed since.
    struct build_key {
        std::set<int> enabled;
        bool reprocess = false;
        std::optional<int> filter;
        std::optional<std::pair<uint16_t, uint16_t>> distance_range;
        bool operator==(const build_key& o) const
        {
            return enabled == o.enabled && reprocess == o.reprocess && filter == o.filter
                   && distance_range == o.distance_range;
        }
    };
    build_key current_key() const;
    std::unique_ptr<memory_frameset> build(size_t index, const build_key& key, std::string& error);
    // The frame set handed out now (acquisition thread).
    std::unique_ptr<pvx3::frameset> take(size_t index, std::string& error);
    void prefetch_loop();
    ~impl();
    bool points(const memory_frame& depth, std::vector<float>& xyz, std::string& error);
    // Depth registered to the colour image of the same frame set, with the
    // undistorted colour image (the caller owns the frame set).
    std::unique_ptr<memory_frameset> registered(const memory_frame& depth, const memory_frame& colour,
                                                std::string& error);
    // Depth colours over the distance range shown.
    void colourise(memory_frame& depth, const recording::camera_settings& settings,
                   const std::optional<std::pair<uint16_t, uint16_t>>& range) const;
    recording::reprocessor* reprocessor_or_null();

    std::unique_ptr<recording::reader> reader;
    detail::player timeline;
    std::string name, path;
    std::map<int, std::vector<std::pair<int, int>>> formats;  // pvx3 type -> sizes
    std::vector<uint8_t> colour_table;

    std::unique_ptr<sensor_part> sensor;
    std::unique_ptr<config_part> config;
    std::unique_ptr<device_part> device;
    std::unique_ptr<engine_part> engine;
    std::unique_ptr<pipeline_part> pipeline;

    // Under `lock`: what the user changed, the streams asked for, the
    // re-processing state and the recorded depth of the frame set shown.
    mutable std::mutex lock;
    std::optional<int> filter;
    std::optional<std::pair<uint16_t, uint16_t>> distance_range;  // far, near
    std::set<int> enabled;                                        // pvx3 types
    bool reprocess = false;
    // The recorded depth: recomputed depth's original, or the depth frame
    // itself (held, not copied).
    std::shared_ptr<const std::vector<uint16_t>> recorded_depth;
    std::shared_ptr<const memory_frame> recorded_frame;
    int recorded_w = 0, recorded_h = 0;
    size_t read_failures = 0;
    std::string last_read_error;
    std::string reprocess_reason;  // why the library is unavailable
    bool reprocessor_tried = false;
    std::unique_ptr<recording::reprocessor> reprocessor;
    std::mutex reprocessor_lock;

    // Frame sets built lately, by index and what they were built with, and
    // the raw phase frames read lately: stepping between neighbours, a
    // paused recording handing its frame set out again every 100 ms and a
    // filter change on the same raw frame cost a lookup (plus the compute
    // for a filter change), not a read of ~15 MB of LZ4.
    using built_key = std::pair<size_t, build_key>;
    detail::recent_cache<built_key, memory_frameset> built{kBuiltKept};
    detail::recent_cache<size_t, recording::image> raw_frames{kRawKept};
    // Kept, dropping those built with anything else (they cannot be used
    // again until the user puts the setting back).
    void store(size_t index, const build_key& key, const memory_frameset& set);

    // Prefetch: a thread of its own builds the frame sets likely asked for
    // next (ahead while playing, the next step while stepping, both
    // neighbours of a paused frame set shown a while) into `built`,
    // so the acquisition thread mostly takes ready ones.
    std::mutex prefetch_lock;
    std::condition_variable prefetch_wake;
    std::deque<size_t> prefetch_wanted;   // in order of need
    std::optional<size_t> prefetch_busy;  // being built now
    bool prefetch_exit = false;
    std::thread prefetcher;
    // The frame set handed out last and what it was built with.
    std::optional<size_t> handed_index;
    build_key handed_key;
    void want(size_t index, const build_key& key, bool playing, bool loop);

    // The frame set handed out last, held for its registration.
    std::mutex reuse_lock;
    std::unique_ptr<memory_frameset> last_built;
    // The registration of the frame set handed out last (its inputs are
    // held, so a frame at the same address is the same frame).
    std::shared_ptr<memory_frame> registered_from_depth, registered_from_colour;
    std::optional<std::pair<uint16_t, uint16_t>> registered_range;
    std::unique_ptr<memory_frameset> registered_last;
    void keep(const memory_frameset& set);
};

class recording_camera::impl::sensor_part final : public pvx3::sensor {
public:
    explicit sensor_part(impl& d) : d_(d) { }
    recording::camera_settings shown() const { return d_.reader->settings_at(d_.timeline.now().shown); }

    int get_option_range(int option, uint16_t& a, uint16_t& b, pvx3::pvx3_error* e) override
    {
        const recording::camera_settings s = shown();
        switch (option) {
        case pvx3::PVX3_OPTION_INTEGRATION_TIME_RANGE:
            // Only the recorded value exists here.
            a = b = static_cast<uint16_t>(s.integration_time_us);
            break;
        case pvx3::PVX3_OPTION_DISTANCE_RANGE: {
            std::lock_guard<std::mutex> g(d_.lock);
            if (d_.distance_range) {
                a = d_.distance_range->first;
                b = d_.distance_range->second;
            } else {
                a = static_cast<uint16_t>(s.far_mm);
                b = static_cast<uint16_t>(s.near_mm);
            }
            break;
        }
        case pvx3::PVX3_OPTION_DISTANCE_LIMITS:
            a = kDistanceLimitFar;
            b = kDistanceLimitNear;
            break;
        case pvx3::PVX3_OPTION_FILTER:
            a = 2;
            b = 0;
            break;
        default:
            return fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT, "unknown option range");
        }
        ok(e);
        return 0;
    }

    int get_option(int option, uint16_t& value, pvx3::pvx3_error* e) override
    {
        const recording::camera_settings s = shown();
        switch (option) {
        case pvx3::PVX3_OPTION_INTEGRATION_TIME: value = static_cast<uint16_t>(s.integration_time_us); break;
        case pvx3::PVX3_OPTION_FLIP_VERTICAL: value = s.flip_vertical ? 1 : 0; break;
        case pvx3::PVX3_OPTION_FLIP_HORIZONTAL: value = s.flip_horizontal ? 1 : 0; break;
        case pvx3::PVX3_OPTION_FILTER: {
            std::lock_guard<std::mutex> g(d_.lock);
            value = static_cast<uint16_t>(d_.filter.value_or(s.filter));
            break;
        }
        default:
            return fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT, "unknown or range option");
        }
        ok(e);
        return 0;
    }

    int set_option_range(int option, uint16_t a, uint16_t b, pvx3::pvx3_error* e) override
    {
        if (option != pvx3::PVX3_OPTION_DISTANCE_RANGE)
            return fail(e, pvx3::PVX3_ERROR_UNSUPPORTED, kReadOnly);
        if (!(b < a && a <= kDistanceLimitFar))
            return fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT,
                        "distance range needs near < far <= 7500 mm (far limit first)");
        {
            std::lock_guard<std::mutex> g(d_.lock);
            d_.distance_range = std::make_pair(a, b);
        }
        d_.timeline.refresh();
        ok(e);
        return 0;
    }

    int set_option(int option, uint16_t value, pvx3::pvx3_error* e) override
    {
        if (option != pvx3::PVX3_OPTION_FILTER)
            return fail(e, pvx3::PVX3_ERROR_UNSUPPORTED, kReadOnly);
        if (value > pvx3::PVX3_FILTER_NOISE_AWARE)
            return fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT, "unknown filter mode");
        {
            std::lock_guard<std::mutex> g(d_.lock);
            d_.filter = value;
        }
        d_.timeline.refresh();
        ok(e);
        return 0;
    }

private:
    impl& d_;
};

class recording_camera::impl::config_part final : public pvx3::config {
public:
    explicit config_part(impl& d) : d_(d) { }
    int enable_stream(int type, int width, int height, pvx3::pvx3_error* e) override
    {
        stream s;
        if (!stream_of(type, s))
            return fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT, "unknown stream type");
        if (!(d_.reader->streams() & bit(s)) || width <= 0 || height <= 0)
            return fail(e, pvx3::PVX3_ERROR_UNSUPPORTED,
                        std::string("the recording holds no ") + recording::stream_name(s) + " stream");
        std::lock_guard<std::mutex> g(d_.lock);
        d_.enabled.insert(type);
        ok(e);
        return 0;
    }
    int disable_stream(int type, pvx3::pvx3_error* e) override
    {
        stream s;
        if (!stream_of(type, s))
            return fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT, "unknown stream type");
        std::lock_guard<std::mutex> g(d_.lock);
        d_.enabled.erase(type);
        ok(e);
        return 0;
    }

private:
    impl& d_;
};

class recording_camera::impl::device_part final : public pvx3::device {
public:
    explicit device_part(impl& d) : d_(d) { }
    pvx3::sensor* get_sensor(pvx3::pvx3_error* e) override
    {
        ok(e);
        return (d_.reader->streams() & (bit(stream::depth) | bit(stream::ir))) ? d_.sensor.get() : nullptr;
    }
    std::vector<int> get_support_stream(pvx3::pvx3_error* e) override
    {
        ok(e);
        std::vector<int> out;
        for (stream s : recording::kAllStreams)
            if (d_.reader->streams() & bit(s))
                out.push_back(pvx3_type(s));
        return out;
    }
    std::vector<pvx3::pvx3_stream_format> get_support_format(pvx3::pvx3_error* e) override
    {
        ok(e);
        std::vector<pvx3::pvx3_stream_format> out;
        for (const auto& [type, sizes] : d_.formats)
            for (const auto& [w, h] : sizes)
                out.push_back({type, w, h});
        return out;
    }
    int get_calibration(int width, int height, pvx3::pvx3_calibration& out, pvx3::pvx3_error* e) override
    {
        const std::optional<recording::calibration> c = d_.reader->calibration_at(d_.timeline.now().shown);
        if (!c)
            return fail(e, pvx3::PVX3_ERROR_UNSUPPORTED, "the recording holds no calibration");
        if (c->width != width || c->height != height)
            return fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT, "the recording's calibration has another size");
        out.device_type = c->device_type;
        out.mode = c->mode;
        out.width = c->width;
        out.height = c->height;
        out.frequency1 = c->frequency1;
        out.frequency2 = c->frequency2;
        out.serial_number = c->serial_number;
        out.words = c->words;
        ok(e);
        return 0;
    }

private:
    impl& d_;
};

class recording_camera::impl::engine_part final : public pvx3::process_engine {
public:
    explicit engine_part(impl& d) : d_(d) { }
    pvx3::frame* depth_to_point_cloud(pvx3::frame* depth, pvx3::pvx3_error* e) override
    {
        const memory_frame* f = detail::as_memory(depth);
        if (!f || f->meta().stream != pvx3::PVX3_STREAM_DEPTH) {
            fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT, "depth_to_point_cloud needs a depth frame of the recording");
            return nullptr;
        }
        std::vector<float> xyz;
        std::string why;
        if (!d_.points(*f, xyz, why)) {
            fail(e, pvx3::PVX3_ERROR_LIBRARY, why);
            return nullptr;
        }
        frame_meta m = f->meta();
        m.stream = pvx3::PVX3_STREAM_POINT_CLOUD;
        std::lock_guard<std::mutex> g(lock_);
        cloud_ = std::make_unique<memory_frame>(m, f->get_width(), f->get_height(), std::move(xyz));
        ok(e);
        return cloud_.get();
    }
    pvx3::frameset* depth_to_rgb(pvx3::frame* depth, pvx3::frame* rgb, pvx3::pvx3_error* e) override
    {
        const memory_frame* d = detail::as_memory(depth);
        const memory_frame* c = detail::as_memory(rgb);
        if (!d || d->meta().stream != pvx3::PVX3_STREAM_DEPTH || d->meta().registered || !c
            || c->meta().stream != pvx3::PVX3_STREAM_RGB || c->meta().registered) {
            fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT,
                 "depth_to_rgb needs a depth frame and a colour frame of the recording");
            return nullptr;
        }
        std::string why;
        std::unique_ptr<memory_frameset> set = d_.registered(*d, *c, why);
        if (!set) {
            fail(e, pvx3::PVX3_ERROR_LIBRARY, why);
            return nullptr;
        }
        ok(e);
        return set.release();
    }

private:
    impl& d_;
    std::mutex lock_;
    std::unique_ptr<memory_frame> cloud_;
};

class recording_camera::impl::pipeline_part final : public pvx3::pipeline {
public:
    explicit pipeline_part(impl& d) : d_(d) { }
    int start(pvx3::config* cfg, pvx3::pvx3_error* e) override
    {
        if (cfg != d_.config.get())
            return fail(e, pvx3::PVX3_ERROR_INVALID_ARGUMENT, "start needs the recording's configuration");
        d_.timeline.start();
        ok(e);
        return 0;
    }
    pvx3::process_engine* get_process_engine(pvx3::pvx3_error* e) override
    {
        ok(e);
        return d_.engine.get();
    }
    int stop(pvx3::pvx3_error* e) override
    {
        d_.timeline.stop();
        ok(e);
        return 0;
    }
    pvx3::frameset* wait_for_frames(unsigned int timeout_ms, pvx3::pvx3_error* e) override
    {
        using clock = std::chrono::steady_clock;
        const clock::time_point deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
            bool stopped = false;
            const std::optional<size_t> index =
                d_.timeline.next(std::max(left, std::chrono::milliseconds(0)), stopped);
            if (!index) {
                if (stopped)
                    fail(e, pvx3::PVX3_ERROR_NOT_STREAMING, "the recording is not playing");
                else
                    fail(e, pvx3::PVX3_ERROR_TIMEOUT, "no frame set due within the timeout");
                return nullptr;
            }
            std::string why;
            std::unique_ptr<pvx3::frameset> set = d_.take(*index, why);
            if (set) {
                ok(e);
                return set.release();
            }
            if (!why.empty()) {
                std::lock_guard<std::mutex> g(d_.lock);
                ++d_.read_failures;
                d_.last_read_error = why;
            }
            if (clock::now() >= deadline) {
                fail(e, pvx3::PVX3_ERROR_TIMEOUT, "no frame set due within the timeout");
                return nullptr;
            }
        }
    }

private:
    impl& d_;
};

recording_camera::impl::impl(std::unique_ptr<recording::reader> r, std::vector<int64_t> stamps)
    : reader(std::move(r)), timeline(std::move(stamps))
{
    path = reader->path();
    name = "Recording: " + file_name(path);
    colour_table = recording::sdk_colour_table();
    sensor = std::make_unique<sensor_part>(*this);
    config = std::make_unique<config_part>(*this);
    device = std::make_unique<device_part>(*this);
    engine = std::make_unique<engine_part>(*this);
    pipeline = std::make_unique<pipeline_part>(*this);
    prefetcher = std::thread([this] { prefetch_loop(); });
}

recording_camera::impl::~impl()
{
    {
        std::lock_guard<std::mutex> g(prefetch_lock);
        prefetch_exit = true;
    }
    prefetch_wake.notify_all();
    prefetcher.join();
}

recording_camera::impl::build_key recording_camera::impl::current_key() const
{
    std::lock_guard<std::mutex> g(lock);
    return build_key{enabled, reprocess, filter, distance_range};
}

void recording_camera::impl::prefetch_loop()
{
    std::unique_lock<std::mutex> g(prefetch_lock);
    for (;;) {
        prefetch_wake.wait(g, [this] { return prefetch_exit || !prefetch_wanted.empty(); });
        if (prefetch_exit)
            return;
        const size_t index = prefetch_wanted.front();
        prefetch_wanted.pop_front();
        prefetch_busy = index;
        g.unlock();
        const build_key key = current_key();
        if (!built.holds({index, key})) {
            std::string ignored;  // a failure shows when the frame set is taken
            std::unique_ptr<memory_frameset> set = build(index, key, ignored);
            // Built with what was asked when it began: useless once that changed.
            if (set && current_key() == key)
                store(index, key, *set);
        }
        g.lock();
        prefetch_busy.reset();
        prefetch_wake.notify_all();
    }
}

void recording_camera::impl::want(size_t index, const build_key& key, bool playing, bool loop)
{
    const size_t count = timeline.size();
    std::deque<size_t> wanted;
    auto add = [&](long long i) {
        if (loop && count > 0)
            i = (i % static_cast<long long>(count) + static_cast<long long>(count)) % static_cast<long long>(count);
        if (i >= 0 && static_cast<size_t>(i) < count && static_cast<size_t>(i) != index
            && std::find(wanted.begin(), wanted.end(), static_cast<size_t>(i)) == wanted.end())
            wanted.push_back(static_cast<size_t>(i));
    };
    const long long at = static_cast<long long>(index);
    std::lock_guard<std::mutex> g(prefetch_lock);
    const bool same_key = handed_index && handed_key == key;
    const long long from = handed_index ? static_cast<long long>(*handed_index) : -2;
    if (playing) {
        add(at + 1);
        add(at + 2);
    } else if (same_key && from == at) {
        // Paused and shown a while (handed out again): both neighbours.
        add(at + 1);
        add(at - 1);
    } else if (same_key && (at == from + 1 || at == from - 1)) {
        // Stepping: the next step the same way. Nothing after a seek or a
        // setting change until the frame set has been shown a while: on a
        // busy machine that competes for the reader and the library with
        // what the user asks next (measured: far seeks got slower).
        add(at + (at - from));
    }
    handed_index = index;
    handed_key = key;
    // What was wanted for an earlier place is not wanted any more.
    prefetch_wanted = std::move(wanted);
    prefetch_wake.notify_all();
}

void recording_camera::impl::store(size_t index, const build_key& key, const memory_frameset& set)
{
    built.drop_if([&](const built_key& k) { return !(k.second == key); });
    built.put({index, key}, std::shared_ptr<const memory_frameset>(set.share()));
}

std::unique_ptr<pvx3::frameset> recording_camera::impl::take(size_t index, std::string& error)
{
    const build_key key = current_key();
    {
        std::unique_lock<std::mutex> g(prefetch_lock);
        // Built here if the prefetch thread has not begun it yet; the frame
        // set being prefetched is waited for. Never built twice.
        prefetch_wanted.erase(std::remove(prefetch_wanted.begin(), prefetch_wanted.end(), index),
                              prefetch_wanted.end());
        prefetch_wake.wait(g, [&] { return prefetch_busy != index || prefetch_exit; });
    }
    std::unique_ptr<memory_frameset> set;
    if (std::shared_ptr<const memory_frameset> kept = built.find({index, key}))
        set = kept->share();
    if (!set) {
        set = build(index, key, error);
        if (!set)
            return nullptr;
        store(index, key, *set);
    }
    keep(*set);
    {
        std::lock_guard<std::mutex> g(lock);
        if (set->recorded_depth) {
            recorded_depth = set->recorded_depth;
            recorded_frame.reset();
            recorded_w = set->recorded_width;
            recorded_h = set->recorded_height;
        } else if (set->depth) {
            recorded_depth.reset();
            recorded_frame = set->depth;
            recorded_w = set->depth->image().width;
            recorded_h = set->depth->image().height;
        }
    }
    const detail::player::state s = timeline.now();
    want(index, key, s.playing, s.loop);
    return set;
}

void recording_camera::impl::keep(const memory_frameset& set)
{
    std::lock_guard<std::mutex> g(reuse_lock);
    last_built = set.share();
}

recording::reprocessor* recording_camera::impl::reprocessor_or_null()
{
    std::lock_guard<std::mutex> g(reprocessor_lock);
    if (!reprocessor_tried) {
        reprocessor_tried = true;
        std::string why;
        reprocessor = recording::reprocessor::create(why);
        if (!reprocessor) {
            std::lock_guard<std::mutex> l(lock);
            reprocess_reason = why;
        }
    }
    return reprocessor.get();
}

bool recording_camera::impl::points(const memory_frame& depth, std::vector<float>& xyz, std::string& error)
{
    const recording::image& img = depth.image();
    const frame_meta& m = depth.meta();
    const std::optional<recording::calibration> cal = reader->calibration_at(timeline.now().shown);
    if (cal && cal->width == img.width && cal->height == img.height)
        if (recording::reprocessor* r = reprocessor_or_null())
            return r->points(*cal, img, m.flip_vertical, m.flip_horizontal, xyz, error);
    // Without the calibration: the pinhole of the recorded lens.
    const recording::lens_model& l = m.lens;
    if (!l.known()) {
        error = "the recording holds neither calibration nor lens for its depth";
        return false;
    }
    xyz.assign(size_t(img.width) * img.height * 3, 0.0f);
    const uint16_t* d = img.pixels16();
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const size_t i = size_t(y) * img.width + x;
            if (d[i] <= 1)
                continue;
            const double z = d[i];
            xyz[i * 3] = static_cast<float>((x - l.cx) / l.fx * z);
            xyz[i * 3 + 1] = static_cast<float>((y - l.cy) / l.fy * z);
            xyz[i * 3 + 2] = static_cast<float>(z);
        }
    return true;
}

void recording_camera::impl::colourise(memory_frame& depth, const recording::camera_settings& settings,
                                       const std::optional<std::pair<uint16_t, uint16_t>>& range) const
{
    const recording::image& img = depth.image();
    const int far_mm = range ? range->first : settings.far_mm;
    const int near_mm = range ? range->second : settings.near_mm;
    std::vector<uint8_t> rgb(size_t(img.width) * img.height * 3);
    recording::colourise_depth(img.pixels16(), size_t(img.width) * img.height, near_mm, far_mm, colour_table,
                               rgb.data());
    depth.set_render(std::move(rgb));
}

std::unique_ptr<memory_frameset> recording_camera::impl::registered(const memory_frame& depth,
                                                                    const memory_frame& colour, std::string& error)
{
    const build_key key = current_key();
    {
        // A paused recording hands the same frames out again: register once.
        std::lock_guard<std::mutex> g(reuse_lock);
        if (registered_last && registered_from_depth.get() == &depth && registered_from_colour.get() == &colour
            && registered_range == key.distance_range)
            return registered_last->share();
    }
    const size_t shown = timeline.now().shown;
    const std::optional<recording::calibration> cal = reader->calibration_at(shown);
    if (!cal) {
        error = "the recording holds no calibration to register depth to colour with";
        return nullptr;
    }
    recording::reprocessor* r = reprocessor_or_null();
    if (!r) {
        std::lock_guard<std::mutex> g(lock);
        error = "the reconstruction library cannot be loaded: " + reprocess_reason;
        return nullptr;
    }
    const frame_meta& dm = depth.meta();
    std::vector<uint16_t> reg;
    std::vector<uint8_t> bgr;
    int w = 0, h = 0;
    if (!r->align(*cal, depth.image(), colour.image(), dm.flip_vertical, dm.flip_horizontal, reg, bgr, w, h, error))
        return nullptr;
    // Both results lie in the undistorted colour image: its pinhole.
    recording::lens_model pinhole;
    pinhole.fx = colour.meta().lens.fx;
    pinhole.fy = colour.meta().lens.fy;
    pinhole.cx = colour.meta().lens.cx;
    pinhole.cy = colour.meta().lens.cy;

    recording::image dimg;
    dimg.width = w;
    dimg.height = h;
    dimg.step = static_cast<uint32_t>(w * 2);
    dimg.encoding = recording::encoding::kDepth;
    dimg.lens = pinhole;
    dimg.data.resize(reg.size() * 2);
    std::memcpy(dimg.data.data(), reg.data(), dimg.data.size());
    recording::image cimg;
    cimg.width = w;
    cimg.height = h;
    cimg.step = static_cast<uint32_t>(w * 3);
    cimg.encoding = recording::encoding::kBgr8;
    cimg.lens = pinhole;
    cimg.data = std::move(bgr);

    frame_meta m = dm;
    m.registered = true;
    m.lens = pinhole;
    auto out = std::make_unique<memory_frameset>();
    out->depth = std::make_shared<memory_frame>(m, std::move(dimg));
    colourise(*out->depth, reader->settings_at(shown), key.distance_range);
    frame_meta cm = colour.meta();
    cm.registered = true;
    cm.lens = pinhole;
    out->rgb = std::make_shared<memory_frame>(cm, std::move(cimg));
    std::lock_guard<std::mutex> g(reuse_lock);
    if (last_built && last_built->depth.get() == &depth && last_built->rgb.get() == &colour) {
        registered_from_depth = last_built->depth;
        registered_from_colour = last_built->rgb;
        registered_range = key.distance_range;
        registered_last = out->share();
    }
    return out;
}

std::unique_ptr<memory_frameset> recording_camera::impl::build(size_t index, const build_key& key,
                                                               std::string& error)
{
    const std::set<int>& wanted = key.enabled;
    const bool reprocess_now = key.reprocess;
    const std::optional<int>& filter_now = key.filter;
    const std::optional<std::pair<uint16_t, uint16_t>>& range_now = key.distance_range;
    recording::stream_mask mask = 0;
    for (int type : wanted) {
        stream s;
        if (stream_of(type, s))
            mask |= bit(s);
    }
    const bool with_depth = mask & bit(stream::depth);
    const bool raw_wanted = mask & bit(stream::raw_phase);
    std::shared_ptr<const recording::image> raw;
    if (with_depth && reprocess_now) {
        raw = raw_frames.find(index);
        if (!raw)
            mask |= bit(stream::raw_phase);
    }
    if (mask == 0)
        return nullptr;
    recording::frame_set fs;
    if (!reader->read(index, fs, error, mask))
        return nullptr;
    if (with_depth && reprocess_now && !raw && fs[stream::raw_phase]) {
        // Kept for the next build of this frame set; copied only when the
        // raw stream itself is handed out too.
        raw = raw_wanted ? std::make_shared<const recording::image>(*fs[stream::raw_phase])
                         : std::make_shared<const recording::image>(std::move(*fs[stream::raw_phase]));
        if (!raw_wanted)
            fs[stream::raw_phase].reset();
        raw_frames.put(index, raw);
    }
    const recording::camera_settings settings = reader->settings_at(index);
    frame_meta meta;
    meta.frame_number = fs.frame_number;
    meta.timestamp_us = fs.timestamp_us;
    meta.integration_us = settings.integration_time_us;
    meta.flip_vertical = settings.flip_vertical;
    meta.flip_horizontal = settings.flip_horizontal;

    auto out = std::make_unique<memory_frameset>();
    auto make = [&](stream s, int type) -> std::shared_ptr<memory_frame> {
        std::optional<recording::image>& img = fs[s];
        if (!img || !wanted.count(type))
            return nullptr;
        make_tight(*img);
        frame_meta m = meta;
        m.stream = type;
        m.lens = img->lens;
        return std::make_shared<memory_frame>(m, std::move(*img));
    };
    // Re-processing needs the raw frame before it is moved into a frame.
    std::optional<recording::image> computed;
    if (with_depth && reprocess_now && raw && fs[stream::depth]) {
        const std::optional<recording::calibration> cal = reader->calibration_at(index);
        recording::reprocessor* r = cal ? reprocessor_or_null() : nullptr;
        if (r) {
            recording::reprocess_options o = recording::options_from(settings);
            if (filter_now)
                o.filter = *filter_now;
            std::vector<uint16_t> depth;
            int w = 0, h = 0;
            std::string why;
            if (r->compute(*cal, *raw, o, depth, w, h, why)) {
                recording::image img;
                img.width = w;
                img.height = h;
                img.step = static_cast<uint32_t>(w * 2);
                img.encoding = recording::encoding::kDepth;
                img.lens = fs[stream::depth]->lens;
                img.data.resize(depth.size() * 2);
                std::memcpy(img.data.data(), depth.data(), img.data.size());
                computed = std::move(img);
            } else {
                error = why;
            }
        }
    }
    if (computed && fs[stream::depth]) {
        make_tight(*fs[stream::depth]);
        const recording::image& rec = *fs[stream::depth];
        out->recorded_depth = std::make_shared<const std::vector<uint16_t>>(
            rec.pixels16(), rec.pixels16() + size_t(rec.width) * rec.height);
        out->recorded_width = rec.width;
        out->recorded_height = rec.height;
        fs[stream::depth] = std::move(computed);
    }
    out->depth = make(stream::depth, pvx3::PVX3_STREAM_DEPTH);
    if (out->depth)
        colourise(*out->depth, settings, range_now);
    out->ir = make(stream::ir, pvx3::PVX3_STREAM_IR);
    out->rgb = make(stream::colour, pvx3::PVX3_STREAM_RGB);
    out->raw = make(stream::raw_phase, pvx3::PVX3_STREAM_RAW_PHASE);
    if (!out->depth && !out->ir && !out->rgb && !out->raw)
        return nullptr;  // none of the streams asked for in this frame set
    return out;
}

// ------------------------------------------------------------------ public

recording_camera::recording_camera(std::unique_ptr<impl> d) : d_(std::move(d)) { }
recording_camera::~recording_camera() = default;

std::unique_ptr<recording_camera> recording_camera::open(const std::string& path, std::string& error,
                                                         recording::open_status* status)
{
    std::unique_ptr<recording::reader> r = recording::reader::open(path, error, status);
    if (!r)
        return nullptr;
    if (r->size() == 0 || !(r->streams() & (bit(stream::depth) | bit(stream::ir) | bit(stream::colour)))) {
        error = "the recording holds no depth, IR or colour images";
        return nullptr;
    }
    std::vector<int64_t> stamps(r->size());
    for (size_t i = 0; i < stamps.size(); ++i)
        stamps[i] = r->stamp_ns(i);
    auto d = std::make_unique<impl>(std::move(r), std::move(stamps));
    // Formats: the sizes the settings records name, else those of the first
    // image of each stream.
    auto add = [&](int type, int w, int h) {
        auto& v = d->formats[type];
        if (w > 0 && h > 0 && std::find(v.begin(), v.end(), std::make_pair(w, h)) == v.end())
            v.emplace_back(w, h);
    };
    for (const recording::settings_change& c : d->reader->settings_changes()) {
        if (d->reader->streams() & bit(stream::depth))
            add(pvx3::PVX3_STREAM_DEPTH, c.settings.depth_width, c.settings.depth_height);
        if (d->reader->streams() & bit(stream::ir))
            add(pvx3::PVX3_STREAM_IR, c.settings.depth_width, c.settings.depth_height);
        if (d->reader->streams() & bit(stream::colour))
            add(pvx3::PVX3_STREAM_RGB, c.settings.colour_width, c.settings.colour_height);
    }
    for (stream s : {stream::depth, stream::ir, stream::colour}) {
        if (!(d->reader->streams() & bit(s)) || !d->formats[pvx3_type(s)].empty())
            continue;
        recording::frame_set fs;
        std::string why;
        const size_t first = d->reader->first_with(s);
        if (first < d->reader->size() && d->reader->read(first, fs, why, bit(s)) && fs[s])
            add(pvx3_type(s), fs[s]->width, fs[s]->height);
    }
    for (auto it = d->formats.begin(); it != d->formats.end();)
        it = it->second.empty() ? d->formats.erase(it) : std::next(it);
    if (d->formats.empty()) {
        error = "the recording's images cannot be read";
        return nullptr;
    }
    return std::unique_ptr<recording_camera>(new recording_camera(std::move(d)));
}

const std::string& recording_camera::display_name() const { return d_->name; }
const std::string& recording_camera::path() const { return d_->path; }
recording::stream_mask recording_camera::streams() const { return d_->reader->streams(); }

void recording_camera::play() { d_->timeline.play(); }
void recording_camera::pause() { d_->timeline.pause(); }
void recording_camera::toggle_play() { d_->timeline.toggle(); }
void recording_camera::step(int delta) { d_->timeline.step(delta); }
void recording_camera::seek(size_t index) { d_->timeline.seek(index); }
void recording_camera::set_speed(double speed) { d_->timeline.set_speed(speed); }
void recording_camera::set_loop(bool loop) { d_->timeline.set_loop(loop); }

position recording_camera::where() const
{
    const detail::player::state s = d_->timeline.now();
    position p;
    p.index = s.shown;
    p.count = d_->timeline.size();
    p.shown = s.any_shown;
    p.playing = s.playing;
    p.loop = s.loop;
    p.speed = s.speed;
    p.passes = s.passes;
    if (p.count > 0) {
        const int64_t first = d_->timeline.stamp(0);
        p.seconds = double(d_->timeline.stamp(s.shown) - first) / 1e9;
        p.duration_s = double(d_->timeline.stamp(p.count - 1) - first) / 1e9;
    }
    return p;
}

bool recording_camera::can_reprocess() const { return reprocess_unavailable_reason().empty(); }

// Why the library cannot compute from this recording's calibration; empty
// when it can. Shared by re-processing and registration.
std::string recording_camera::library_unavailable_reason() const
{
    if (d_->reader->calibration_count() == 0)
        return "the recording holds no calibration";
    if (!d_->reprocessor_or_null()) {
        std::lock_guard<std::mutex> g(d_->lock);
        return "the reconstruction library cannot be loaded: " + d_->reprocess_reason;
    }
    return std::string();
}

std::string recording_camera::reprocess_unavailable_reason() const
{
    if (!(d_->reader->streams() & bit(stream::raw_phase)))
        return "the recording holds no raw phase frames";
    return library_unavailable_reason();
}

std::string recording_camera::registration_unavailable_reason() const
{
    const recording::stream_mask both = bit(stream::depth) | bit(stream::colour);
    if ((d_->reader->streams() & both) != both)
        return "the recording does not hold both depth and colour";
    return library_unavailable_reason();
}

void recording_camera::set_reprocess(bool on)
{
    {
        std::lock_guard<std::mutex> g(d_->lock);
        d_->reprocess = on;
    }
    d_->timeline.refresh();
}

bool recording_camera::reprocessing() const
{
    std::lock_guard<std::mutex> g(d_->lock);
    return d_->reprocess;
}

uint16_t recording_camera::recorded_depth_at(int x, int y) const
{
    std::lock_guard<std::mutex> g(d_->lock);
    if (x < 0 || y < 0 || x >= d_->recorded_w || y >= d_->recorded_h)
        return 0;
    const size_t i = size_t(y) * d_->recorded_w + x;
    if (d_->recorded_depth)
        return (*d_->recorded_depth)[i];
    return d_->recorded_frame ? d_->recorded_frame->image().pixels16()[i] : 0;
}

size_t recording_camera::take_read_failures(std::string& last_error)
{
    std::lock_guard<std::mutex> g(d_->lock);
    const size_t n = d_->read_failures;
    d_->read_failures = 0;
    last_error = d_->last_read_error;
    return n;
}

pvx3::pipeline* recording_camera::create_pipeline() { return d_->pipeline.get(); }
pvx3::config* recording_camera::create_config() { return d_->config.get(); }

const char* recording_camera::device_info(int key)
{
    static const std::string empty;
    const std::optional<recording::device_info>& info = d_->reader->device();
    switch (key) {
    case pvx3::PVX3_CAMERA_INFO_MODULE_NAME: return info ? info->module_name.c_str() : d_->name.c_str();
    case pvx3::PVX3_CAMERA_INFO_PRODUCT_NUMBER: return info ? info->product_number.c_str() : empty.c_str();
    case pvx3::PVX3_CAMERA_INFO_FIRMWARE_VERSION: return info ? info->firmware_version.c_str() : empty.c_str();
    case pvx3::PVX3_CAMERA_INFO_SERIAL_NUMBER: return info ? info->serial_number.c_str() : empty.c_str();
    case pvx3::PVX3_CAMERA_INFO_RECOMMENDED_FIRMWARE_VERSION:
        return info ? info->recommended_firmware_version.c_str() : empty.c_str();
    default: return nullptr;
    }
}

int recording_camera::query_devices(pvx3::pvx3_error* e)
{
    ok(e);
    return 1;
}

pvx3::device* recording_camera::get_device(pvx3::pvx3_error* e)
{
    ok(e);
    return d_->device.get();
}

// ------------------------------------------------------- host context calls

pvx3::pipeline* create_pipeline(pvx3::context* ctx)
{
    if (auto* h = dynamic_cast<host_context*>(ctx))
        return h->create_pipeline();
    return pvx3::pvx3_create_pipeline(ctx, nullptr);
}

pvx3::config* create_config(pvx3::context* ctx)
{
    if (auto* h = dynamic_cast<host_context*>(ctx))
        return h->create_config();
    return pvx3::pvx3_create_config(ctx, nullptr);
}

const char* device_info(pvx3::context* ctx, pvx3::device* device, int key)
{
    if (auto* h = dynamic_cast<host_context*>(ctx))
        return h->device_info(key);
    return pvx3::pvx3_get_device_info(device, key, nullptr);
}

}  // namespace playback
