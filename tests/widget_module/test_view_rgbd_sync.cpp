#include <QPushButton>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "view_test_support.h"
#include "widget_module/cloud_view_widget.h"
#include "widget_module/rgb_view_widget.h"

namespace {

using namespace view_test;

void click(QWidget* view, QPoint pos)
{
    QWidget* target = view->childAt(pos);
    if (target == nullptr)
        target = view;
    press(target, target->mapFrom(view, pos));
}

QPixmap black_frame()
{
    QPixmap p(640, 480);
    p.fill(Qt::black);
    return p;
}

// In RGBD mode the main window routes each view's clicked pixel to the other
// view's marker; here the two are wired directly the same way.
class RgbdSync : public ::testing::Test {
protected:
    void SetUp() override
    {
        {
            std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
            frame_data::point_cloud = std::make_shared<pcl::PointCloud<pcl::PointXYZRGB>>();
        }
        cv::Mat black(480, 640, CV_8UC3, cv::Scalar::all(0));
        publish_depth(black, cv::Mat(480, 640, CV_16UC1, cv::Scalar(900)));
        depth = std::make_unique<cloud_view_widget>(640, 480);
        depth->resize(640, 511);
        depth->set_rgbd_mode(true);
        colour = new rgb_view_widget();
        colour->set_rgbd_mode(true);
        QObject::connect(depth.get(), &cloud_view_widget::sig_rgbd_click_point_sync, colour,
                         &rgb_view_widget::OnSlotRGBDClickPointSync);
        QObject::connect(colour, &rgb_view_widget::sig_rgbd_click_point_sync, depth.get(),
                         &cloud_view_widget::OnSlotRGBDClickPointSync);
        depth->show();
        colour->show();
        settle();
        depth->slot_show_depth();
        colour->show_frame(black_frame());
    }
    void TearDown() override { delete colour; }

    std::unique_ptr<cloud_view_widget> depth;
    rgb_view_widget* colour = nullptr;
};

TEST_F(RgbdSync, DepthClickMarksTheColourView)
{
    // Depth area (320, 225) -> pixel (320, 239) -> colour area
    // (trunc(320 / (640 / 831)), trunc(239 / (480 / 601))) = (415, 299), + 30.
    click(depth.get(), {320, 255});
    const QImage img = colour->grab().toImage();
    EXPECT_EQ(QColor(img.pixel(417, 329)), QColor(Qt::yellow));
    EXPECT_EQ(QColor(img.pixel(413, 329)), QColor(Qt::yellow));
    EXPECT_EQ(QColor(img.pixel(415, 329)), QColor(Qt::black));
}

TEST_F(RgbdSync, ColourClickMarksTheDepthView)
{
    // Colour area (100, 60) -> pixel (77, 47) -> depth area
    // (77, trunc(47 / (480 / 451))) = (77, 44), + 30.
    click(colour, {100, 90});
    const QImage img = depth->grab().toImage();
    EXPECT_EQ(QColor(img.pixel(79, 74)), QColor(Qt::yellow));
    EXPECT_EQ(QColor(img.pixel(77, 76)), QColor(Qt::yellow));
    EXPECT_EQ(QColor(img.pixel(77, 74)), QColor(Qt::black));
    // Both boxes measure the registered depth of their own click.
    colour->slot_show_depth();
    EXPECT_EQ(colour->label_distance_content->text(), QStringLiteral("900 mm"));
    EXPECT_EQ(colour->label_location_content->text(), QStringLiteral("77x47"));
}

}  // namespace

VIEW_TEST_MAIN()
