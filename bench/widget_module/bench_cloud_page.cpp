// The depth view's 3D page at 640 x 480 fed by the virtual camera at 30
// frames per second (real-time pacing): frames drawn per second, frames
// dropped, time from the switch to the first drawn frame, and how late mouse
// input is handled while the cloud streams. Run under xvfb-run; with Mesa's
// software OpenGL this measures what a laptop without a strong GPU sees.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkCallbackCommand.h>
#include <vtkDataSet.h>
#include <vtkMapper.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

#include "cloud_view_widget.h"
#include "event_pump.h"
#include "zavire/driver_operate.h"

namespace {

double thread_cpu_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

bool pump_until(const std::function<bool()>& done, int ms) { return bench_events::run_until(done, ms); }

// Records when each posted mouse event reaches the canvas.
class input_probe : public QObject {
public:
    QElapsedTimer clock;  // read by both threads; QElapsedTimer::elapsed is const
    // `posted` is appended by the input thread only while nothing is
    // pending, `handled` by the GUI thread: never both at once.
    std::vector<qint64> posted, handled;
    std::function<void()> on_handled;

    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::MouseMove) {
            handled.push_back(clock.elapsed());
            if (on_handled)
                on_handled();
        }
        return false;
    }
};

// Counts the renders of a window that had points to draw (what reaches the
// screen, whoever asked for it).
struct render_counter {
    long long with_points = 0;

    static void on_end(vtkObject* caller, unsigned long, void* self, void*)
    {
        auto* window = static_cast<vtkRenderWindow*>(caller);
        vtkRenderer* renderer = window->GetRenderers()->GetFirstRenderer();
        vtkActorCollection* actors = renderer ? renderer->GetActors() : nullptr;
        if (actors == nullptr)
            return;
        actors->InitTraversal();
        while (vtkActor* a = actors->GetNextActor()) {
            vtkDataSet* input = a->GetMapper() ? a->GetMapper()->GetInput() : nullptr;
            if (input != nullptr && input->GetNumberOfPoints() > 1000) {
                ++static_cast<render_counter*>(self)->with_points;
                return;
            }
        }
    }
};

// Args: drag 0 streaming only, 1 a left-button drag across the cloud
// throughout; lod 1 the level of detail as shipped, 0 every draw full.
void BM_CloudPage640x480(benchmark::State& state)
{
    const bool dragging = state.range(0) != 0;
    const bool lod = state.range(1) != 0;
    setenv("PVX3_PACING", "realtime", 1);
    for (auto _ : state) {
        driver_operate driver;
        cloud_view_widget view(640, 480);
        if (!lod)
            view.set_draw_budget_ms(1e9);
        view.show();
        // The canvas is the area below the 30 px title bar.
        view.resize(640, 480 + view.widget_title->height());
        driver.start();
        pump_until([&] { return !driver.get_depth_resolutions().resolutions.isEmpty(); }, 10000);
        QObject::connect(&driver, &driver_operate::sig_update_cloud_point_vec, &view,
                         &cloud_view_widget::show_show_point_clode);
        long long arrived = 0;
        QObject::connect(&driver, &driver_operate::sig_update_cloud_point_vec, &view, [&] { ++arrived; });
        render_counter renders;
        auto callback = vtkSmartPointer<vtkCallbackCommand>::New();
        callback->SetCallback(&render_counter::on_end);
        callback->SetClientData(&renders);
        view.widget_cloud->renderWindow()->AddObserver(vtkCommand::EndEvent, callback);
        QObject::connect(&view, &cloud_view_widget::sig_change_mode, &driver, &driver_operate::slot_change_mode,
                         Qt::DirectConnection);
        driver.start_tof();
        driver.wake();
        pump_until([&] { return driver.statistics().frame_sets >= 10; }, 20000);

        QElapsedTimer since_switch;
        since_switch.start();
        view.btn_3d->click();
        const bool first = pump_until([&] { return renders.with_points > 0; }, 20000);
        const double first_ms = first ? since_switch.elapsed() : -1;
        view.btn_info->click();                  // the info strip, with the frame rate it shows
        pump_until([] { return false; }, 1500);  // settle

        QWidget* canvas = view.widget_cloud;
        input_probe probe;
        probe.clock.start();
        canvas->installEventFilter(&probe);
        const long long drawn0 = renders.with_points;
        const long long arrived0 = arrived;
        const auto sets0 = driver.statistics().frame_sets;
        const double cpu0 = thread_cpu_ms();
        QElapsedTimer wall;
        wall.start();
        if (dragging) {
            QMouseEvent down(QEvent::MouseButtonPress, QPointF(200, 240), Qt::LeftButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(canvas, &down);
        }
        // Mouse moves arrive from outside the GUI thread every 40 ms. The
        // window system merges motion that waits, so a move is only posted
        // when the last one has been handled; its delay counts from when it
        // was posted, which is what a user feels.
        std::atomic<bool> stop{false};
        std::atomic<size_t> handled_count{0};
        probe.on_handled = [&] { ++handled_count; };
        std::thread hand([&] {
            for (int step = 0; !stop; ++step) {
                if (handled_count == probe.posted.size()) {
                    const QPointF p(200 + (step % 50) * 4, 240 + (step % 20));
                    auto* move = new QMouseEvent(QEvent::MouseMove, p, Qt::NoButton,
                                                 dragging ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
                    probe.posted.push_back(probe.clock.elapsed());
                    QCoreApplication::postEvent(canvas, move);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
            }
        });
        bench_events::run_for(static_cast<int>(8000 - wall.elapsed()));
        stop = true;
        hand.join();
        pump_until([&] { return probe.handled.size() >= probe.posted.size(); }, 5000);
        const double seconds = wall.elapsed() / 1000.0;
        const double cpu = thread_cpu_ms() - cpu0;
        if (dragging) {
            QMouseEvent up(QEvent::MouseButtonRelease, QPointF(300, 250), Qt::LeftButton, Qt::NoButton,
                           Qt::NoModifier);
            QApplication::sendEvent(canvas, &up);
        }
        canvas->removeEventFilter(&probe);

        std::vector<qint64> late;
        for (size_t i = 0; i < probe.posted.size() && i < probe.handled.size(); ++i)
            late.push_back(probe.handled[i] - probe.posted[i]);
        std::sort(late.begin(), late.end());
        const auto pct = [&](double q) {
            return late.empty() ? -1.0 : static_cast<double>(late[std::min(late.size() - 1, size_t(q * late.size()))]);
        };
        const double drawn = static_cast<double>(renders.with_points - drawn0);
        state.counters["drawn_fps"] = drawn / seconds;
        state.counters["clouds_per_s"] = static_cast<double>(arrived - arrived0) / seconds;
        state.counters["camera_fps"] = static_cast<double>(driver.statistics().frame_sets - sets0) / seconds;
        state.counters["shown_fps"] = view.label_fps_content->text().toDouble();
        state.counters["first_frame_ms"] = first_ms;
        state.counters["input_p50_ms"] = pct(0.5);
        state.counters["input_p95_ms"] = pct(0.95);
        state.counters["input_max_ms"] = late.empty() ? -1.0 : static_cast<double>(late.back());
        state.counters["gui_ms_per_drawn"] = drawn > 0 ? cpu / drawn : 0.0;
        state.counters["points_last_drawn"] = static_cast<double>(view.points_drawn());
        driver.stop_tof();
        driver.stop();
        driver.wait();
    }
}
BENCHMARK(BM_CloudPage640x480)->ArgNames({"drag", "lod"})->ArgsProduct({{0, 1}, {0, 1}})->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
