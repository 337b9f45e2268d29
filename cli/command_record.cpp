// tessivue-cli record: headless capture from the camera into a recording.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include <parvolux3/pvx3.h>

#include "arguments.h"
#include "cli.h"
#include "recording/pvx3_capture.h"
#include "recording/writer.h"

#ifndef TESSIVUE_VERSION
#define TESSIVUE_VERSION "0"
#endif

namespace cli {
namespace {

constexpr const char* kCommand = "record";

constexpr const char* kHelp = R"(Usage: tessivue-cli record --out FILE.bag [OPTIONS]

Records from the camera into a ROS bag file until the time or frame count is
reached, or until Ctrl-C (or SIGTERM), which ends the file cleanly.

Options:
  --out FILE.bag             the recording to write (required)
  --seconds S                stop after S seconds
  --frames N                 stop after N frame sets
  --streams LIST             comma-separated: depth, ir, color, raw (default:
                             every one of them the camera offers)
  --resolution WxH           depth and IR size: 640x480 or 320x240 (default:
                             the camera's first depth format)
  --color-resolution WxH     colour size, e.g. 1920x1080 (default) or 1280x720
  --integration-time US      the sensor's integration time in microseconds
  --filter on|off|noise-aware
                             the camera's depth filters: on (median and block
                             deviation), off, or noise-aware where the camera
                             offers it
  --compression lz4|none|bz2 chunk compression (default lz4)
  --raw-compression lz4|none|bz2
                             chunk compression of the raw phase frames
                             (default none: LZ4 shrinks them only to about
                             72 % and makes re-processing read them slower)
  --overwrite                replace FILE.bag when it exists
  --help                     this text

Raw phase frames (about 9.8 MB per frame set at 640x480) are recorded when the
camera offers them; when the disk cannot keep up, whole raw frames and then
whole frame sets are dropped and counted, never the camera held up. A progress
line (time, frame sets, size, dropped) is shown when stderr is a terminal.
)";

constexpr int kNoFrameLimitSeconds = 15;

struct record_request {
    std::string out;
    std::optional<double> seconds;
    std::optional<long long> frames;
    std::optional<recording::stream_mask> streams;  // as asked; default: all offered
    std::optional<std::pair<int, int>> resolution, colour_resolution;
    std::optional<int> integration_us;
    std::optional<int> filter;
    recording::compression compress = recording::compression::lz4;
    recording::compression raw_compress = recording::compression::none;
    bool overwrite = false;
};

bool parse_request(const arguments& a, record_request& r, std::string& error)
{
    if (!a.positional().empty()) {
        error = "unexpected argument \"" + a.positional().front() + "\"";
        return false;
    }
    const auto out = a.value("out");
    if (!out || out->empty()) {
        error = "--out FILE.bag is required";
        return false;
    }
    r.out = *out;
    if (const auto v = a.value("seconds")) {
        double s = 0;
        if (!parse_double(*v, 0.001, 1e7, s) || s <= 0) {
            error = "--seconds needs a positive number of seconds, not \"" + *v + "\"";
            return false;
        }
        r.seconds = s;
    }
    if (const auto v = a.value("frames")) {
        long long n = 0;
        if (!parse_int(*v, 1, 1000000000000LL, n)) {
            error = "--frames needs a positive whole number, not \"" + *v + "\"";
            return false;
        }
        r.frames = n;
    }
    if (r.seconds && r.frames) {
        error = "give --seconds or --frames, not both";
        return false;
    }
    if (const auto v = a.value("streams")) {
        recording::stream_mask m = 0;
        for (const std::string& name : split(*v, ',')) {
            recording::stream s;
            if (!recording::stream_from_name(name, s)) {
                error = "unknown stream \"" + name + "\" in --streams (depth, ir, color, raw)";
                return false;
            }
            m |= recording::bit(s);
        }
        r.streams = m;
    }
    for (const char* name : {"resolution", "color-resolution"})
        if (const auto v = a.value(name)) {
            int w = 0, h = 0;
            if (!parse_size(*v, w, h)) {
                error = std::string("--") + name + " needs WIDTHxHEIGHT, e.g. 640x480, not \"" + *v + "\"";
                return false;
            }
            (std::string(name) == "resolution" ? r.resolution : r.colour_resolution) = std::make_pair(w, h);
        }
    if (const auto v = a.value("integration-time")) {
        long long us = 0;
        if (!parse_int(*v, 1, 65535, us)) {
            error = "--integration-time needs microseconds, not \"" + *v + "\"";
            return false;
        }
        r.integration_us = static_cast<int>(us);
    }
    if (const auto v = a.value("filter")) {
        int mode = 0;
        if (!parse_filter_mode(*v, mode)) {
            error = kFilterModeError + *v + "\"";
            return false;
        }
        r.filter = mode;
    }
    if (const auto v = a.value("compression"))
        if (!recording::compression_from_name(*v, r.compress)) {
            error = "--compression takes lz4, none or bz2, not \"" + *v + "\"";
            return false;
        }
    if (const auto v = a.value("raw-compression"))
        if (!recording::compression_from_name(*v, r.raw_compress)) {
            error = "--raw-compression takes lz4, none or bz2, not \"" + *v + "\"";
            return false;
        }
    r.overwrite = a.has("overwrite");
    return true;
}

bool has_format(const std::vector<pvx3::pvx3_stream_format>& formats, int type, int w, int h)
{
    return std::any_of(formats.begin(), formats.end(),
                       [&](const pvx3::pvx3_stream_format& f) { return f.type == type && f.width == w && f.height == h; });
}

std::optional<std::pair<int, int>> first_format(const std::vector<pvx3::pvx3_stream_format>& formats, int type)
{
    for (const pvx3::pvx3_stream_format& f : formats)
        if (f.type == type)
            return std::make_pair(f.width, f.height);
    return std::nullopt;
}

std::string progress_text(double seconds, const recording::writer_status& s)
{
    char buf[200];
    std::snprintf(buf, sizeof buf, "Recording %.1f s  %llu frame sets  %.1f MB  dropped %llu (raw %llu)", seconds,
                  static_cast<unsigned long long>(s.frame_sets_submitted), s.bytes_written / 1e6,
                  static_cast<unsigned long long>(s.frame_sets_dropped),
                  static_cast<unsigned long long>(s.raw_frames_dropped));
    return buf;
}

// Sets the integration time; the sensor refuses (-1) for a moment after a
// start, so it is asked again for up to 3 s while frames are let pass.
bool set_integration_time(pvx3::sensor* sensor, pvx3::pipeline* pipe, int us, std::string& error)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (;;) {
        pvx3::pvx3_error e;
        const int rc = sensor->set_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, static_cast<uint16_t>(us), &e);
        if (rc == 0)
            return true;
        if (rc != pvx3::PVX3_ERROR_NOT_NOW || std::chrono::steady_clock::now() > deadline || stop_requested()) {
            error = "the camera refused the integration time " + std::to_string(us) + " us"
                    + (e.message.empty() ? std::string() : " (" + e.message + ")");
            return false;
        }
        std::unique_ptr<pvx3::frameset> skipped(pipe->wait_for_frames(100, nullptr));
    }
}

}  // namespace

int run_record(const args_t& args)
{
    arguments a;
    std::string error;
    if (!a.parse(args,
                 {{"out", true}, {"seconds", true}, {"frames", true}, {"streams", true}, {"resolution", true}, {"color-resolution", true}, {"integration-time", true}, {"filter", true}, {"compression", true}, {"raw-compression", true}, {"overwrite", false}, {"help", false}},
                 error))
        return usage_error(kCommand, error);
    if (a.has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    record_request req;
    if (!parse_request(a, req, error))
        return usage_error(kCommand, error);
    struct stat st { };
    if (!req.overwrite && ::stat(req.out.c_str(), &st) == 0) {
        report_error(kCommand, req.out + " exists; give --overwrite to replace it");
        return kExitFailure;
    }
    install_stop_handlers();

    pvx3::pvx3_error e;
    pvx3::context* ctx = pvx3::pvx3_create_context(&e);
    pvx3::device* dev = ctx ? ctx->get_device(&e) : nullptr;
    if (!dev) {
        report_error(kCommand, "no camera is connected" + (e.message.empty() ? std::string() : " (" + e.message + ")"));
        return kExitFailure;
    }
    const std::vector<int> offered = dev->get_support_stream(nullptr);
    const auto offers = [&](int t) { return std::find(offered.begin(), offered.end(), t) != offered.end(); };
    using recording::bit;
    using recording::stream;
    recording::stream_mask available = 0;
    if (offers(pvx3::PVX3_STREAM_DEPTH))
        available |= bit(stream::depth);
    if (offers(pvx3::PVX3_STREAM_IR))
        available |= bit(stream::ir);
    if (offers(pvx3::PVX3_STREAM_RGB))
        available |= bit(stream::colour);
    if (offers(pvx3::PVX3_STREAM_RAW_PHASE))
        available |= bit(stream::raw_phase);
    recording::stream_mask streams = req.streams.value_or(available);
    for (stream s : {stream::depth, stream::ir, stream::colour})
        if ((streams & bit(s)) && !(available & bit(s))) {
            report_error(kCommand, std::string("the camera has no ") + recording::stream_name(s) + " stream");
            return kExitFailure;
        }
    recording::raw_phase_state raw_state = recording::raw_phase_state::not_selected;
    if (streams & bit(stream::raw_phase)) {
        if (available & bit(stream::raw_phase)) {
            raw_state = recording::raw_phase_state::recorded;
        } else {
            streams &= ~bit(stream::raw_phase);
            raw_state = recording::raw_phase_state::not_offered;
            if (!streams) {
                report_error(kCommand, "the camera offers no raw phase frames, and no other stream was asked for");
                return kExitFailure;
            }
            report_error(kCommand, "note: the camera offers no raw phase frames; recording the processed streams only");
        }
    } else if (!(available & bit(stream::raw_phase))) {
        raw_state = recording::raw_phase_state::not_offered;
    }
    if (!streams) {
        report_error(kCommand, "the camera offers none of the streams asked for");
        return kExitFailure;
    }

    const std::vector<pvx3::pvx3_stream_format> formats = dev->get_support_format(nullptr);
    const bool tof = streams & (bit(stream::depth) | bit(stream::ir) | bit(stream::raw_phase));
    const bool colour = streams & bit(stream::colour);
    std::pair<int, int> depth_size{0, 0}, colour_size{0, 0};
    if (tof) {
        const int type = (streams & bit(stream::depth)) ? pvx3::PVX3_STREAM_DEPTH
                         : (streams & bit(stream::ir))  ? pvx3::PVX3_STREAM_IR
                                                        : pvx3::PVX3_STREAM_RAW_PHASE;
        const auto size = req.resolution ? req.resolution : first_format(formats, type);
        if (!size || !has_format(formats, type, size->first, size->second)) {
            report_error(kCommand, "the camera has no depth format " + std::to_string(size ? size->first : 0) + "x"
                                       + std::to_string(size ? size->second : 0));
            return kExitFailure;
        }
        depth_size = *size;
    } else if (req.resolution) {
        return usage_error(kCommand, "--resolution needs a depth, IR or raw stream");
    }
    if (colour) {
        std::optional<std::pair<int, int>> size = req.colour_resolution;
        if (!size)
            size = has_format(formats, pvx3::PVX3_STREAM_RGB, 1920, 1080) ? std::make_pair(1920, 1080)
                                                                          : first_format(formats, pvx3::PVX3_STREAM_RGB);
        if (!size || !has_format(formats, pvx3::PVX3_STREAM_RGB, size->first, size->second)) {
            report_error(kCommand, "the camera has no colour format " + std::to_string(size ? size->first : 0) + "x"
                                       + std::to_string(size ? size->second : 0));
            return kExitFailure;
        }
        colour_size = *size;
    } else if (req.colour_resolution) {
        return usage_error(kCommand, "--color-resolution needs the color stream");
    }

    pvx3::sensor* sensor = tof ? dev->get_sensor(nullptr) : nullptr;
    if ((req.integration_us || req.filter) && !sensor) {
        report_error(kCommand, "the camera has no depth sensor to set the integration time or filter of");
        return kExitFailure;
    }
    if (req.integration_us) {
        uint16_t hi = 0, lo = 0;
        if (sensor->get_option_range(pvx3::PVX3_OPTION_INTEGRATION_TIME_RANGE, hi, lo, nullptr) == 0
            && (*req.integration_us < lo || *req.integration_us > hi)) {
            report_error(kCommand, "--integration-time must lie between " + std::to_string(lo) + " and "
                                       + std::to_string(hi) + " us");
            return kExitUsage;
        }
    }
    if (req.filter && *req.filter > 1) {
        uint16_t hi = 0, lo = 0;
        if (sensor->get_option_range(pvx3::PVX3_OPTION_FILTER, hi, lo, nullptr) != 0 || hi < *req.filter) {
            report_error(kCommand, "the camera offers no noise-aware filter mode (its filter takes 0 to "
                                       + std::to_string(hi) + ")");
            return kExitFailure;
        }
    }
    if (req.filter && sensor->set_option(pvx3::PVX3_OPTION_FILTER, static_cast<uint16_t>(*req.filter), &e) != 0) {
        report_error(kCommand, "the camera refused the filter setting (" + e.message + ")");
        return kExitFailure;
    }

    recording::writer_options wo;
    wo.compress = req.compress;
    wo.raw_compress = req.raw_compress;
    wo.producer = std::string("tessivue-cli ") + TESSIVUE_VERSION;
    wo.raw_phase = raw_state;
    std::unique_ptr<recording::writer> writer = recording::writer::create(req.out, wo, error);
    if (!writer) {
        report_error(kCommand, error);
        return kExitFailure;
    }

    pvx3::config* cfg = pvx3::pvx3_create_config(ctx, nullptr);
    pvx3::pipeline* pipe = pvx3::pvx3_create_pipeline(ctx, nullptr);
    if (streams & bit(stream::depth))
        cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, depth_size.first, depth_size.second, nullptr);
    if (streams & bit(stream::ir))
        cfg->enable_stream(pvx3::PVX3_STREAM_IR, depth_size.first, depth_size.second, nullptr);
    if (streams & bit(stream::raw_phase))
        cfg->enable_stream(pvx3::PVX3_STREAM_RAW_PHASE, depth_size.first, depth_size.second, nullptr);
    if (colour)
        cfg->enable_stream(pvx3::PVX3_STREAM_RGB, colour_size.first, colour_size.second, nullptr);
    const auto give_up = [&](const std::string& message) {
        pipe->stop(nullptr);
        std::string ignored;
        writer->close(ignored);
        report_error(kCommand, message);
        return kExitFailure;
    };
    if (pipe->start(cfg, &e) != 0)
        return give_up("the camera does not start streaming: " + e.message);
    if (req.integration_us && !set_integration_time(sensor, pipe, *req.integration_us, error))
        return give_up(error);

    writer->set_device_info(recording::capture_device_info(dev));
    const std::optional<recording::calibration> cal =
        tof ? recording::capture_calibration(dev, depth_size.first, depth_size.second) : std::nullopt;
    if (cal)
        writer->set_calibration(*cal);
    const recording::camera_settings settings = recording::capture_settings(
        sensor, tof ? depth_size.first : 0, tof ? depth_size.second : 0, colour_size.first, colour_size.second);
    writer->set_settings(settings);
    const recording::stream_lenses lenses = recording::lenses_for(cal, settings);

    progress_line progress;
    // The time asked for counts from the first frame set (a camera may take
    // a moment to deliver it).
    std::optional<std::chrono::steady_clock::time_point> started;
    auto last_frame = std::chrono::steady_clock::now();
    long long taken = 0;
    std::string problem;
    while (!stop_requested()) {
        const auto now = std::chrono::steady_clock::now();
        const double elapsed = started ? std::chrono::duration<double>(now - *started).count() : 0.0;
        if (req.seconds && elapsed >= *req.seconds)
            break;
        if (req.frames && taken >= *req.frames)
            break;
        const recording::writer_status s = writer->status();
        if (s.stopped) {
            problem = s.problem;
            break;
        }
        progress.show(progress_text(elapsed, s));
        pvx3::pvx3_error we;
        std::unique_ptr<pvx3::frameset> set(pipe->wait_for_frames(200, &we));
        if (!set) {
            if (we.code == pvx3::PVX3_ERROR_NO_DEVICE) {
                problem = "the camera was lost; the recording holds what came before";
                break;
            }
            if (std::chrono::steady_clock::now() - last_frame > std::chrono::seconds(kNoFrameLimitSeconds)) {
                problem = "no frames came from the camera for " + std::to_string(kNoFrameLimitSeconds) + " s";
                break;
            }
            continue;
        }
        last_frame = std::chrono::steady_clock::now();
        if (!started)
            started = last_frame;
        recording::frame_set_view view;
        if (!recording::view_frame_set(*set, streams, lenses, view))
            continue;
        writer->submit(view);
        ++taken;
    }
    pipe->stop(nullptr);
    progress.finish();
    std::string close_error;
    const bool complete = writer->close(close_error);
    const recording::writer_status s = writer->status();
    const double span = s.frame_sets_written > 1 ? double(s.last_stamp_ns - s.first_stamp_ns) / 1e9 : 0.0;
    std::printf("Recorded %llu frame sets (%.1f s, %.1f MB) into %s; dropped %llu frame sets and %llu raw phase "
                "frames\n",
                static_cast<unsigned long long>(s.frame_sets_written), span, s.bytes_written / 1e6,
                req.out.c_str(), static_cast<unsigned long long>(s.frame_sets_dropped),
                static_cast<unsigned long long>(s.raw_frames_dropped));
    std::fflush(stdout);
    if (!problem.empty() && problem != s.problem) {
        report_error(kCommand, problem);
        return kExitFailure;
    }
    if (!complete) {
        report_error(kCommand, close_error.empty() ? "the recording could not be completed" : close_error);
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace cli
