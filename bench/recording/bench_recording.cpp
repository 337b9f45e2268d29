// Speed of recordings, on this machine and disk.
//
// BM_RecordCamera/camera_only|lz4|none: the virtual camera at 30 fps (real time),
//   640 x 480 depth + IR and 1920 x 1080 colour, recorded as the tool does for
//   TESSIVUE_BENCH_SECONDS (default 60). Counters: frame sets the camera
//   produced (its frame numbers), recorded, skipped by the acquisition loop,
//   dropped by the writer; CPU per frame set on the acquisition side (view
//   and submit, thread CPU time); file size per minute. camera_only runs the
//   same loop without recording: what the simulated camera delivers here.
// BM_RawPhase/lz4|none: 640 x 480 depth + raw phase frames (9.8 MB per frame
//   set) handed to the writer at 30 fps for 10 s from recorded camera frames,
//   so that only the recorder and the disk are measured: raw frames written
//   and dropped per second, MB/s reaching the file.
// BM_Export/...: frame sets exported per second (all kinds; each kind alone).
// BM_Reprocess/...: frame sets re-processed per second (compute only; into a
//   new lz4 recording).
// Files go to TESSIVUE_BENCH_DIR (default /tmp) and are removed afterwards.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <parvolux3/pvx3.h>

#include "frame_files.h"
#include "recording/pvx3_capture.h"
#include "recording/reader.h"
#include "recording/reprocessor.h"
#include "recording/writer.h"

namespace {

using recording::bit;
using recording::stream;

double thread_cpu_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

std::string bench_dir()
{
    const char* d = std::getenv("TESSIVUE_BENCH_DIR");
    return d && *d ? d : "/tmp";
}

double bench_seconds()
{
    const char* s = std::getenv("TESSIVUE_BENCH_SECONDS");
    const double v = s ? std::atof(s) : 0.0;
    return v > 0 ? v : 60.0;
}

struct camera {
    pvx3::context* ctx = pvx3::pvx3_create_context(nullptr);
    pvx3::device* dev = ctx ? ctx->get_device(nullptr) : nullptr;
    pvx3::sensor* sensor = dev ? dev->get_sensor(nullptr) : nullptr;
    pvx3::config* cfg = pvx3::pvx3_create_config(ctx, nullptr);
    pvx3::pipeline* pipe = pvx3::pvx3_create_pipeline(ctx, nullptr);
    ~camera()
    {
        if (pipe)
            pipe->stop(nullptr);
    }
};

// `c` empty: the same loop without a recorder, as the camera's own baseline.
void BM_RecordCamera(benchmark::State& state, std::optional<recording::compression> c)
{
    const double seconds = bench_seconds();
    const std::string path = bench_dir() + "/bench_record_camera.bag";
    for (auto _ : state) {
        camera cam;
        if (!cam.dev) {
            state.SkipWithError("no camera");
            return;
        }
        cam.cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480, nullptr);
        cam.cfg->enable_stream(pvx3::PVX3_STREAM_IR, 640, 480, nullptr);
        cam.cfg->enable_stream(pvx3::PVX3_STREAM_RGB, 1920, 1080, nullptr);
        if (cam.pipe->start(cam.cfg, nullptr) != 0) {
            state.SkipWithError("the camera does not start");
            return;
        }
        recording::writer_options o;
        o.compress = c.value_or(recording::compression::none);
        std::string error;
        std::unique_ptr<recording::writer> w;
        if (c) {
            w = recording::writer::create(path, o, error);
            if (!w) {
                state.SkipWithError(error.c_str());
                return;
            }
        }
        const auto cal = recording::capture_calibration(cam.dev, 640, 480);
        const auto settings = recording::capture_settings(cam.sensor, 640, 480, 1920, 1080);
        if (w) {
            w->set_device_info(recording::capture_device_info(cam.dev));
            if (cal)
                w->set_calibration(*cal);
            w->set_settings(settings);
        }
        const recording::stream_lenses lenses = recording::lenses_for(cal, settings);
        const recording::stream_mask streams = bit(stream::depth) | bit(stream::ir) | bit(stream::colour);

        // Let the camera's first (ray-casting) frame pass before timing.
        std::unique_ptr<pvx3::frameset>(cam.pipe->wait_for_frames(60000, nullptr));
        uint64_t first_number = 0, last_number = 0, taken = 0;
        double cpu_total = 0, cpu_max = 0;
        std::vector<double> cpu_each;
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
            std::unique_ptr<pvx3::frameset> fs(cam.pipe->wait_for_frames(1000, nullptr));
            if (!fs)
                continue;
            const double t0 = thread_cpu_ms();
            recording::frame_set_view view;
            if (!recording::view_frame_set(*fs, streams, lenses, view))
                continue;
            if (w)
                w->submit(view);
            const double cpu = thread_cpu_ms() - t0;
            cpu_total += cpu;
            cpu_max = std::max(cpu_max, cpu);
            cpu_each.push_back(cpu);
            if (taken == 0)
                first_number = view.frame_number;
            last_number = view.frame_number;
            ++taken;
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cam.pipe->stop(nullptr);
        recording::writer_status s;
        if (w) {
            w->close(error);
            s = w->status();
        } else {
            s.frame_sets_written = taken;
        }
        const uint64_t produced = taken ? last_number - first_number + 1 : 0;
        state.counters["produced"] = double(produced);
        state.counters["recorded"] = double(s.frame_sets_written);
        state.counters["skipped_by_loop"] = double(produced - taken);
        state.counters["dropped_by_writer"] = double(s.frame_sets_dropped);
        state.counters["acq_cpu_ms_mean"] = taken ? cpu_total / double(taken) : 0.0;
        state.counters["acq_cpu_ms_max"] = cpu_max;
        // The first frame sets allocate the writer's recycled buffers.
        if (cpu_each.size() > 10) {
            std::vector<double> rest(cpu_each.begin() + 3, cpu_each.end());
            std::sort(rest.begin(), rest.end());
            state.counters["acq_cpu_ms_p99_after_3"] = rest[rest.size() * 99 / 100];
            state.counters["acq_cpu_ms_max_after_3"] = rest.back();
        }
        state.counters["MB_per_min"] = double(s.bytes_written) / 1e6 * 60.0 / elapsed;
        state.counters["fps_recorded"] = double(s.frame_sets_written) / elapsed;
        std::filesystem::remove(path);
    }
}

// Frames of the virtual camera, taken once and handed out again: the raw
// benchmark measures the recorder, not the camera simulation.
struct recorded_frames {
    std::vector<std::vector<uint8_t>> depth, raw;
    bool ok = false;
    recorded_frames()
    {
        camera cam;
        if (!cam.dev)
            return;
        cam.cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480, nullptr);
        cam.cfg->enable_stream(pvx3::PVX3_STREAM_RAW_PHASE, 640, 480, nullptr);
        if (cam.pipe->start(cam.cfg, nullptr) != 0)
            return;
        for (int i = 0; i < 8; ++i) {
            std::unique_ptr<pvx3::frameset> fs(cam.pipe->wait_for_frames(60000, nullptr));
            if (!fs || !fs->get_raw_frame(nullptr) || !fs->get_depth_frame(nullptr))
                return;
            const auto* d = static_cast<const uint8_t*>(fs->get_depth_frame(nullptr)->get_data(nullptr));
            const auto* r = static_cast<const uint8_t*>(fs->get_raw_frame(nullptr)->get_data(nullptr));
            depth.emplace_back(d, d + 640 * 480 * 2);
            raw.emplace_back(r, r + 1280 * 3840 * 2);
        }
        ok = true;
    }
};

void BM_RawPhase(benchmark::State& state, recording::compression c)
{
    static recorded_frames frames;
    if (!frames.ok) {
        state.SkipWithError("no raw frames from the virtual camera");
        return;
    }
    const double seconds = 10.0;
    const std::string path = bench_dir() + "/bench_raw_phase.bag";
    for (auto _ : state) {
        recording::writer_options o;
        o.compress = c;
        std::string error;
        auto w = recording::writer::create(path, o, error);
        if (!w) {
            state.SkipWithError(error.c_str());
            return;
        }
        const auto period = std::chrono::microseconds(33333);
        const auto start = std::chrono::steady_clock::now();
        uint64_t n = 0;
        for (auto next = start; next - start < std::chrono::duration<double>(seconds); next += period, ++n) {
            std::this_thread::sleep_until(next);
            recording::frame_set_view v;
            v.frame_number = n;
            v.timestamp_us = n * 33333;
            const size_t k = n % frames.depth.size();
            v[stream::depth] = {frames.depth[k].data(), 640, 480, recording::encoding::kDepth, {}};
            v[stream::raw_phase] = {frames.raw[k].data(), 1280, 3840, recording::encoding::kMono16, {}};
            w->submit(v);
        }
        const double fed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        w->close(error);
        const double all = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const recording::writer_status s = w->status();
        state.counters["raw_offered"] = double(n);
        state.counters["raw_written"] = double(s.raw_frames_written);
        state.counters["raw_dropped"] = double(s.raw_frames_dropped);
        state.counters["sets_dropped"] = double(s.frame_sets_dropped);
        state.counters["raw_written_per_s"] = double(s.raw_frames_written) / fed;
        state.counters["file_MB_per_s"] = double(s.bytes_written) / 1e6 / all;
        state.counters["drain_s"] = all - fed;
        std::filesystem::remove(path);
    }
}

// A recording of all four streams for the export and re-processing rates.
const std::string& sample_recording()
{
    static const std::string path = [] {
        const std::string p = bench_dir() + "/bench_sample.bag";
        camera cam;
        cam.cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480, nullptr);
        cam.cfg->enable_stream(pvx3::PVX3_STREAM_IR, 640, 480, nullptr);
        cam.cfg->enable_stream(pvx3::PVX3_STREAM_RGB, 1920, 1080, nullptr);
        cam.cfg->enable_stream(pvx3::PVX3_STREAM_RAW_PHASE, 640, 480, nullptr);
        if (!cam.dev || cam.pipe->start(cam.cfg, nullptr) != 0)
            return std::string();
        recording::writer_options o;
        o.wait_for_room = true;
        std::string error;
        auto w = recording::writer::create(p, o, error);
        if (!w)
            return std::string();
        const auto cal = recording::capture_calibration(cam.dev, 640, 480);
        const auto settings = recording::capture_settings(cam.sensor, 640, 480, 1920, 1080);
        if (cal)
            w->set_calibration(*cal);
        w->set_settings(settings);
        const auto lenses = recording::lenses_for(cal, settings);
        for (int i = 0; i < 20; ++i) {
            std::unique_ptr<pvx3::frameset> fs(cam.pipe->wait_for_frames(60000, nullptr));
            recording::frame_set_view v;
            if (fs && recording::view_frame_set(*fs, recording::kAllStreamBits, lenses, v))
                w->submit(v);
        }
        return w->close(error) ? p : std::string();
    }();
    return path;
}

void BM_Export(benchmark::State& state, cli::export_kinds kinds)
{
    const std::string& path = sample_recording();
    std::string error;
    auto r = path.empty() ? nullptr : recording::reader::open(path, error);
    if (!r) {
        state.SkipWithError("no sample recording");
        return;
    }
    const std::string out = bench_dir() + "/bench_export";
    std::filesystem::create_directories(out);
    auto engine = recording::reprocessor::create(error);
    cli::frame_exporter exporter(out, "bench_sample.bag", r->device().value_or(recording::device_info{}),
                                 engine.get());
    recording::stream_mask mask = bit(stream::depth);
    if (kinds.ir)
        mask |= bit(stream::ir);
    if (kinds.colour)
        mask |= bit(stream::colour);
    size_t i = 0;
    for (auto _ : state) {
        recording::frame_set f;
        const size_t k = i++ % r->size();
        std::vector<std::string> written;
        if (!r->read(k, f, error, mask)
            || !exporter.write(f, r->settings_at(k), r->calibration_at(k), kinds, "", written, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.counters["frames_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove_all(out);
}

void BM_Reprocess(benchmark::State& state, bool into_file)
{
    const std::string& path = sample_recording();
    std::string error;
    auto r = path.empty() ? nullptr : recording::reader::open(path, error);
    auto engine = recording::reprocessor::create(error);
    if (!r || !engine) {
        state.SkipWithError("no sample recording or no reconstruction library");
        return;
    }
    const std::string out = bench_dir() + "/bench_reprocessed.bag";
    std::unique_ptr<recording::writer> w;
    if (into_file) {
        recording::writer_options o;
        o.wait_for_room = true;
        w = recording::writer::create(out, o, error);
    }
    size_t i = 0;
    for (auto _ : state) {
        const size_t k = i % r->size();
        recording::frame_set f;
        std::vector<uint16_t> depth;
        int width = 0, height = 0;
        if (!r->read(k, f, error, into_file ? recording::kAllStreamBits : bit(stream::raw_phase))
            || !engine->compute(*r->calibration_at(k), *f[stream::raw_phase],
                                recording::options_from(r->settings_at(k)), depth, width, height, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        if (w) {
            recording::frame_set_view v;
            v.frame_number = i;
            v.timestamp_us = i * 33333;
            v[stream::depth] = {depth.data(), width, height, recording::encoding::kDepth, {}};
            for (stream s : {stream::ir, stream::colour, stream::raw_phase})
                if (f[s])
                    v[s] = {f[s]->data.data(), f[s]->width, f[s]->height, f[s]->encoding, f[s]->lens};
            w->submit(v, 1000000000 + int64_t(i) * 33333000);
        }
        ++i;
    }
    if (w)
        w->close(error);
    state.counters["frames_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove(out);
}

}  // namespace

BENCHMARK_CAPTURE(BM_RecordCamera, camera_only, std::nullopt)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RecordCamera, lz4, recording::compression::lz4)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RecordCamera, none, recording::compression::none)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RawPhase, none, recording::compression::none)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RawPhase, lz4, recording::compression::lz4)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, all_kinds, cli::export_kinds{true, true, true, true})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, depth_only, cli::export_kinds{true, false, false, false})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, ir_only, cli::export_kinds{false, true, false, false})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, colour_only, cli::export_kinds{false, false, true, false})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, cloud_only, cli::export_kinds{false, false, false, true})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Reprocess, compute, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Reprocess, into_lz4_recording, true)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
