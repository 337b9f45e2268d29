#include <QDeadlineTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>

#include "view_test_support.h"
#include "widget_module/rgb_view_widget.h"
#include "zavire/tof_param_info.h"

namespace {

using namespace view_test;

// A 640 x 480 frame: left half `left`, right half `right`.
QPixmap split_frame(QColor left, QColor right)
{
    QImage image(640, 480, QImage::Format_RGB888);
    for (int x = 0; x < 640; ++x)
        for (int y = 0; y < 480; ++y)
            image.setPixelColor(x, y, x < 320 ? left : right);
    return QPixmap::fromImage(image);
}

class RgbView : public ::testing::Test {
protected:
    void SetUp() override
    {
        publish_depth(cv::Mat(), cv::Mat());
        view = new rgb_view_widget();
        view->show();
        settle();
        QObject::connect(view, &rgb_view_widget::sig_rgbd_click_point_sync,
                         [this](QPoint p) { synced.push_back(p); });
    }
    void TearDown() override { delete view; }

    void click(QPoint pos)
    {
        QWidget* target = view->childAt(pos);
        if (target == nullptr)
            target = view;
        press(target, target->mapFrom(view, pos));
    }

    QImage picture() { return view->grab().toImage(); }

    QPointer<rgb_view_widget> view;
    std::vector<QPoint> synced;
};

TEST_F(RgbView, FormAndInitialState)
{
    EXPECT_EQ(view->objectName(), QStringLiteral("rgb_view"));
    EXPECT_EQ(view->label->text(), QStringLiteral("RGB"));
    EXPECT_EQ(view->view_widget->geometry(), QRect(0, 29, 831, 601));
    EXPECT_TRUE(view->widget_time->isHidden());
    EXPECT_TRUE(view->widget_location->isHidden());
    EXPECT_TRUE(view->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(view->btn_start->toolTip(), QStringLiteral("stop"));
}

TEST_F(RgbView, LetterboxesByImageSizeNotPixmapSize)
{
    view->show_frame(split_frame(Qt::red, Qt::blue));
    QImage img = picture();
    // 640 x 480 in 831 x 601: 801 x 601 at x 15, y 30.
    EXPECT_EQ(QColor(img.pixel(15, 300)), QColor(Qt::red));
    EXPECT_NE(QColor(img.pixel(14, 300)), QColor(Qt::red));
    EXPECT_EQ(QColor(img.pixel(815, 300)), QColor(Qt::blue));
    EXPECT_NE(QColor(img.pixel(816, 300)), QColor(Qt::blue));
    // A wide size stretches the same pixmap: 1280 x 720 -> 831 x 467 at y 97.
    view->slot_resolution_change(1280, 720);
    EXPECT_EQ(view->label_frame_content->text(), QString::fromUtf8("1280\u00d7720"));
    img = picture();
    EXPECT_EQ(QColor(img.pixel(0, 97)), QColor(Qt::red));
    EXPECT_NE(QColor(img.pixel(0, 96)), QColor(Qt::red));
    EXPECT_EQ(QColor(img.pixel(830, 97 + 466)), QColor(Qt::blue));
}

TEST_F(RgbView, PauseFreezesPictureButNotTimeStamp)
{
    std::vector<bool> stops;
    QObject::connect(view, &rgb_view_widget::sig_stop_start, [&](bool s) { stops.push_back(s); });
    view->show_frame(split_frame(Qt::red, Qt::red));
    view->btn_start->click();
    EXPECT_EQ(view->btn_start->toolTip(), QStringLiteral("start"));
    view->label_time_content->setText(QStringLiteral("stale"));
    view->show_frame(split_frame(Qt::green, Qt::green));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+;$"))
                    .match(view->label_time_content->text())
                    .hasMatch());
    EXPECT_EQ(QColor(picture().pixel(400, 300)), QColor(Qt::red));
    view->btn_start->click();
    view->show_frame(split_frame(Qt::green, Qt::green));
    EXPECT_EQ(QColor(picture().pixel(400, 300)), QColor(Qt::green));
    EXPECT_EQ(stops, (std::vector<bool>{true, false}));
}

TEST_F(RgbView, ClicksOutsideRgbdModeAreIgnored)
{
    click({300, 300});
    EXPECT_TRUE(view->widget_location->isHidden());
    EXPECT_TRUE(synced.empty());
    publish_flat_depth(640, 480, 1000);
    view->slot_show_depth();
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("0 mm"));
}

TEST_F(RgbView, RgbdClickReportsTheImagePixel)
{
    view->set_rgbd_mode(true);
    EXPECT_TRUE(view->btn_close->isHidden());
    // Area (415, 300) -> pixel trunc(415 * 640 / 831), trunc(300 * 480 / 601).
    click({415, 330});
    ASSERT_EQ(synced.size(), 1u);
    EXPECT_EQ(synced[0], QPoint(319, 239));
    EXPECT_TRUE(view->widget_location->isVisible());
    EXPECT_EQ(view->widget_location->pos(), QPoint(415, 300));
    click({20, 640});
    EXPECT_TRUE(view->widget_location->isHidden());
    view->set_rgbd_mode(false);
    EXPECT_FALSE(view->btn_close->isHidden());
}

// The colour half of the fusion measures like the depth view: no distance
// for invalid and saturated pixels, and a click on a paused view reads the
// depth of the frame it shows.
TEST_F(RgbView, RgbdMeasurementOfSaturatedInvalidAndPausedPixels)
{
    view->set_rgbd_mode(true);
    publish_flat_depth(640, 480, 1);
    view->slot_show_depth();
    click({415, 330});
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("saturated"));
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("n/a"));
    publish_flat_depth(640, 480, 0);
    view->slot_show_depth();
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("no measurement"));
    const QLabel* l = view->label_distance_content;
    EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width());

    publish_flat_depth(640, 480, 1500);
    view->slot_show_depth();
    view->btn_start->click();  // pause
    publish_flat_depth(640, 480, 900);
    view->slot_show_depth();  // not taken
    click({200, 200});
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("1500 mm"));
}

TEST_F(RgbView, RgbdDeviationWindowRestartsWhenFull)
{
    view->set_rgbd_mode(true);
    click({415, 330});
    publish_flat_depth(640, 480, 1000);
    view->slot_show_depth();  // selects the pixel
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("0.000 mm"));
    // Samples 1..15 alternate 1000 and 1004: the 15th window is 8 x 1000 and
    // 7 x 1004, sum 15028, mean 1001, acc 8 * 1 + 7 * 9 = 71, variance 5.
    for (int i = 0; i < 15; ++i) {
        publish_flat_depth(640, 480, i % 2 == 0 ? 1000 : 1004);
        view->slot_show_depth();
    }
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("2.236 mm"));
    // The 17th frame empties the window: the label keeps its text for two
    // frames and is recomputed from the third new sample.
    const quint16 next[] = {1000, 1010, 1020};
    for (int i = 0; i < 2; ++i) {
        publish_flat_depth(640, 480, next[i]);
        view->slot_show_depth();
        EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("2.236 mm")) << i;
    }
    publish_flat_depth(640, 480, next[2]);
    view->slot_show_depth();
    // 1000, 1010, 1020: mean 1010, acc 200, variance 100.
    EXPECT_EQ(view->label_stddev_content->text(), QStringLiteral("10.000 mm"));
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("1020 mm"));
}

TEST_F(RgbView, MarkerFromTheDepthView)
{
    view->show_frame(split_frame(Qt::black, Qt::black));
    // Pixel (320, 240) -> area (415, 300) -> view (415, 330).
    view->OnSlotRGBDClickPointSync(QPoint(320, 240));
    const QImage img = picture();
    EXPECT_EQ(QColor(img.pixel(417, 330)), QColor(Qt::yellow));
    EXPECT_EQ(QColor(img.pixel(415, 332)), QColor(Qt::yellow));
    EXPECT_EQ(QColor(img.pixel(415, 330)), QColor(Qt::black));
}

TEST_F(RgbView, FrameRateFromTheInfoStrip)
{
    view->btn_info->click();
    ASSERT_TRUE(view->widget_time->isVisible());
    for (int i = 0; i < 4; ++i)
        view->show_frame(split_frame(Qt::red, Qt::red));
    QDeadlineTimer deadline(3000);
    while (view->label_fps_content->text() != QStringLiteral("4.00") && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(view->label_fps_content->text(), QStringLiteral("4.00"));
    view->btn_info->click();
    EXPECT_TRUE(view->widget_time->isHidden());
}

TEST_F(RgbView, ExpandSaveResizeAndClose)
{
    std::vector<bool> expanded;
    int saves = 0, exits = 0;
    QObject::connect(view, &rgb_view_widget::sig_expend_view,
                     [&](bool e) { expanded.push_back(e); });
    QObject::connect(view, &rgb_view_widget::sig_save_rgb_image, [&] { ++saves; });
    QObject::connect(view, &rgb_view_widget::sig_exit, [&] { ++exits; });
    view->btn_expend->click();
    view->set_expend(false);
    EXPECT_EQ(expanded, (std::vector<bool>{true, false}));
    view->btn_photo->click();
    EXPECT_EQ(saves, 1);
    view->resize_widget(false, false);
    EXPECT_FALSE(view->btn_expend->isEnabled());
    view->resize_widget(true, true);
    EXPECT_FALSE(view->btn_expend->isEnabled());
    view->resize_widget(true, false);
    EXPECT_TRUE(view->btn_expend->isEnabled());

    QWidget parent;
    parent.resize(700, 500);
    view->setParent(&parent);
    parent.show();
    view->show();
    view->slot_rgb_widget_resize();
    settle();
    EXPECT_EQ(view->size(), QSize(700, 500));
    EXPECT_EQ(view->view_widget->geometry(), QRect(0, 29, 700, 440));
    EXPECT_EQ(view->widget->geometry(), QRect(0, 470, 700, 30));
    EXPECT_EQ(view->widget_time->y(), 450);
    tof_param_info info;
    info.resolutions.insert(640, 480);
    view->set_param_info(info);

    view->btn_close->click();
    EXPECT_EQ(exits, 1);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(view.isNull());
}

TEST_F(RgbView, ScreenshotRgbdMeasurement)
{
    QImage image(640, 480, QImage::Format_RGB888);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            image.setPixelColor(x, y, QColor(x * 255 / 640, y * 255 / 480, 120));
    view->set_rgbd_mode(true);
    view->btn_info->click();
    click({300, 250});
    publish_flat_depth(640, 480, 1500);
    for (int i = 0; i < 5; ++i) {
        view->show_frame(QPixmap::fromImage(image));
        view->slot_show_depth();
    }
    view->OnSlotRGBDClickPointSync(QPoint(500, 100));
    settle();
    const QImage shot = save_screenshot(view, QStringLiteral("rgb_view_rgbd"));
    EXPECT_GT(colour_count(shot), 20);
    EXPECT_EQ(view->label_distance_content->text(), QStringLiteral("1500 mm"));
}

}  // namespace

VIEW_TEST_MAIN()
