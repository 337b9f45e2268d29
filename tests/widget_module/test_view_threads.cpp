#include <QDeadlineTimer>
#include <QLabel>
#include <QPointer>
#include <atomic>
#include <thread>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "view_test_support.h"
#include "widget_module/cloud_view_widget.h"
#include "widget_module/widget_ir.h"

namespace {

using namespace view_test;

// The acquisition thread replaces the shared images under their locks and
// notifies the views through queued calls, as driver_operate does; the views
// copy on the GUI thread meanwhile. Run under ThreadSanitizer as well.

template <typename Done>
void pump_until(Done done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(ViewThreads, DepthFramesFromTheAcquisitionThread)
{
    {
        std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
        frame_data::point_cloud = std::make_shared<pcl::PointCloud<pcl::PointXYZRGB>>();
    }
    cloud_view_widget view(640, 480);
    view.resize(640, 511);
    view.show();
    settle();
    press(&view, {100, 130});
    std::atomic<bool> finished{false};
    std::thread producer([&] {
        for (int i = 1; i <= 60; ++i) {
            publish_flat_depth(640, 480, static_cast<quint16>(1000 + i));
            QMetaObject::invokeMethod(&view, "slot_show_depth", Qt::QueuedConnection);
        }
        finished = true;
    });
    pump_until([&] { return finished.load(); });
    producer.join();
    settle();
    EXPECT_EQ(view.label_distance_content->text(), QStringLiteral("1060 mm"));
}

TEST(ViewThreads, PointCloudsFromTheAcquisitionThread)
{
    {
        std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
        frame_data::point_cloud = std::make_shared<pcl::PointCloud<pcl::PointXYZRGB>>();
    }
    cloud_view_widget view(64, 48);
    view.resize(640, 511);
    view.show();
    view.btn_3d->click();
    pump_until([&] { return view.widget_cloud->isVisible(); });
    ASSERT_TRUE(view.widget_cloud->isVisible());
    std::atomic<bool> finished{false};
    std::thread producer([&] {
        for (int i = 1; i <= 20; ++i) {
            {
                // Rebuilt in place under the lock, as the acquisition thread does.
                std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
                auto& cloud = *frame_data::point_cloud;
                cloud.clear();
                for (int v = 0; v < 48; ++v)
                    for (int u = 0; u < 64; ++u) {
                        pcl::PointXYZRGB p;
                        p.x = static_cast<float>(u);
                        p.y = static_cast<float>(v);
                        p.z = 100.0f + i;
                        p.r = p.g = p.b = 200;
                        cloud.push_back(p);
                    }
                cloud.width = 64;
                cloud.height = 48;
                frame_data::view_camera_pose.position[2] = -50;
                frame_data::view_camera_pose.focal_point[2] = 100;
                frame_data::view_camera_pose.view_up[1] = -1;
            }
            QMetaObject::invokeMethod(&view, "show_show_point_clode", Qt::QueuedConnection);
        }
        finished = true;
    });
    pump_until([&] { return finished.load(); });
    producer.join();
    settle();
    EXPECT_GT(colour_count(view.grab().toImage()), 1);
}

TEST(ViewThreads, IrFramesFromTheAcquisitionThread)
{
    QPointer<WidgetIR> view = new WidgetIR();
    view->show();
    settle();
    press(view, {415, 330});
    std::atomic<bool> finished{false};
    std::thread producer([&] {
        for (int i = 1; i <= 60; ++i) {
            publish_raw_ir(cv::Mat(480, 640, CV_16UC1, cv::Scalar(i)));
            QImage grey(640, 480, QImage::Format_RGB888);
            grey.fill(QColor(i, i, i));
            QMetaObject::invokeMethod(view, "show_frame", Qt::QueuedConnection,
                                      Q_ARG(QPixmap, QPixmap::fromImage(grey)));
        }
        finished = true;
    });
    pump_until([&] { return finished.load(); });
    producer.join();
    settle();
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("60 LSB"));
    delete view;
}

}  // namespace

VIEW_TEST_MAIN()
