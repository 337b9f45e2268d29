// CPU time per frame set of the virtual camera: ToF (raw synthesis, depth by
// the reconstruction library, IR, render data), colour, and both together.
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <string>

#include "device_impl.h"
#include "frame_source.h"
#include "reconstruction_loader.h"
#include "settings.h"

namespace {

using namespace pvx3;
using namespace pvx3::detail;

struct rig {
    std::unique_ptr<device_impl> dev;
    reconstruction_engine* engine = nullptr;
    std::unique_ptr<frame_source> source;
    uint64_t number = 0;

    rig(const stream_plan& plan)
    {
        sdk_settings s = read_settings();
        dev = std::make_unique<device_impl>(s);
        std::string reason;
        engine = reconstruction_engine::load(s.reconstruction_path, reason);
        source = std::make_unique<frame_source>(*dev, engine, plan);
        source->prepare();
    }

    bool step(bool render)
    {
        std::string problem;
        frame_bundle b = source->produce(number, number * 33333, 1.0 / 30.0, problem);
        ++number;
        if (render && b.depth)
            benchmark::DoNotOptimize(b.depth->get_render_data(nullptr));
        return problem.empty();
    }
};

void run(benchmark::State& state, const stream_plan& plan, bool render)
{
    rig r(plan);
    if (!r.engine && plan.count(PVX3_STREAM_DEPTH)) {
        state.SkipWithError("qzreconstruction not found");
        return;
    }
    for (auto _ : state)
        if (!r.step(render)) {
            state.SkipWithError("frame production failed");
            break;
        }
}

void BM_TofFrameSet640(benchmark::State& state)
{
    run(state, {{PVX3_STREAM_DEPTH, {640, 480}}, {PVX3_STREAM_IR, {640, 480}}}, true);
}

void BM_TofFrameSet320(benchmark::State& state)
{
    run(state, {{PVX3_STREAM_DEPTH, {320, 240}}, {PVX3_STREAM_IR, {320, 240}}}, true);
}

void BM_ColourFrame1080(benchmark::State& state) { run(state, {{PVX3_STREAM_RGB, {1920, 1080}}}, false); }

void BM_TofAndColour(benchmark::State& state)
{
    run(state, {{PVX3_STREAM_DEPTH, {640, 480}}, {PVX3_STREAM_IR, {640, 480}}, {PVX3_STREAM_RGB, {1920, 1080}}},
        true);
}

// The synthesis alone (raw frame and IR, no depth computation).
void BM_RawSynthesis640(benchmark::State& state)
{
    device_impl dev(read_settings());
    tof_synthesiser& s = dev.synthesiser(640, 480);
    std::vector<uint16_t> raw(s.raw_size()), ir(640 * 480);
    tof_frame_request req;
    for (auto _ : state) {
        req.time_s += 1.0 / 30.0;
        req.noise_seed++;
        s.synthesise(req, raw.data());
        s.amplitude(raw.data(), ir.data());
        benchmark::DoNotOptimize(raw.data());
    }
}

// The library's ComputeDepth alone on one raw frame of the virtual camera
// (its scene, its noise), per filter flag: 1 the standard filters, 2 the
// noise-aware mode (0 unfiltered for reference). One thread; the output copy
// the SDK makes is included.
void BM_ComputeDepthMode640(benchmark::State& state)
{
    device_impl dev(read_settings());
    std::string reason;
    reconstruction_engine* engine = reconstruction_engine::load(dev.settings().reconstruction_path, reason);
    if (!engine) {
        state.SkipWithError(reason.c_str());
        return;
    }
    tof_synthesiser& s = dev.synthesiser(640, 480);
    std::vector<uint16_t> raw(s.raw_size());
    tof_frame_request req;
    req.time_s = 1.0;
    req.temperature_c = 30;
    req.noise_seed = 1;
    s.synthesise(req, raw.data());
    reconstruction_engine::depth_job job;
    job.calibration = &dev.calibration();
    job.width = 640;
    job.height = 480;
    job.filter = int(state.range(0));
    job.raw = raw.data();
    pixel_buffer depth;
    for (auto _ : state) {
        if (!engine->compute_depth(job, depth, reason)) {
            state.SkipWithError(reason.c_str());
            break;
        }
        benchmark::DoNotOptimize(depth.data());
    }
}

// The two modes alternately on the same frame, each timed on this thread's
// CPU clock: the ratio stays fair when the machine's load drifts between two
// separate benchmarks. Counters: standard_ms, noise_aware_ms, ratio.
void BM_ComputeDepthNoiseAwareVsStandard640(benchmark::State& state)
{
    device_impl dev(read_settings());
    std::string reason;
    reconstruction_engine* engine = reconstruction_engine::load(dev.settings().reconstruction_path, reason);
    if (!engine) {
        state.SkipWithError(reason.c_str());
        return;
    }
    tof_synthesiser& s = dev.synthesiser(640, 480);
    std::vector<uint16_t> raw(s.raw_size());
    tof_frame_request req;
    req.time_s = 1.0;
    req.temperature_c = 30;
    req.noise_seed = 1;
    s.synthesise(req, raw.data());
    reconstruction_engine::depth_job job;
    job.calibration = &dev.calibration();
    job.width = 640;
    job.height = 480;
    job.raw = raw.data();
    pixel_buffer depth;
    auto cpu_ms = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
    };
    double spent[2] = {0.0, 0.0};
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            job.filter = k == 0 ? 1 : 2;
            const double t0 = cpu_ms();
            if (!engine->compute_depth(job, depth, reason)) {
                state.SkipWithError(reason.c_str());
                return;
            }
            spent[k] += cpu_ms() - t0;
        }
        benchmark::DoNotOptimize(depth.data());
    }
    const double n = double(state.iterations());
    state.counters["standard_ms"] = spent[0] / n;
    state.counters["noise_aware_ms"] = spent[1] / n;
    state.counters["ratio"] = spent[1] / spent[0];
}

BENCHMARK(BM_RawSynthesis640)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeDepthNoiseAwareVsStandard640)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeDepthMode640)->ArgName("filter")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TofFrameSet640)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TofFrameSet320)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColourFrame1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TofAndColour)->Unit(benchmark::kMillisecond);

}  // namespace
