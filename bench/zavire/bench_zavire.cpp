// Acquisition-thread cost per frame set, on synthetic frames (the conversion
// kernels alone) and on the virtual camera (the whole loop, with the SDK's
// own point-cloud and registration work), and the frame rate the loop keeps
// while a 30-frame ToF batch with every kind is written.
#include "zavire/driver_operate.h"
#include "zavire/frame_convert.h"
#include "zavire/frame_data.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <QFile>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

struct synthetic_frame {
    int width, height;
    std::vector<uint16_t> depth, ir;
    std::vector<uint8_t> render, colour;
    std::vector<float> xyz;

    synthetic_frame(int w, int h) : width(w), height(h)
    {
        const size_t n = static_cast<size_t>(w) * h;
        std::mt19937 rng(7);
        depth.resize(n);
        ir.resize(n);
        render.resize(3 * n);
        colour.resize(3 * n);
        xyz.resize(3 * n);
        for (size_t i = 0; i < n; ++i) {
            depth[i] = static_cast<uint16_t>(500 + rng() % 4000);
            ir[i] = static_cast<uint16_t>(rng() % 1024);
            xyz[3 * i + 2] = depth[i];
        }
        for (auto& b : render)
            b = static_cast<uint8_t>(rng());
        for (auto& b : colour)
            b = static_cast<uint8_t>(rng());
    }
};

// The copies, conversions and cloud rebuild DealwithDepthData and
// DealwithIRData do per ToF frame set (both pages' work at once).
void BM_ConvertTof(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    synthetic_frame f(w, h);
    pcl::PointCloud<pcl::PointXYZRGB> cloud;
    for (auto _ : state) {
        cv::Mat colour = cv::Mat(h, w, CV_8UC3, f.render.data()).clone();
        cv::Mat raw = cv::Mat(h, w, CV_16UC1, f.depth.data()).clone();
        const cv::Mat ir_raw(h, w, CV_16UC1, f.ir.data());
        cv::Mat gray = ir_to_gray(ir_raw);
        cv::Mat ir_copy = ir_raw.clone();
        cv::Mat rgb;
        cv::cvtColor(gray, rgb, cv::COLOR_GRAY2RGB);
        QPixmap pixmap = QPixmap::fromImage(QImage(rgb.data, w, h, static_cast<int>(rgb.step), QImage::Format_RGB888));
        fill_point_cloud(cloud, f.xyz.data(), f.render.data(), colour_order::rgb, w, h);
        benchmark::DoNotOptimize(colour.data);
        benchmark::DoNotOptimize(raw.data);
        benchmark::DoNotOptimize(ir_copy.data);
        benchmark::DoNotOptimize(pixmap);
    }
    state.counters["ms_per_frame_set"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ConvertTof)->Args({640, 480})->Unit(benchmark::kMillisecond);

// RGBD: registered depth at the colour size, the B,G,R colour frame to a
// pixmap, and the cloud coloured from it. Arg 0: no cloud; 1: the cloud in
// one pass, as the loop builds it; 2: fill_point_cloud, then
// clear_unmeasured_points.
void BM_ConvertRgbd(benchmark::State& state)
{
    const int w = 1920;
    const int h = 1080;
    synthetic_frame f(w, h);
    pcl::PointCloud<pcl::PointXYZRGB> cloud;
    const int variant = static_cast<int>(state.range(0));
    for (auto _ : state) {
        cv::Mat colour = cv::Mat(h, w, CV_8UC3, f.render.data()).clone();
        cv::Mat raw = cv::Mat(h, w, CV_16UC1, f.depth.data()).clone();
        const cv::Mat bgr(h, w, CV_8UC3, f.colour.data());
        cv::Mat rgb;
        cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
        QPixmap pixmap = QPixmap::fromImage(QImage(rgb.data, w, h, static_cast<int>(rgb.step), QImage::Format_RGB888));
        if (variant == 1)
            fill_measured_point_cloud(cloud, f.xyz.data(), f.colour.data(), colour_order::bgr, f.depth.data(), w, h);
        else if (variant == 2) {
            fill_point_cloud(cloud, f.xyz.data(), f.colour.data(), colour_order::bgr, w, h);
            clear_unmeasured_points(cloud, f.depth.data());
        }
        benchmark::DoNotOptimize(colour.data);
        benchmark::DoNotOptimize(raw.data);
        benchmark::DoNotOptimize(pixmap);
    }
}
BENCHMARK(BM_ConvertRgbd)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The whole loop on the virtual camera (real-time pacing, 30 frame sets per
// second): per-frame work on the acquisition thread, the frame rate kept and
// the frame sets lost, while a 30-frame ToF batch is written. Arg: 0 depth
// and IR images, 1 also point clouds, 2 no batch (3D page), 3 RGBD on the 2D page,
// 4 RGBD on the 3D page (the colour point cloud every frame set).
// CPU milliseconds so far of one /proc/self/task entry.
double task_cpu_ms(const QString& id)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(id));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the parenthesised name: state is the 3rd, utime the 14th, stime the 15th.
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (f.size() <= 12)
        return 0;
    return (f[11].toDouble() + f[12].toDouble()) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU milliseconds so far of this process's threads named `name` (the
// acquisition thread takes its QThread's object name, and the threads it
// starts inherit it: the virtual camera's producer, the save workers, the
// alignment's colour thread, OpenCV's workers).
double threads_cpu_ms(const std::string& name)
{
    double ms = 0;
    QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(id + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed().toStdString() == name)
            ms += task_cpu_ms(id);
    }
    return ms;
}

void BM_LoopVirtualCamera(benchmark::State& state)
{
    const int variant = static_cast<int>(state.range(0));
    setenv("PVX3_PACING", "realtime", 1);
    for (auto _ : state) {
        QTemporaryDir tmp;
        driver_operate driver;
        int reports = 0;
        // Emitted on the acquisition thread: it tells that thread's id.
        std::atomic<long> acquisition_tid{0};
        QObject::connect(
            &driver, &driver_operate::sig_finish_change_frame, &driver,
            [&](bool, int, int, int) {
                ++reports;
                acquisition_tid = static_cast<long>(syscall(SYS_gettid));
            },
            Qt::DirectConnection);
        driver.start();
        QElapsedTimer settle;
        settle.start();
        while (driver.get_depth_resolutions().resolutions.isEmpty() && settle.elapsed() < 10000)
            QThread::msleep(5);
        if (variant >= 3)
            driver.start_rgbd();
        else
            driver.start_tof();
        if (variant == 2 || variant == 4)
            driver.slot_change_mode(1);
        driver.wake();
        while (driver.statistics().frame_sets < 10 && settle.elapsed() < 20000)
            QThread::msleep(5);
        const driver_operate::loop_statistics before = driver.statistics();
        const double cpu_before = threads_cpu_ms("driver_operate");
        const QString acquisition_id = QString::number(acquisition_tid.load());
        const double acquisition_before = task_cpu_ms(acquisition_id);
        QElapsedTimer timer;
        timer.start();
        if (variant == 0 || variant == 1)
            driver.OnSlotSaveTOF(30, true, variant == 1, true, tmp.path());
        // 30 frame sets at 30 per second, plus the writing that follows.
        while (driver.statistics().frame_sets < before.frame_sets + 60 && timer.elapsed() < 60000)
            QThread::msleep(5);
        const driver_operate::loop_statistics after = driver.statistics();
        const double cpu_after = threads_cpu_ms("driver_operate");
        const double acquisition_after = task_cpu_ms(acquisition_id);
        const double seconds = timer.elapsed() / 1000.0;
        driver.stop_tof();
        driver.stop_rgbd();
        driver.stop();
        driver.wait();
        const double sets = static_cast<double>(after.frame_sets - before.frame_sets);
        state.counters["loop_fps"] = sets / seconds;
        state.counters["skipped_frame_sets"] = static_cast<double>(after.skipped_frame_sets - before.skipped_frame_sets);
        state.counters["work_ms_per_set"] = (after.work_ms_total - before.work_ms_total) / sets;
        state.counters["work_ms_max"] = after.work_ms_max;
        state.counters["thread_cpu_ms_per_set"] = (cpu_after - cpu_before) / sets;
        state.counters["acquisition_cpu_ms_per_set"] = (acquisition_after - acquisition_before) / sets;
    }
}
BENCHMARK(BM_LoopVirtualCamera)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
