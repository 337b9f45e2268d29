#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QWheelEvent>
#include <cmath>
#include <memory>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <vtkCallbackCommand.h>
#include <vtkCamera.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

#include "view_test_support.h"
#include "widget_module/depth_scale_bar.h"
#include "widget_module/cloud_view_widget.h"

namespace {

using namespace view_test;

// A 160 x 120 organised cloud: a colour-ramped dome a metre away.
void publish_dome_cloud()
{
    auto cloud = std::make_shared<pcl::PointCloud<pcl::PointXYZRGB>>();
    for (int v = 0; v < 120; ++v)
        for (int u = 0; u < 160; ++u) {
            pcl::PointXYZRGB p;
            p.x = (u - 80) * 5.0f;
            p.y = (v - 60) * 5.0f;
            p.z = 1000.0f - 0.01f * (p.x * p.x + p.y * p.y);
            p.r = static_cast<uint8_t>(u * 255 / 159);
            p.g = static_cast<uint8_t>(v * 255 / 119);
            p.b = 200;
            cloud->push_back(p);
        }
    cloud->width = 160;
    cloud->height = 120;
    std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
    if (!frame_data::point_cloud) {
        frame_data::point_cloud = cloud;
    } else {
        *frame_data::point_cloud = *cloud;
    }
}

void set_pose(double px, double py, double pz)
{
    std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
    frame_data::camera_pose pose;
    pose.position[0] = px;
    pose.position[1] = py;
    pose.position[2] = pz;
    pose.focal_point[2] = 1000;
    pose.view_up[1] = -1;
    frame_data::view_camera_pose = pose;
}

class CloudView : public ::testing::Test {
protected:
    void SetUp() override
    {
        make_color_bar();
        {
            std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
            frame_data::point_cloud = std::make_shared<pcl::PointCloud<pcl::PointXYZRGB>>();
            frame_data::view_camera_pose = frame_data::camera_pose();
        }
        publish_depth(cv::Mat(), cv::Mat());
        view = std::make_unique<cloud_view_widget>(640, 480);
        // 511 high leaves the image area 640 x 451 under the 30 px title and bar.
        view->resize(640, 511);
        view->show();
        settle();
        QObject::connect(view.get(), &cloud_view_widget::sig_change_mode,
                         [this](int m) { modes.push_back(m); });
        QObject::connect(view.get(), &cloud_view_widget::sig_rgbd_click_point_sync,
                         [this](QPoint p) { synced.push_back(p); });
    }

    // A click as a user makes it: delivered to the innermost widget under the
    // cursor and passed up to the view when that widget ignores it.
    void click(QPoint pos)
    {
        QWidget* target = view->childAt(pos);
        if (target == nullptr)
            target = view.get();
        press(target, target->mapFrom(view.get(), pos));
    }

    QImage picture() { return view->grab().toImage(); }

    std::unique_ptr<cloud_view_widget> view;
    std::vector<int> modes;
    std::vector<QPoint> synced;
};

TEST_F(CloudView, StartsOnThe2DPageWithOverlaysHidden)
{
    EXPECT_EQ(view->widget_view->currentWidget(), view->page_2d);
    EXPECT_TRUE(view->widget_location->isHidden());
    EXPECT_TRUE(view->widget_time->isHidden());
    EXPECT_TRUE(view->label->isHidden());
    EXPECT_TRUE(view->btn_relevance->isHidden());
    EXPECT_FALSE(view->btn_relevance->isEnabled());
    EXPECT_TRUE(view->btn_3d_picture->isHidden());
    EXPECT_EQ(view->label_frame_content->text(), QStringLiteral("640x480"));
    EXPECT_EQ(view->label_title->text(), QStringLiteral("Depth"));
    EXPECT_EQ(view->widget_view->geometry(), QRect(0, 29, 640, 451));
}

TEST_F(CloudView, LetterboxesTheDepthImage)
{
    publish_flat_depth(640, 480, 1000);
    view->slot_show_depth();
    const QImage img = picture();
    // 601 x 451 at x 19, y 30: column 0 of the ramp is (0, 80, 255).
    EXPECT_EQ(QColor(img.pixel(19, 200)), QColor(0, 80, 255));
    EXPECT_NE(QColor(img.pixel(18, 200)), QColor(0, 80, 255));
    EXPECT_NE(img.pixel(620, 200), img.pixel(619, 200));
    EXPECT_EQ(QColor(img.pixel(300, 30)).green(), 80);
    EXPECT_EQ(QColor(img.pixel(300, 480)).green(), 80);
}

TEST_F(CloudView, EmptyImageAreaIsBlack)
{
    const QImage img = picture();
    EXPECT_EQ(QColor(img.pixel(300, 200)), QColor(Qt::black));
}

struct click_case {
    const char* name;
    QPoint click;  // view coordinates
    QPoint box;    // expected top-left in image-area coordinates
    QPoint pixel;  // expected image pixel
};

class CloudViewClick : public CloudView, public ::testing::WithParamInterface<click_case> { };

TEST_P(CloudViewClick, PlacesTheBoxAndReportsThePixel)
{
    const click_case& c = GetParam();
    click(c.click);
    ASSERT_TRUE(view->widget_location->isVisible()) << c.name;
    EXPECT_EQ(view->widget_location->pos(), c.box) << c.name;
    ASSERT_EQ(synced.size(), 1u);
    EXPECT_EQ(synced[0], c.pixel) << c.name;
}

// Box 151 x 61; image area 640 x 451; usable height 451 - 30 = 421.
// Pixel y = trunc((y - 30) * 480 / 451).
INSTANTIATE_TEST_SUITE_P(
    Views, CloudViewClick,
    ::testing::Values(click_case{"middle", {100, 130}, {100, 100}, {100, 106}},
                      click_case{"near_right_edge", {630, 130}, {479, 100}, {630, 106}},
                      click_case{"near_bottom", {100, 430}, {100, 339}, {100, 425}},
                      click_case{"bottom_right", {635, 470}, {484, 379}, {635, 468}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CloudView, ClicksOnTitleOrBottomBarHideTheBox)
{
    click({100, 130});
    ASSERT_TRUE(view->widget_location->isVisible());
    click({320, 10});
    EXPECT_TRUE(view->widget_location->isHidden());
    click({100, 130});
    click({20, 495});
    EXPECT_TRUE(view->widget_location->isHidden());
    EXPECT_EQ(synced.size(), 2u);
}

TEST_F(CloudView, DeviationOfTheClickedPixel)
{
    publish_flat_depth(640, 480, 1000);
    click({100, 130});
    view->slot_show_depth();  // selects the pixel; this sample is not kept
    EXPECT_EQ(view->label_location_content->text(), QStringLiteral("100x106"));
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("1000 mm"));
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("0.000 mm"));
    for (quint16 d : {1000, 1001}) {
        publish_flat_depth(640, 480, d);
        view->slot_show_depth();
        EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("0.000 mm"));
    }
    publish_flat_depth(640, 480, 1001);
    view->slot_show_depth();
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("1001 mm"));
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("1.000 mm"));
}

TEST_F(CloudView, WindowHoldsAtMostFifteenSamples)
{
    publish_flat_depth(640, 480, 1000);
    click({100, 130});
    for (int i = 0; i < 16; ++i)
        view->slot_show_depth();  // select + 15 samples of 1000
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("0.000 mm"));
    publish_flat_depth(640, 480, 1030);
    view->slot_show_depth();
    // 14 x 1000 + 1030: mean 1002, acc 14 * 4 + 28^2 = 840, variance 60.
    // (All 16 kept would give variance 57 and 7.550 mm.)
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("7.746 mm"));
}

struct no_distance_case {
    const char* name;
    quint16 depth;
    const char* distance;
};

class CloudViewNoDistance : public CloudView,
                            public ::testing::WithParamInterface<no_distance_case> { };

// Depth 0 (invalid) and 1 (saturated) are no distances: the box says so and
// they never enter the deviation window.
TEST_P(CloudViewNoDistance, SaysSoAndKeepsItOutOfTheDeviation)
{
    const no_distance_case& c = GetParam();
    publish_flat_depth(640, 480, 1000);
    click({100, 130});
    for (int i = 0; i < 4; ++i)
        view->slot_show_depth();  // select + 3 samples of 1000
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("0.000 mm"));
    publish_flat_depth(640, 480, c.depth);
    view->slot_show_depth();
    EXPECT_EQ(view->label_distance_content->text(), QString::fromUtf8(c.distance)) << c.name;
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("n/a"));
    publish_flat_depth(640, 480, 1000);
    view->slot_show_depth();
    // Four samples of 1000: the 0 or 1 was not one of them.
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("0.000 mm"));
    // Every text fits its label.
    view->label_distance_content->setText(QString::fromUtf8(c.distance));
    for (QLabel* l : {view->label_location_content, view->label_distance_content,
                      view->label_stddev_content, view->label_location, view->label_distance,
                      view->label_stddev}) {
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width())
            << l->objectName().toStdString();
        EXPECT_LE(l->geometry().right(), view->widget_location->width() - 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, CloudViewNoDistance,
                         ::testing::Values(no_distance_case{"invalid", 0, "no measurement"},
                                           no_distance_case{"saturated", 1, "saturated"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CloudView, ClickOnAPausedImageMeasuresThePausedFrame)
{
    publish_flat_depth(640, 480, 1234);
    view->slot_show_depth();
    view->btn_start->click();  // pause
    publish_flat_depth(640, 480, 2000);
    view->slot_show_depth();  // not taken
    click({100, 130});
    EXPECT_FALSE(view->widget_location->isHidden());
    EXPECT_EQ(view->label_location_content->text(), QStringLiteral("100x106"));
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("1234 mm"));
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("0.000 mm"));
    view->slot_show_depth();
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("1234 mm"));
}

TEST_F(CloudView, BorderPixelShowsLocationOnly)
{
    publish_flat_depth(640, 480, 1234);
    click({0, 130});
    view->slot_show_depth();
    EXPECT_EQ(view->label_location_content->text(), QStringLiteral("0x106"));
    EXPECT_NE(view->label_distance_content->text(), QStringLiteral("1234 mm"));
}

TEST_F(CloudView, PauseFreezesPictureButNotTimeStamp)
{
    publish_flat_depth(640, 480, 1000);
    click({100, 130});
    view->slot_show_depth();
    view->btn_start->click();
    EXPECT_EQ(view->btn_start->toolTip(), QStringLiteral("start"));
    const QImage before = picture();
    view->label_time_content->setText(QStringLiteral("stale"));
    cv::Mat green(480, 640, CV_8UC3, cv::Scalar(0, 255, 0));
    publish_depth(green, cv::Mat(480, 640, CV_16UC1, cv::Scalar(2000)));
    view->slot_show_depth();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+;$"))
                    .match(view->label_time_content->text())
                    .hasMatch())
        << view->label_time_content->text().toStdString();
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("1000 mm"));
    EXPECT_EQ(picture().pixel(300, 200), before.pixel(300, 200));
    view->btn_start->click();
    EXPECT_EQ(view->btn_start->toolTip(), QStringLiteral("stop"));
    view->slot_show_depth();
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("2000 mm"));
    EXPECT_EQ(QColor(picture().pixel(300, 200)), QColor(0, 255, 0));
}

TEST_F(CloudView, PageSwitchingSignalsOnlyOnChange)
{
    view->btn_2d->click();
    EXPECT_TRUE(modes.empty());
    view->btn_see->click();
    click({100, 130});
    view->btn_3d->click();
    EXPECT_EQ(modes, std::vector<int>{1});
    EXPECT_EQ(view->widget_view->currentWidget(), view->page_3d);
    EXPECT_FALSE(view->btn_see->isEnabled());
    EXPECT_TRUE(view->label->isHidden());
    EXPECT_TRUE(view->widget_location->isHidden());
    view->btn_3d->click();
    EXPECT_EQ(modes, std::vector<int>{1});
    // Clicks on the 3D page do not measure.
    click({100, 130});
    EXPECT_EQ(synced.size(), 1u);
    view->btn_2d->click();
    EXPECT_EQ(modes, (std::vector<int>{1, 0}));
    EXPECT_TRUE(view->btn_see->isEnabled());
    EXPECT_EQ(view->widget_view->currentWidget(), view->page_2d);
}

TEST_F(CloudView, EachPageHasItsOwnPause)
{
    view->btn_start->click();
    EXPECT_EQ(view->btn_start->toolTip(), QStringLiteral("start"));
    view->btn_3d->click();
    EXPECT_EQ(view->btn_start->toolTip(), QStringLiteral("stop"));
    view->btn_2d->click();
    EXPECT_EQ(view->btn_start->toolTip(), QStringLiteral("start"));
}

TEST_F(CloudView, FrameRateCountsFramesShownPerSecond)
{
    view->btn_info->click();
    ASSERT_TRUE(view->widget_time->isVisible());
    publish_flat_depth(640, 480, 1000);
    for (int i = 0; i < 7; ++i)
        view->slot_show_depth();
    QDeadlineTimer deadline(3000);
    while (view->label_fps_content->text() != QStringLiteral("7.00") && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(view->label_fps_content->text(), QStringLiteral("7.00"));
    EXPECT_EQ(view->label_frame_content->text(), QStringLiteral("640x480"));
    view->slot_resolution_change(320, 240);
    EXPECT_EQ(view->label_frame_content->text(), QStringLiteral("320x240"));
}

TEST_F(CloudView, MarkerFromTheRgbViewIsDrawnAtTheMappedPoint)
{
    publish_flat_depth(640, 480, 1000);
    view->slot_show_depth();
    // Image centre (320, 240) -> area (320, 225), plus the 30 px title.
    view->OnSlotRGBDClickPointSync(QPoint(320, 240));
    const QImage img = picture();
    EXPECT_EQ(QColor(img.pixel(322, 255)), QColor(Qt::yellow));
    EXPECT_EQ(QColor(img.pixel(318, 255)), QColor(Qt::yellow));
    EXPECT_NE(QColor(img.pixel(320, 255)), QColor(Qt::yellow));
}

TEST_F(CloudView, CloseButtonReportsExitTwiceAndCloses)
{
    int exits = 0;
    QObject::connect(view.get(), &cloud_view_widget::sig_exit, [&] { ++exits; });
    view->btn_close->click();
    EXPECT_EQ(exits, 2);
    EXPECT_FALSE(view->isVisible());
}

TEST_F(CloudView, RgbdModeTitleAndButtons)
{
    view->set_rgbd_mode(true);
    EXPECT_EQ(view->label_title->text(), QStringLiteral("RGBD"));
    EXPECT_TRUE(view->btn_close->isHidden());
    view->set_rgbd_mode(false);
    EXPECT_EQ(view->label_title->text(), QStringLiteral("Depth"));
    EXPECT_FALSE(view->btn_close->isHidden());
}

TEST_F(CloudView, ExpandSaveAndRelevance)
{
    std::vector<bool> expanded;
    int saves = 0;
    QObject::connect(view.get(), &cloud_view_widget::sig_expend_view,
                     [&](bool e) { expanded.push_back(e); });
    QObject::connect(view.get(), &cloud_view_widget::sig_save_tof, [&] { ++saves; });
    view->btn_expend->click();
    view->btn_expend->click();
    view->set_expend(true);
    EXPECT_EQ(expanded, (std::vector<bool>{true, false, true}));
    view->btn_photo->click();
    view->set_save_enabled(false);
    view->btn_photo->click();
    EXPECT_EQ(saves, 1);

    QWidget parent;
    parent.resize(900, 700);
    view->setParent(&parent);
    parent.show();
    view->show();
    view->resize_widget(true, false);
    settle();
    EXPECT_EQ(view->size(), QSize(900, 700));
    EXPECT_EQ(view->widget_btns->x(), 900 - view->widget_btns->width());
    EXPECT_EQ(view->widget->y(), 670);
    EXPECT_EQ(view->widget_time->y(), 650);
    EXPECT_TRUE(view->btn_relevance->isEnabled());
    view->resize_widget(false, true);
    EXPECT_TRUE(view->btn_relevance->isEnabled());
    view->resize_widget(false, false);
    EXPECT_FALSE(view->btn_relevance->isEnabled());
    view->setParent(nullptr);
}

TEST_F(CloudView, Screenshot2DWithColourBarAndMeasurement)
{
    publish_flat_depth(640, 480, 1000);
    click({200, 200});
    view->btn_see->click();
    view->btn_info->click();
    for (int i = 0; i < 5; ++i)
        view->slot_show_depth();
    view->OnSlotRGBDClickPointSync(QPoint(320, 240));
    settle();
    // The bar with its scale stands where the plain one stood (which stays
    // hidden): at the right edge, wholly inside the 451 px image area.
    depth_scale_bar* scale = view->scale_bar();
    ASSERT_TRUE(scale->isVisible());
    EXPECT_TRUE(view->label->isHidden());
    EXPECT_EQ(scale->geometry().right(), 640 - 3);
    EXPECT_GE(scale->y(), 0);
    EXPECT_LE(scale->geometry().bottom(), 451);
    const QImage img = save_screenshot(view.get(), QStringLiteral("cloud_view_2d"));
    EXPECT_GT(colour_count(img), 20);
    // The colour bar's top row is the map's far end (red).
    const QPoint bar = scale->mapTo(view.get(), scale->bar_rect().center() - QPoint(0, scale->bar_rect().height() / 2 - 2));
    EXPECT_GT(QColor(img.pixel(bar)).red(), 200);
}

TEST_F(CloudView, PointCloudPageRendersTheCloudAndAppliesPoseOnce)
{
    publish_dome_cloud();
    view->btn_3d->click();
    QDeadlineTimer deadline(3000);
    while (!view->widget_cloud->isVisible() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_TRUE(view->widget_cloud->isVisible());
    vtkCamera* camera =
        view->widget_cloud->renderWindow()->GetRenderers()->GetFirstRenderer()->GetActiveCamera();

    view->show_show_point_clode();  // all-zero pose: never applied
    double before[3];
    camera->GetPosition(before);
    set_pose(0, 0, -1500);
    view->show_show_point_clode();
    double pos[3];
    camera->GetPosition(pos);
    EXPECT_DOUBLE_EQ(pos[2], -1500);
    set_pose(0, 0, -4000);
    view->show_show_point_clode();
    camera->GetPosition(pos);
    EXPECT_DOUBLE_EQ(pos[2], -1500);
    settle();
    const QImage img = save_screenshot(view.get(), QStringLiteral("cloud_view_3d"));
    EXPECT_GT(colour_count(img), 20);
}

// Clouds that come faster than the renderer draws are not queued: the
// newest is drawn once the events waiting have been handled, the others are
// counted as dropped, and the frame rate shown counts drawn clouds only.
TEST_F(CloudView, CloudsComingFasterThanDrawnAreDroppedNotQueued)
{
    // Every draw full: a slow draw on a loaded machine would otherwise add the
    // full-detail redraw of a still picture to the renders counted here.
    view->set_draw_budget_ms(1e9);
    publish_dome_cloud();
    set_pose(0, 0, -1500);
    view->btn_info->click();
    view->btn_3d->click();
    QDeadlineTimer deadline(3000);
    while (!view->widget_cloud->isVisible() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_TRUE(view->widget_cloud->isVisible());
    vtkRenderWindow* window = view->widget_cloud->renderWindow();
    EXPECT_EQ(window->GetMultiSamples(), 0) << "software renderers pay per sample";
    // The first draw sizes the canvas's buffers (the widget repaints once more).
    view->show_show_point_clode();
    QDeadlineTimer first(3000);
    while (view->frames_drawn() == 0 && !first.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    settle();

    struct burst {
        const char* name;
        int clouds;
    };
    for (const burst& b : {burst{"one cloud", 1}, burst{"ten clouds at once", 10}, burst{"three clouds", 3}}) {
        SCOPED_TRACE(b.name);
        int renders = 0;
        auto counter = vtkSmartPointer<vtkCallbackCommand>::New();
        counter->SetClientData(&renders);
        counter->SetCallback([](vtkObject*, unsigned long, void* n, void*) { ++*static_cast<int*>(n); });
        const unsigned long tag = window->AddObserver(vtkCommand::EndEvent, counter);
        const long long drawn = view->frames_drawn();
        const long long dropped = view->frames_dropped();
        for (int i = 0; i < b.clouds; ++i)
            view->show_show_point_clode();
        EXPECT_EQ(view->frames_drawn(), drawn) << "nothing is drawn inside the notification";
        QDeadlineTimer wait(3000);
        while (view->frames_drawn() == drawn && !wait.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        EXPECT_EQ(view->frames_drawn() - drawn, 1);
        EXPECT_EQ(view->frames_dropped() - dropped, b.clouds - 1);
        EXPECT_EQ(renders, 1);
        window->RemoveObserver(tag);
    }
    // The ticks of the info strip show the clouds drawn in their second (at
    // most the three drawn above), not the fourteen that came.
    QDeadlineTimer tick(1300);
    while (!tick.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-3]\\.00$")).match(view->label_fps_content->text()).hasMatch())
        << view->label_fps_content->text().toStdString();
    settle();
    const QImage img = save_screenshot(view.get(), QStringLiteral("cloud_view_3d_after_burst"));
    EXPECT_GT(colour_count(img), 20);
}

// The camera is reset on the first cloud itself: reset on an empty poly
// data, its clipping range left the cloud invisible until the user turned it.
TEST_F(CloudView, FirstPoseKeepsTheCloudInsideTheClippingRange)
{
    publish_dome_cloud();
    set_pose(0, 0, -1500);
    view->btn_3d->click();
    QDeadlineTimer deadline(3000);
    while (!view->widget_cloud->isVisible() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_TRUE(view->widget_cloud->isVisible());
    view->show_show_point_clode();
    vtkCamera* camera =
        view->widget_cloud->renderWindow()->GetRenderers()->GetFirstRenderer()->GetActiveCamera();
    double range[2];
    camera->GetClippingRange(range);
    // The dome's top (0, 0, 1000) lies 2500 mm in front of the camera.
    EXPECT_LT(range[0], 2500.0);
    EXPECT_GT(range[1], 2500.0);
}

// While the user turns the view the interactor redraws on each move; clouds
// coming meanwhile are dropped, and the newest is drawn on release.
TEST_F(CloudView, CloudsWaitWhileTheUserTurnsTheView)
{
    publish_dome_cloud();
    set_pose(0, 0, -1500);
    view->btn_3d->click();
    QDeadlineTimer deadline(3000);
    while (!view->widget_cloud->isVisible() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_TRUE(view->widget_cloud->isVisible());
    settle();
    QWidget* canvas = view->widget_cloud;
    const QPoint at(320, 240);
    QMouseEvent down(QEvent::MouseButtonPress, at, canvas->mapToGlobal(at), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &down);
    const long long drawn = view->frames_drawn();
    const long long dropped = view->frames_dropped();
    for (int i = 0; i < 4; ++i) {
        view->show_show_point_clode();
        QApplication::processEvents();
    }
    EXPECT_EQ(view->frames_drawn(), drawn);
    EXPECT_EQ(view->frames_dropped() - dropped, 4);
    QMouseEvent up(QEvent::MouseButtonRelease, at, canvas->mapToGlobal(at), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &up);
    QDeadlineTimer wait(3000);
    while (view->frames_drawn() == drawn && !wait.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(view->frames_drawn() - drawn, 1);
}

// Level of detail. With a budget no draw fits, the stream and the drag are
// drawn coarse (every other row and column of the 160 x 120 dome: 80 x 60)
// once a full draw has been timed; a picture left standing (stream stopped,
// paused, drag ended) returns to full detail. With an ample budget every draw
// is full.
TEST_F(CloudView, LevelOfDetailFollowsTheDrawBudget)
{
    publish_dome_cloud();
    set_pose(0, 0, -1500);
    view->btn_3d->click();
    QDeadlineTimer deadline(3000);
    while (!view->widget_cloud->isVisible() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_TRUE(view->widget_cloud->isVisible());
    QWidget* canvas = view->widget_cloud;
    const long long full = 160 * 120, coarse = 80 * 60;
    auto stream_one = [&] {
        const long long drawn = view->frames_drawn();
        view->show_show_point_clode();
        QDeadlineTimer wait(3000);
        while (view->frames_drawn() == drawn && !wait.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    auto wait_for_points = [&](long long n) {
        QDeadlineTimer wait(3000);
        while (view->points_drawn() != n && !wait.hasExpired())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return view->points_drawn();
    };
    auto mouse = [&](QEvent::Type type, Qt::MouseButtons held) {
        const QPoint at(320, 240);
        QMouseEvent e(type, at, canvas->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(canvas, &e);
    };
    struct step {
        const char* name;
        double budget_ms;
        long long streaming, dragging;
    };
    for (const step& s : {step{"nothing fits", 0.0, coarse, coarse}, step{"everything fits", 1e9, full, full}}) {
        SCOPED_TRACE(s.name);
        view->set_draw_budget_ms(s.budget_ms);
        stream_one();  // times a full draw (or a coarse one left from before)
        stream_one();
        stream_one();
        EXPECT_EQ(view->points_drawn(), s.streaming);
        if (s.budget_ms == 0.0)
            save_screenshot(view.get(), QStringLiteral("cloud_view_3d_coarse"));
        EXPECT_EQ(wait_for_points(full), full) << "the stream stopped: full detail";
        if (s.budget_ms == 0.0)
            save_screenshot(view.get(), QStringLiteral("cloud_view_3d_full_when_still"));

        mouse(QEvent::MouseButtonPress, Qt::LeftButton);
        EXPECT_EQ(view->points_drawn(), s.dragging);
        QDeadlineTimer held(400);
        while (!held.hasExpired())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        EXPECT_EQ(view->points_drawn(), s.dragging) << "no full draw while the button is held";
        mouse(QEvent::MouseButtonRelease, Qt::NoButton);
        EXPECT_EQ(wait_for_points(full), full) << "the drag ended: full detail";

        stream_one();
        stream_one();
        view->btn_start->click();  // pause
        EXPECT_EQ(wait_for_points(full), full) << "paused: full detail";
        view->btn_start->click();
    }
}

TEST_F(CloudView, MouseRotatesZoomsAndPansTheCloud)
{
    publish_dome_cloud();
    set_pose(0, 0, -1500);
    view->btn_3d->click();
    QDeadlineTimer deadline(3000);
    while (!view->widget_cloud->isVisible() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_TRUE(view->widget_cloud->isVisible());
    view->show_show_point_clode();
    vtkCamera* camera =
        view->widget_cloud->renderWindow()->GetRenderers()->GetFirstRenderer()->GetActiveCamera();
    QWidget* canvas = view->widget_cloud;
    auto drag = [&](Qt::MouseButton button, Qt::KeyboardModifiers mods) {
        const QPoint from(320, 240), to(380, 200);
        QMouseEvent down(QEvent::MouseButtonPress, from, canvas->mapToGlobal(from), button, button,
                         mods);
        QApplication::sendEvent(canvas, &down);
        for (int i = 1; i <= 5; ++i) {
            const QPoint p = from + (to - from) * i / 5;
            QMouseEvent move(QEvent::MouseMove, p, canvas->mapToGlobal(p), Qt::NoButton, button, mods);
            QApplication::sendEvent(canvas, &move);
        }
        QMouseEvent up(QEvent::MouseButtonRelease, to, canvas->mapToGlobal(to), button, Qt::NoButton,
                       mods);
        QApplication::sendEvent(canvas, &up);
    };
    double start[3], rotated[3], focal_before[3], focal_after[3];
    camera->GetPosition(start);
    drag(Qt::LeftButton, Qt::NoModifier);
    camera->GetPosition(rotated);
    EXPECT_GT(std::abs(rotated[0] - start[0]) + std::abs(rotated[1] - start[1]), 1.0);

    const double distance = camera->GetDistance();
    QWheelEvent wheel(QPointF(320, 240), QPointF(canvas->mapToGlobal(QPoint(320, 240))), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    EXPECT_LT(camera->GetDistance(), distance);

    camera->GetFocalPoint(focal_before);
    drag(Qt::MiddleButton, Qt::NoModifier);
    camera->GetFocalPoint(focal_after);
    EXPECT_GT(std::abs(focal_after[0] - focal_before[0]) + std::abs(focal_after[1] - focal_before[1]) + std::abs(focal_after[2] - focal_before[2]),
              1.0);
}

}  // namespace

VIEW_TEST_MAIN()
