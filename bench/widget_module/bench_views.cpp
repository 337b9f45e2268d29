// GUI-thread cost of one frame in each view: the copy out of the shared frame
// data, the label updates and a synchronous repaint, at the camera's 640 x 480.
// Under Xvfb the 3D page renders with Mesa's software OpenGL.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <benchmark/benchmark.h>
#include <cmath>
#include <mutex>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "widget_module/cloud_view_widget.h"
#include "widget_module/rgb_view_widget.h"
#include "widget_module/quality_region_overlay.h"
#include "widget_module/view_cloud_polydata.h"
#include "widget_module/view_quality_tools.h"
#include "widget_module/widget_ir.h"
#include "zavire/frame_data.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

void publish_depth_frame()
{
    cv::Mat color(kHeight, kWidth, CV_8UC3);
    cv::randu(color, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::Mat raw(kHeight, kWidth, CV_16UC1);
    cv::randu(raw, cv::Scalar(500), cv::Scalar(3000));
    std::lock_guard<std::mutex> lock(frame_data::depth_image_lock);
    frame_data::depth_color_image = color;
    frame_data::depth_raw_image = raw;
}

void publish_cloud()
{
    std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
    if (!frame_data::point_cloud)
        frame_data::point_cloud = std::make_shared<pcl::PointCloud<pcl::PointXYZRGB>>();
    auto& cloud = *frame_data::point_cloud;
    cloud.clear();
    for (int v = 0; v < kHeight; ++v)
        for (int u = 0; u < kWidth; ++u) {
            pcl::PointXYZRGB p;
            p.x = (u - kWidth / 2) * 2.0f;
            p.y = (v - kHeight / 2) * 2.0f;
            p.z = 1500.0f + 200.0f * std::sin(u * 0.05f) * std::cos(v * 0.05f);
            p.r = static_cast<uint8_t>(u * 255 / kWidth);
            p.g = static_cast<uint8_t>(v * 255 / kHeight);
            p.b = 180;
            cloud.push_back(p);
        }
    cloud.width = kWidth;
    cloud.height = kHeight;
    frame_data::view_camera_pose.position[2] = -1000;
    frame_data::view_camera_pose.focal_point[2] = 1500;
    frame_data::view_camera_pose.view_up[1] = -1;
}

QPixmap test_pixmap()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB888);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixelColor(x, y, QColor(x % 256, y % 256, 90));
    return QPixmap::fromImage(image);
}

void settle()
{
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
}

void BM_DepthFrame2D(benchmark::State& state)
{
    publish_cloud();
    publish_depth_frame();
    cloud_view_widget view(kWidth, kHeight);
    view.resize(kWidth, 511);
    view.show();
    settle();
    view.btn_info->click();
    view.setFocus();
    QMouseEvent click(QEvent::MouseButtonPress, QPoint(200, 200), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &click);
    for (auto _ : state) {
        view.slot_show_depth();
        view.repaint();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DepthFrame2D)->Unit(benchmark::kMillisecond)->UseRealTime();

// A depth frame with the quality tools idle (0) and at work (1): a 200 x
// 200 region, the pane with panel and plot shown, the lens known (plane
// fit) and the IR image copied; pending repaints are run each frame. The
// difference is the tools' share of the GUI thread per frame.
void BM_DepthFrame2DQuality(benchmark::State& state)
{
    publish_cloud();
    publish_depth_frame();
    {
        std::lock_guard<std::mutex> lock(frame_data::ir_image_lock);
        cv::Mat ir(kHeight, kWidth, CV_16UC1);
        cv::randu(ir, cv::Scalar(50), cv::Scalar(900));
        frame_data::ir_raw_image = ir;
    }
    {
        quality::depth_intrinsics lens;
        lens.width = kWidth;
        lens.height = kHeight;
        lens.fx = lens.fy = 520;
        lens.cx = 319.5;
        lens.cy = 239.5;
        std::lock_guard<std::mutex> lock(frame_data::depth_image_lock);
        frame_data::depth_facts.lens = lens;
    }
    cloud_view_widget view(kWidth, kHeight);
    view.resize(kWidth + 300, 511);
    view.show();
    settle();
    if (state.range(0) != 0) {
        view.quality_tools()->overlay()->set_region(quality::region{220, 140, 200, 200, kWidth, kHeight});
        view.quality_tools()->set_pane_shown(true);
    }
    settle();
    double t = 0;
    for (auto _ : state) {
        {
            // A new capture time per frame, as the plot scrolls live.
            std::lock_guard<std::mutex> lock(frame_data::depth_image_lock);
            frame_data::depth_facts.time_s = (t += 1.0 / 30);
            ++frame_data::depth_facts.frame_number;
        }
        view.slot_show_depth();
        view.repaint();
        QApplication::processEvents();  // the pane's labels and the chart repaint
    }
    state.SetItemsProcessed(state.iterations());
    std::lock_guard<std::mutex> lock(frame_data::depth_image_lock);
    frame_data::depth_facts = frame_data::depth_frame_facts();
}
BENCHMARK(BM_DepthFrame2DQuality)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PointCloud3D(benchmark::State& state)
{
    publish_cloud();
    cloud_view_widget view(kWidth, kHeight);
    view.resize(kWidth, 511);
    view.show();
    view.btn_3d->click();
    for (int i = 0; i < 50 && !view.widget_cloud->isVisible(); ++i) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    for (auto _ : state) {
        view.show_show_point_clode();
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
}
// The first frame pays for shader set-up; a fixed count keeps the run short.
BENCHMARK(BM_PointCloud3D)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(12);

// The part of a 3D frame spent outside OpenGL: 307200 points into poly data.
void BM_CloudToPolyData(benchmark::State& state)
{
    publish_cloud();
    view_cloud_polydata data;
    for (auto _ : state) {
        std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
        data.assign(*frame_data::point_cloud);
        benchmark::DoNotOptimize(data.point_count());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_CloudToPolyData)->Unit(benchmark::kMillisecond);

void BM_RgbFrame(benchmark::State& state)
{
    const QPixmap frame = test_pixmap();
    rgb_view_widget view;
    view.show();
    settle();
    for (auto _ : state) {
        view.show_frame(frame);
        view.repaint();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RgbFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IrFrame(benchmark::State& state)
{
    {
        std::lock_guard<std::mutex> lock(frame_data::ir_image_lock);
        frame_data::ir_raw_image = cv::Mat(kHeight, kWidth, CV_16UC1, cv::Scalar(300));
    }
    const QPixmap frame = test_pixmap();
    WidgetIR view;
    view.show();
    settle();
    QMouseEvent click(QEvent::MouseButtonPress, QPoint(300, 300), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &click);
    for (auto _ : state) {
        view.show_frame(frame);
        view.repaint();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IrFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(zavire);
    frame_data::color_bar = cv::Mat(64, 1, CV_8UC3, cv::Scalar(0, 128, 255));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
