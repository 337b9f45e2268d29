// The depth-quality tools in the main window at its default size, on the
// virtual camera: the region drawn, cleared, mirrored and scaled on the live
// depth view, the CSV log of a live run, the colour bar's scale following the
// distance range, and the bottom bar with its new button.
#include <QApplication>
#include <QtCharts/QLineSeries>
#include <QFile>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>

#include "bubble_widget.h"
#include "cloud_view_widget.h"
#include "depth_scale_bar.h"
#include "depth_scale_ticks.h"
#include "parameter_setting_widget.h"
#include "quality/report_csv.h"
#include "quality_controller.h"
#include "quality_region_overlay.h"
#include "quality_stats_panel.h"
#include "quality_plot_widget.h"
#include "rgb_view_widget.h"
#include "view_quality_tools.h"
#include "viewer_fixture.h"

namespace {

using widget_test::wait_until;

const QSize kDefaultSize(1120, 600);

class ViewerQuality : public widget_test::viewer_fixture {
protected:
    void SetUp() override
    {
        viewer_fixture::SetUp();
        window->resize(kDefaultSize);
        // Keyboard focus needs an active window (no window manager here).
        QApplication::setActiveWindow(window.get());
        QCoreApplication::processEvents();
    }

    // Opens the camera and the depth module; waits for live frames.
    cloud_view_widget* start_depth()
    {
        open_camera();
        QTest::mouseClick(window->btn_switch_tof, Qt::LeftButton);
        EXPECT_TRUE(wait_depth_frames(5));
        cloud_view_widget* view = window->depth_view();
        EXPECT_NE(view, nullptr);
        return view;
    }

    // Shift-drags on the overlay from one image pixel to another, as a user
    // does with the mouse.
    static void drag_region(quality_region_overlay* overlay, QPoint from_px, QPoint to_px)
    {
        const QPoint a = widget_point(overlay, from_px);
        const QPoint b = widget_point(overlay, to_px);
        QTest::mousePress(overlay, Qt::LeftButton, Qt::ShiftModifier, a);
        QMouseEvent move(QEvent::MouseMove, b, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(overlay, &move);
        QTest::mouseRelease(overlay, Qt::LeftButton, Qt::ShiftModifier, b);
    }

    // The overlay position that shows an image pixel (the nearest one when
    // the image is drawn smaller than its pixels).
    static QPoint widget_point(const quality_region_overlay* overlay, QPoint px)
    {
        QPoint best(-1, -1);
        int best_d = 1 << 30;
        for (int y = 0; y < overlay->height(); ++y)
            for (int x = 0; x < overlay->width(); ++x) {
                const QPoint p = overlay->pixel_at(QPoint(x, y));
                const int d = std::abs(p.x() - px.x()) + std::abs(p.y() - px.y());
                if (d < best_d) {
                    best_d = d;
                    best = QPoint(x, y);
                }
            }
        EXPECT_LE(best_d, 4) << "pixel " << px.x() << "," << px.y() << " is not on screen";
        return best;
    }
};

TEST_F(ViewerQuality, RegionIsDrawnMeasuredAndClearedOnTheLiveView)
{
    cloud_view_widget* view = start_depth();
    ASSERT_NE(view, nullptr);
    view_quality_tools* tools = view->quality_tools();
    quality_region_overlay* overlay = tools->overlay();
    ASSERT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->image_size(), QSize(640, 480));
    EXPECT_FALSE(tools->pane_shown());

    drag_region(overlay, QPoint(100, 80), QPoint(299, 279));
    ASSERT_TRUE(overlay->region().has_value());
    const quality::region r = *overlay->region();
    EXPECT_NEAR(r.x, 100, 3);
    EXPECT_NEAR(r.y, 80, 3);
    EXPECT_NEAR(r.width, 200, 5);
    EXPECT_NEAR(r.height, 200, 5);
    // The first region opens the numbers, and the view expands to give
    // them room beside the image; restoring it keeps them.
    EXPECT_TRUE(tools->pane_shown());
    EXPECT_TRUE(tools->pane()->isVisible());
    EXPECT_GT(view->width(), 2 * tools->pane()->width());
    // The region stays on the same pixels in the larger view.
    EXPECT_TRUE(tools->overlay()->region() == std::optional<quality::region>(r));
    ASSERT_TRUE(wait_depth_frames(5));
    const quality::quality_report& report = tools->controller()->last_report();
    ASSERT_TRUE(report.has_region);
    EXPECT_EQ(report.spatial.pixels, r.width * r.height);
    EXPECT_GT(report.spatial.valid, 0);
    EXPECT_GT(report.spatial.mean_mm, 300);
    // The lens came with the frames: the plane is fitted in millimetres.
    EXPECT_TRUE(report.plane.ok);
    EXPECT_GT(report.ir.pixels, 0);
    EXPECT_EQ(tools->panel()->label_pixels_value->text(), QString::number(r.width * r.height));
    EXPECT_GT(tools->plot()->samples(), 0);

    // A plain click is still the pixel measurement, and leaves the region.
    const QPoint inside = overlay->mapTo(view, widget_point(overlay, QPoint(500, 400)));
    QTest::mouseClick(overlay, Qt::LeftButton, Qt::NoModifier, overlay->mapFrom(view, inside));
    EXPECT_TRUE(view->widget_location->isVisible());
    EXPECT_TRUE(overlay->region().has_value());

    // Escape clears it (the overlay has the focus after the click).
    ASSERT_TRUE(wait_until([&] { return overlay->hasFocus(); }, 1000));
    QTest::keyClick(overlay, Qt::Key_Escape);
    EXPECT_FALSE(overlay->region().has_value());
    ASSERT_TRUE(wait_depth_frames(2));
    EXPECT_FALSE(tools->controller()->last_report().has_region);
    EXPECT_EQ(tools->panel()->label_pixels_value->text(), QString::fromUtf8("—"));

    // Also with the focus on a button of the view's bar.
    drag_region(overlay, QPoint(60, 60), QPoint(160, 130));
    ASSERT_TRUE(overlay->region().has_value());
    view->btn_info->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(wait_until([&] { return view->btn_info->hasFocus(); }, 1000));
    QTest::keyClick(view->btn_info, Qt::Key_Escape);
    EXPECT_FALSE(overlay->region().has_value());

    // So does its ✕.
    drag_region(overlay, QPoint(50, 50), QPoint(150, 120));
    ASSERT_TRUE(overlay->region().has_value());
    QTest::mouseClick(overlay, Qt::LeftButton, Qt::NoModifier, overlay->clear_button_rect().center());
    EXPECT_FALSE(overlay->region().has_value());

    // The pane's button hides and shows the numbers; nothing is measured
    // while neither region nor pane is there.
    QTest::mouseClick(view->quality_button(), Qt::LeftButton);
    EXPECT_FALSE(tools->pane_shown());
    EXPECT_FALSE(tools->in_use());
    QTest::mouseClick(view->quality_button(), Qt::LeftButton);
    EXPECT_TRUE(tools->pane()->isVisible());
}

TEST_F(ViewerQuality, RegionFollowsFlipsAndResolutionChanges)
{
    cloud_view_widget* view = start_depth();
    ASSERT_NE(view, nullptr);
    quality_region_overlay* overlay = view->quality_tools()->overlay();
    drag_region(overlay, QPoint(40, 60), QPoint(239, 159));
    ASSERT_TRUE(overlay->region().has_value());
    const quality::region drawn = *overlay->region();

    struct step {
        const char* what;
        bool vertical, horizontal;
        int x, y;
    };
    const step steps[] = {
        {"horizontal mirror", false, true, 640 - drawn.x - drawn.width, drawn.y},
        {"and vertical flip", true, true, 640 - drawn.x - drawn.width, 480 - drawn.y - drawn.height},
        {"both off again", false, false, drawn.x, drawn.y},
    };
    for (const step& s : steps) {
        window->check_flip_hor->setChecked(s.horizontal);
        window->check_flip_ver->setChecked(s.vertical);
        // The region follows the frames that come flipped.
        EXPECT_TRUE(wait_until(
            [&] {
                const auto r = overlay->region();
                return r && r->x == s.x && r->y == s.y;
            },
            10000))
            << s.what << ": region at " << overlay->region()->x << "," << overlay->region()->y;
        EXPECT_EQ(overlay->region()->width, drawn.width) << s.what;
        EXPECT_EQ(overlay->region()->height, drawn.height) << s.what;
    }

    // A smaller resolution scales it, the original one gives it back.
    parameter_setting_widget* panel = window->parameter_panel();
    ASSERT_NE(panel, nullptr);
    const QString full = panel->combo_resolution->currentText();
    const int small = panel->combo_resolution->findText(QStringLiteral("320"), Qt::MatchStartsWith);
    ASSERT_GE(small, 0);
    panel->combo_resolution->setCurrentIndex(small);
    ASSERT_TRUE(wait_until([&] { return overlay->image_size() == QSize(320, 240); }, 20000));
    ASSERT_TRUE(overlay->region().has_value());
    const quality::region half = *overlay->region();
    EXPECT_NEAR(half.x, drawn.x / 2.0, 1);
    EXPECT_NEAR(half.y, drawn.y / 2.0, 1);
    EXPECT_NEAR(half.width, drawn.width / 2.0, 1);
    EXPECT_NEAR(half.height, drawn.height / 2.0, 1);
    ASSERT_TRUE(wait_depth_frames(3));
    const quality::quality_report& report = view->quality_tools()->controller()->last_report();
    EXPECT_EQ(report.area.image_width, 320);
    EXPECT_EQ(report.spatial.pixels, half.width * half.height);

    panel->combo_resolution->setCurrentText(full);
    ASSERT_TRUE(wait_until([&] { return overlay->image_size() == QSize(640, 480); }, 20000));
    EXPECT_EQ(overlay->region()->x, drawn.x);
    EXPECT_EQ(overlay->region()->width, drawn.width);
}

TEST_F(ViewerQuality, PausedPictureIsMeasuredAtOnceAndStaysPut)
{
    cloud_view_widget* view = start_depth();
    ASSERT_NE(view, nullptr);
    view_quality_tools* tools = view->quality_tools();
    QTest::mouseClick(view->btn_start, Qt::LeftButton);  // pause
    const cv::Mat shown = view->shown_depth().clone();
    drag_region(tools->overlay(), QPoint(300, 200), QPoint(379, 259));
    ASSERT_TRUE(tools->overlay()->region().has_value());
    const quality::region r = *tools->overlay()->region();
    // Measured on the spot, from the picture on screen.
    const quality::quality_report first = tools->controller()->last_report();
    ASSERT_TRUE(first.has_region);
    double sum = 0;
    int valid = 0;
    for (int y = r.y; y < r.y + r.height; ++y)
        for (int x = r.x; x < r.x + r.width; ++x) {
            const int d = shown.at<quint16>(y, x);
            if (d > 1) {
                sum += d;
                ++valid;
            }
        }
    ASSERT_GT(valid, 0);
    EXPECT_EQ(first.spatial.valid, valid);
    EXPECT_NEAR(first.spatial.mean_mm, sum / valid, 1e-6);
    // Live frames keep coming, the paused numbers stay.
    ASSERT_TRUE(wait_depth_frames(5));
    EXPECT_EQ(tools->controller()->last_report().frame_number, first.frame_number);
    QTest::mouseClick(view->btn_start, Qt::LeftButton);  // run again
    ASSERT_TRUE(wait_depth_frames(3));
    EXPECT_GT(tools->controller()->last_report().frame_number, first.frame_number);
}

// Splits one RFC 4180 line without quoted commas (the log writes none).
QStringList cells(const QString& line)
{
    return line.split(QLatin1Char(','));
}

TEST_F(ViewerQuality, LogsOneCsvRowPerLiveFrame)
{
    cloud_view_widget* view = start_depth();
    ASSERT_NE(view, nullptr);
    view_quality_tools* tools = view->quality_tools();
    drag_region(tools->overlay(), QPoint(200, 150), QPoint(399, 349));
    ASSERT_TRUE(tools->overlay()->region().has_value());
    const quality::region r = *tools->overlay()->region();
    // Reachable from the panel.
    EXPECT_TRUE(tools->panel()->btn_log->isVisible());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("live.csv"));
    ASSERT_TRUE(tools->controller()->start_log(path));
    ASSERT_TRUE(wait_depth_frames(15));
    tools->controller()->stop_log();
    const qulonglong rows = tools->controller()->logged_rows();
    EXPECT_GE(rows, 10u);

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(static_cast<qulonglong>(lines.size()), rows + 1);
    const QStringList header = cells(lines.takeFirst().trimmed());
    const std::vector<std::string> expected = quality::report_csv_header();
    ASSERT_EQ(static_cast<size_t>(header.size()), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(header[int(i)].toStdString(), expected[i]);
    auto column = [&](const char* name) { return header.indexOf(QString::fromLatin1(name)); };
    for (const char* name : {"frame_number", "frame_time_s", "region_x", "region_width", "pixels",
                             "valid_share", "mean_mm", "plane_distance_mm", "plane_tilt_deg",
                             "temporal_std_mm", "ir_mean", "local_time"})
        ASSERT_GE(column(name), 0) << name;

    double last_time = -1;
    qlonglong last_number = -1;
    for (const QString& line : lines) {
        const QStringList c = cells(line.trimmed());
        ASSERT_EQ(c.size(), header.size()) << line.toStdString();
        const qlonglong number = c[column("frame_number")].toLongLong();
        const double time = c[column("frame_time_s")].toDouble();
        // Live frames in order, each once.
        EXPECT_GT(number, last_number) << line.toStdString();
        EXPECT_GT(time, last_time) << line.toStdString();
        last_number = number;
        last_time = time;
        EXPECT_EQ(c[column("region_x")].toInt(), r.x);
        EXPECT_EQ(c[column("region_width")].toInt(), r.width);
        EXPECT_EQ(c[column("pixels")].toInt(), r.width * r.height);
        const double share = c[column("valid_share")].toDouble();
        EXPECT_GT(share, 0.0);
        EXPECT_LE(share, 1.0);
        const double mean = c[column("mean_mm")].toDouble();
        EXPECT_GT(mean, 300.0);
        // The plane meets the region's centre ray near the region's depths.
        EXPECT_FALSE(c[column("plane_distance_mm")].isEmpty());
        EXPECT_FALSE(c[column("plane_tilt_deg")].isEmpty());
        EXPECT_FALSE(c[column("ir_mean")].isEmpty());
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"))
                        .match(c[column("local_time")])
                        .hasMatch())
            << c[column("local_time")].toStdString();
    }

    // A log that cannot be written is said in the bubble.
    messages.clear();
    EXPECT_FALSE(tools->controller()->start_log(dir.filePath(QStringLiteral("no/such/folder/x.csv"))));
    ASSERT_TRUE(wait_until([&] { return window->message_bubble()->isVisible(); }, 3000));
    EXPECT_TRUE(messages.last().startsWith(QStringLiteral("Cannot log to CSV"))) << messages.last().toStdString();
    EXPECT_FALSE(tools->controller()->logging());
}

// Light pixels of the label column left of the tick at y.
int label_ink(const QImage& bar, const depth_scale_bar* scale, int y)
{
    int ink = 0;
    const int right = scale->bar_rect().left() - 6;
    for (int yy = std::max(0, y - 4); yy <= std::min(bar.height() - 1, y + 4); ++yy)
        for (int x = 0; x < right; ++x)
            if (qGray(bar.pixel(x, yy)) > 150)
                ++ink;
    return ink;
}

TEST_F(ViewerQuality, ColourBarScaleFollowsTheDistanceRange)
{
    cloud_view_widget* view = start_depth();
    ASSERT_NE(view, nullptr);
    depth_scale_bar* scale = view->scale_bar();
    EXPECT_TRUE(scale->isHidden());
    QTest::mouseClick(view->btn_see, Qt::LeftButton);
    ASSERT_TRUE(scale->isVisible());
    // The range the camera reported at the start.
    const auto camera_range = window->current_driver()->get_distance_range();  // (far, near)
    EXPECT_EQ(scale->near_mm(), camera_range.second);
    EXPECT_EQ(scale->far_mm(), camera_range.first);

    parameter_setting_widget* panel = window->parameter_panel();
    ASSERT_NE(panel, nullptr);
    struct range {
        int near_mm, far_mm;
        std::vector<int> ticks;  // round values, worked out by hand
    };
    const range ranges[] = {
        {500, 1500, {600, 800, 1000, 1200, 1400}},
        {0, 7500, {0, 2000, 4000, 6000}},
        {1000, 4000, {1000, 2000, 3000, 4000}},
    };
    for (const range& g : ranges) {
        panel->slider_distance_range_max->setValue(g.far_mm);
        panel->slider_distance_range_min->setValue(g.near_mm);
        panel->slider_distance_range_max->setValue(g.far_mm);
        ASSERT_EQ(scale->near_mm(), g.near_mm);
        ASSERT_EQ(scale->far_mm(), g.far_mm);
        EXPECT_EQ(scale->ticks(), g.ticks) << g.near_mm << "-" << g.far_mm;
        QCoreApplication::processEvents();
        const QImage shot = scale->grab().toImage();
        int last_y = scale->height();
        for (int v : g.ticks) {
            const int y = scale->tick_y(v);
            // Near at the bottom, far at the top, every value labelled.
            EXPECT_LT(y, last_y) << v;
            last_y = y;
            EXPECT_GT(label_ink(shot, scale, y), 5) << "no label at " << v << " mm";
        }
        EXPECT_EQ(depth_scale_label(g.ticks.back()), QString::number(g.ticks.back()));
    }
    QTest::mouseClick(view->btn_see, Qt::LeftButton);
    EXPECT_TRUE(scale->isHidden());
}

TEST_F(ViewerQuality, EveryBottomBarButtonIsReachableAtTheDefaultSize)
{
    cloud_view_widget* view = start_depth();
    ASSERT_NE(view, nullptr);
    // Checked in both grids: depth with IR, then with RGB added.
    const auto check = [&](const char* layout) {
        QCoreApplication::processEvents();
        std::vector<QPushButton*> buttons;
        for (QPushButton* b : view->widget_btns->findChildren<QPushButton*>())
            if (b->isVisibleTo(view))
                buttons.push_back(b);
        ASSERT_GE(buttons.size(), 8u) << layout;
        for (QPushButton* b : buttons) {
            const QRect in_view(b->mapTo(view, QPoint(0, 0)), b->size());
            EXPECT_TRUE(view->rect().contains(in_view))
                << layout << ": " << b->objectName().toStdString() << " is cut off by the view's edge";
            const QPoint centre = b->mapTo(window.get(), b->rect().center());
            ASSERT_TRUE(window->rect().contains(centre)) << layout << ": " << b->objectName().toStdString();
            QWidget* hit = window->childAt(centre);
            EXPECT_TRUE(hit == b || b->isAncestorOf(hit))
                << layout << ": " << b->objectName().toStdString() << " is covered by "
                << (hit ? hit->objectName().toStdString() : std::string("nothing"));
            for (QPushButton* o : buttons)
                if (o != b) {
                    EXPECT_FALSE(o->geometry().intersects(b->geometry()))
                        << layout << ": " << b->objectName().toStdString() << " overlaps "
                        << o->objectName().toStdString();
                }
        }
        EXPECT_NE(std::find(buttons.begin(), buttons.end(), view->quality_button()), buttons.end()) << layout;
    };
    check("depth and IR");
    QTest::mouseClick(window->btn_switch_rgb, Qt::LeftButton);
    ASSERT_TRUE(wait_rgb_frames(3));
    check("depth, IR and RGB");
}

TEST_F(ViewerQuality, RgbdColourViewMeasuresTheRegisteredDepth)
{
    open_camera();
    QTest::mouseClick(window->btn_rgbd_switch, Qt::LeftButton);
    ASSERT_TRUE(wait_depth_frames(5, 30000));
    rgb_view_widget* colour = window->colour_view();
    ASSERT_NE(colour, nullptr);
    ASSERT_TRUE(colour->quality_button()->isVisible());
    quality_region_overlay* overlay = colour->quality_tools()->overlay();
    ASSERT_TRUE(overlay->isVisible());
    const QSize image = overlay->image_size();
    drag_region(overlay, QPoint(image.width() / 4, image.height() / 4),
                QPoint(image.width() / 2, image.height() / 2));
    ASSERT_TRUE(overlay->region().has_value());
    ASSERT_TRUE(wait_depth_frames(3, 30000));
    const quality::quality_report& report = colour->quality_tools()->controller()->last_report();
    EXPECT_TRUE(report.has_region);
    EXPECT_GT(report.spatial.valid, 0);
    EXPECT_GT(report.spatial.mean_mm, 300);
    // Registered depth has no IR of its size.
    EXPECT_FALSE(report.ir.ok);
    EXPECT_TRUE(colour->quality_tools()->pane()->isVisible());
    QTest::qWait(50);
    widget_test::save_screenshot(window.get(), QStringLiteral("quality_rgbd"));
}

}  // namespace

namespace {

// Screenshots for a person to look at: a region on the back wall with the
// pane, at the default size and with the depth view expanded.
TEST_F(ViewerQuality, ScreenshotsOfTheRegionWithPanelAndPlot)
{
    cloud_view_widget* view = start_depth();
    ASSERT_NE(view, nullptr);
    QTest::mouseClick(view->btn_see, Qt::LeftButton);
    // Past the camera's first frames, whose depth is still settling.
    ASSERT_TRUE(wait_depth_frames(40));
    quality_region_overlay* overlay = view->quality_tools()->overlay();
    drag_region(overlay, QPoint(180, 150), QPoint(299, 249));
    ASSERT_TRUE(overlay->region().has_value());
    // Some seconds of history for the plot.
    ASSERT_TRUE(wait_depth_frames(120, 30000));
    const quality::quality_report& r = view->quality_tools()->controller()->last_report();
    ASSERT_TRUE(r.has_region);
    // The back wall faces the camera: a flat, square plane some metres away.
    EXPECT_TRUE(r.plane.ok);
    EXPECT_GT(r.plane.distance_mm, 3000);
    EXPECT_LT(r.plane.tilt_deg, 5);
    EXPECT_TRUE(r.temporal.ok);
    // The grid cell was too small for pane and image: the view expanded.
    EXPECT_GT(view->width(), kDefaultSize.width() / 2);
    QCoreApplication::processEvents();
    QTest::qWait(50);
    widget_test::save_screenshot(window.get(), QStringLiteral("quality_viewer"));
    // Each frame is plotted once, however its notifications queued up.
    QtCharts::QLineSeries* line = view->quality_tools()->plot()->value_series();
    ASSERT_GT(line->count(), 30);
    for (int i = 1; i < line->count(); ++i)
        ASSERT_GT(line->at(i).x(), line->at(i - 1).x()) << "sample " << i;
    EXPECT_TRUE(view->quality_tools()->pane()->isVisible());
    EXPECT_TRUE(overlay->region().has_value());
    // The pane keeps clear of the region and of the colour bar.
    const QRect pane = view->quality_tools()->pane()->geometry();
    EXPECT_FALSE(pane.intersects(overlay->region_rect().translated(overlay->pos())));
    EXPECT_FALSE(pane.intersects(view->scale_bar()->geometry()));
}

}  // namespace
