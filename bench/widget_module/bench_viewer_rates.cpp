// Frame rates the user sees with the virtual camera at 30 frames per second:
// what each view's info strip shows, the frames delivered to the GUI thread,
// and the GUI thread's CPU time per depth (or colour) frame. One run per
// module state; run under xvfb-run (the 3D page renders with Mesa).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <ctime>

#include "cloud_view_widget.h"
#include "rgb_view_widget.h"
#include "viewer.h"
#include "widget_ir.h"
#include "event_pump.h"
#include "zavire/driver_operate.h"

namespace {

double thread_cpu_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void pump_for(int ms) { bench_events::run_for(ms); }

bool pump_until(const std::function<bool()>& done, int ms) { return bench_events::run_until(done, ms); }

double shown_fps(QLabel* label)
{
    return label ? label->text().toDouble() : 0.0;
}

enum class mode { depth,
                  depth_rgb,
                  rgbd,
                  depth_3d };

void run_mode(benchmark::State& state, mode m)
{
    for (auto _ : state) {
        viewer::set_exit_on_destroy(false);
        auto* v = new viewer();
        v->resize(1600, 900);
        v->show();
        v->btn_chose_module->click();
        if (v->table_module->rowCount() != 1) {
            state.SkipWithError("no camera listed");
            delete v;
            return;
        }
        emit v->table_module->cellClicked(0, 0);
        if (!pump_until([&] { return v->parameter_panel() != nullptr; }, 10000)) {
            state.SkipWithError("camera did not report");
            delete v;
            return;
        }
        if (m == mode::rgbd) {
            v->btn_rgbd_switch->click();
        } else {
            v->btn_switch_tof->click();
            if (m == mode::depth_rgb)
                v->btn_switch_rgb->click();
        }
        if (m == mode::depth_3d)
            v->depth_view()->btn_3d->click();
        // Info strips on, so they show their frame rates.
        if (v->depth_view())
            v->depth_view()->btn_info->click();
        if (v->infrared_view())
            v->infrared_view()->btn_info->click();
        if (v->colour_view())
            v->colour_view()->btn_info->click();

        int depth = 0, ir = 0, rgb = 0, cloud = 0;
        driver_operate* d = v->current_driver();
        QObject::connect(d, &driver_operate::sig_update_date_vec, v, [&] { ++depth; });
        QObject::connect(d, &driver_operate::sig_show_ir, v, [&](QPixmap) { ++ir; });
        QObject::connect(d, &driver_operate::sig_show_rgb, v, [&](QPixmap) { ++rgb; });
        QObject::connect(d, &driver_operate::sig_update_cloud_point_vec, v, [&] { ++cloud; });

        pump_for(2500);  // warm-up: streams started, pipelines settled
        depth = ir = rgb = cloud = 0;
        const double cpu0 = thread_cpu_ms();
        QElapsedTimer wall;
        wall.start();
        pump_for(5000);
        const double seconds = wall.elapsed() / 1000.0;
        const double cpu = thread_cpu_ms() - cpu0;

        state.counters["depth_fps"] = depth / seconds;
        state.counters["ir_fps"] = ir / seconds;
        state.counters["rgb_fps"] = rgb / seconds;
        state.counters["cloud_fps"] = cloud / seconds;
        const int frames = m == mode::depth_3d ? cloud : (depth > 0 ? depth : rgb);
        state.counters["gui_ms_per_frame"] = frames > 0 ? cpu / frames : 0.0;
        state.counters["gui_busy_pct"] = 100.0 * cpu / (seconds * 1000.0);
        state.counters["shown_depth_fps"] = v->depth_view() ? shown_fps(v->depth_view()->label_fps_content) : 0;
        state.counters["shown_ir_fps"] = v->infrared_view() ? shown_fps(v->infrared_view()->label_fps_content) : 0;
        state.counters["shown_rgb_fps"] = v->colour_view() ? shown_fps(v->colour_view()->label_fps_content) : 0;
        delete v;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void BM_DepthAlone(benchmark::State& state) { run_mode(state, mode::depth); }
void BM_DepthWithRgb(benchmark::State& state) { run_mode(state, mode::depth_rgb); }
void BM_Rgbd(benchmark::State& state) { run_mode(state, mode::rgbd); }
void BM_Depth3dPage(benchmark::State& state) { run_mode(state, mode::depth_3d); }

BENCHMARK(BM_DepthAlone)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_DepthWithRgb)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_Rgbd)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_Depth3dPage)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
