// GUI-thread cost of the depth-quality tools per frame: the controller's
// measurement of a 200 x 200 region, the statistics panel's labels, the
// plot's series (a full 10 s history) and their repaint, with and without
// a CSV log. Run under xvfb-run (or QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <cmath>
#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "widget_module/quality_controller.h"
#include "widget_module/quality_plot_widget.h"
#include "widget_module/quality_region_overlay.h"
#include "widget_module/quality_stats_panel.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

std::vector<quality_controller::frame> make_frames()
{
    std::vector<quality_controller::frame> out;
    cv::RNG rng(3);
    for (int f = 0; f < 32; ++f) {
        quality_controller::frame fr;
        fr.depth = cv::Mat(kHeight, kWidth, CV_16UC1);
        rng.fill(fr.depth, cv::RNG::NORMAL, 1500, 4);
        fr.ir = cv::Mat(kHeight, kWidth, CV_16UC1, cv::Scalar(300));
        out.push_back(fr);
    }
    return out;
}

struct rig {
    QWidget window;
    quality_region_overlay* overlay;
    quality_stats_panel* panel;
    quality_plot_widget* plot;
    quality_controller controller;
    rig()
    {
        window.resize(1000, 520);
        auto* layout = new QHBoxLayout(&window);
        overlay = new quality_region_overlay(&window);
        overlay->setMinimumSize(kWidth, kHeight);
        panel = new quality_stats_panel(&window);
        plot = new quality_plot_widget(&window);
        layout->addWidget(overlay);
        auto* side = new QVBoxLayout();
        side->addWidget(panel);
        side->addWidget(plot);
        layout->addLayout(side);
        overlay->set_image_geometry(QSize(kWidth, kHeight), QRect(0, 0, kWidth, kHeight));
        controller.attach(overlay, panel, plot);
        quality::depth_intrinsics l;
        l.width = kWidth;
        l.height = kHeight;
        l.fx = l.fy = 372;
        l.cx = 319.5;
        l.cy = 239.5;
        controller.set_intrinsics(l);
        overlay->set_region(quality::region{220, 140, 200, 200, kWidth, kHeight});
        window.show();
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
    }
};

void run(benchmark::State& state, bool log)
{
    const auto frames = make_frames();
    rig r;
    if (log)
        r.controller.start_log(QDir::temp().filePath(QStringLiteral("bench_quality_tools.csv")));
    // A full plot history and temporal window first: the steady state.
    quint64 n = 0;
    auto step = [&] {
        quality_controller::frame f = frames[n % frames.size()];
        f.frame_number = n;
        f.time_s = n / 30.0;
        ++n;
        r.controller.take_frame(f);
        // Paint now what the frame changed (the event loop repaints only the
        // widgets it marked): that cost lands on the GUI thread too.
        QApplication::processEvents();
    };
    for (int i = 0; i < 310; ++i)
        step();
    for (auto _ : state)
        step();
    r.controller.stop_log();
    state.SetItemsProcessed(state.iterations());
}

void BM_QualityToolsFrame(benchmark::State& state) { run(state, false); }
BENCHMARK(BM_QualityToolsFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_QualityToolsFrameLogging(benchmark::State& state) { run(state, true); }
BENCHMARK(BM_QualityToolsFrameLogging)->Unit(benchmark::kMillisecond)->UseRealTime();

// The parts: the panel's labels and the plot's series, each with its repaint.
void BM_PanelOnly(benchmark::State& state)
{
    const auto frames = make_frames();
    rig r;
    quint64 n = 0;
    for (int i = 0; i < 40; ++i) {
        quality_controller::frame f = frames[n % frames.size()];
        f.time_s = n++ / 30.0;
        r.controller.take_frame(f);
    }
    quality::quality_report rep = r.controller.last_report();
    for (auto _ : state) {
        // New numbers every frame, as a live region gives them.
        rep.spatial.mean_mm += 0.1;
        rep.spatial.std_mm += 0.01;
        rep.plane.rms_mm += 0.01;
        rep.plane.distance_mm += 0.1;
        rep.temporal.std_mm += 0.01;
        r.panel->show_report(rep);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_PanelOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlotOnly(benchmark::State& state)
{
    rig r;
    double t = 0;
    for (int i = 0; i < 310; ++i, t += 1 / 30.0)
        r.plot->add_sample(t, 1500 + std::sin(t), 4);
    for (auto _ : state) {
        r.plot->add_sample(t, 1500 + std::sin(t), 4);
        t += 1 / 30.0;
        QApplication::processEvents();
    }
}
BENCHMARK(BM_PlotOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// The measurement alone, without widgets.
void BM_ControllerMeasureOnly(benchmark::State& state)
{
    const auto frames = make_frames();
    quality_controller c;
    quality::depth_intrinsics l;
    l.width = kWidth;
    l.height = kHeight;
    l.fx = l.fy = 372;
    l.cx = 319.5;
    l.cy = 239.5;
    c.set_intrinsics(l);
    c.set_region(quality::region{220, 140, 200, 200, kWidth, kHeight});
    quint64 n = 0;
    for (auto _ : state) {
        quality_controller::frame f = frames[n % frames.size()];
        f.frame_number = n++;
        c.take_frame(f);
    }
}
BENCHMARK(BM_ControllerMeasureOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
