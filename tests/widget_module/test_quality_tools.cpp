// The depth-quality widgets standalone: the statistics panel, the plot, the
// controller that drives them and the CSV log (rows, columns, failures),
// and screenshots of the whole set on the virtual camera.
#include <gtest/gtest.h>

#include <QFile>
#include <QHBoxLayout>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>
#include <csignal>
#include <memory>
#include <sys/resource.h>

#include <parvolux3/pvx3.h>
#include <parvolux3/pvx3_testing.h>

#include "quality/camera_rays.h"
#include "widget_module/depth_scale_bar.h"
#include "widget_module/quality_controller.h"
#include "widget_module/quality_csv_file.h"
#include "widget_module/quality_plot_widget.h"
#include "widget_module/quality_region_overlay.h"
#include "widget_module/quality_stats_panel.h"
#include "widget_module/view_geometry.h"
#include "widget_test_support.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using quality::region;

quality::depth_intrinsics pinhole()
{
    quality::depth_intrinsics l;
    l.width = 640;
    l.height = 480;
    l.fx = l.fy = 500;
    l.cx = 319.5;
    l.cy = 239.5;
    return l;
}

// A wall 1000 mm away with every tenth pixel missing, IR 300.
quality_controller::frame wall_frame(quint64 number)
{
    quality_controller::frame f;
    f.depth = cv::Mat(480, 640, CV_16UC1, cv::Scalar(1000));
    for (int i = 0; i < 640 * 480; i += 10)
        f.depth.at<quint16>(i / 640, i % 640) = 0;
    f.ir = cv::Mat(480, 640, CV_16UC1, cv::Scalar(300));
    f.frame_number = number;
    f.time_s = number / 30.0;
    return f;
}

QStringList read_lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// ------------------------------------------------------------------ panel

TEST(QualityPanel, ShowsTheReportAndDashesForWhatIsMissing)
{
    quality_stats_panel panel;
    panel.show();
    EXPECT_TRUE(panel.label_hint->isVisible());
    EXPECT_EQ(panel.label_mean_value->text(), QStringLiteral("—"));

    quality::quality_report r;
    r.has_region = true;
    r.area = region{100, 50, 200, 100, 640, 480};
    r.spatial.pixels = 20000;
    r.spatial.valid = 19000;
    r.spatial.valid_share = 0.95;
    r.spatial.mean_mm = 1234.56;
    r.spatial.median_mm = 1234;
    r.spatial.std_mm = 3.456;
    r.spatial.min_mm = 1200;
    r.spatial.max_mm = 1260;
    r.temporal.frames = 12;
    r.temporal.window = 30;
    panel.show_report(r);
    EXPECT_FALSE(panel.label_hint->isVisible());
    EXPECT_EQ(panel.label_region_value->text(), QStringLiteral("200×100 at 100, 50"));
    EXPECT_EQ(panel.label_valid_value->text(), QStringLiteral("95.0 % (19000 of 20000)"));
    EXPECT_EQ(panel.label_mean_value->text(), QStringLiteral("1234.6 mm"));
    EXPECT_EQ(panel.label_std_value->text(), QStringLiteral("3.46 mm"));
    EXPECT_EQ(panel.label_min_max_value->text(), QStringLiteral("1200 / 1260 mm"));
    // No lens, too few frames, no IR.
    EXPECT_EQ(panel.label_plane_rms_value->text(), QStringLiteral("—"));
    EXPECT_EQ(panel.label_temporal_value->text(), QStringLiteral("— (12/30 frames)"));
    EXPECT_EQ(panel.label_ir_mean_value->text(), QStringLiteral("—"));

    r.plane.ok = true;
    r.plane.rms_mm = 1.234;
    r.plane.distance_ok = true;
    r.plane.distance_mm = 1233.24;
    r.plane.tilt_deg = 20.123;
    r.temporal.ok = true;
    r.temporal.std_mm = 2.5;
    r.temporal.frames = 30;
    r.ir.ok = true;
    r.ir.mean = 321.25;
    r.ir.saturated_share = 0.125;
    panel.show_report(r);
    EXPECT_EQ(panel.label_plane_rms_value->text(), QStringLiteral("1.23 mm"));
    EXPECT_EQ(panel.label_plane_distance_value->text(), QStringLiteral("1233.2 mm"));
    EXPECT_EQ(panel.label_plane_tilt_value->text(), QStringLiteral("20.12°"));
    EXPECT_EQ(panel.label_temporal_value->text(), QStringLiteral("2.50 mm (30/30 frames)"));
    EXPECT_EQ(panel.label_ir_saturated_value->text(), QStringLiteral("12.5 %"));

    panel.show_no_region();
    EXPECT_TRUE(panel.label_hint->isVisible());
    EXPECT_EQ(panel.label_plane_tilt_value->text(), QStringLiteral("—"));
}

// ------------------------------------------------------------------- plot

TEST(QualityPlot, KeepsTenSecondsWithTheSigmaBand)
{
    quality_plot_widget plot;
    plot.resize(500, 220);
    plot.show();
    for (int k = 0; k <= 360; ++k)  // 12 s at 30 frames per second
        plot.add_sample(100.0 + k / 30.0, 1000.0 + 10.0 * std::sin(k / 20.0), 3.0);
    EXPECT_EQ(plot.samples(), 301);
    const QVector<QPointF> v = plot.value_series()->pointsVector();
    const QVector<QPointF> up = plot.upper_series()->pointsVector();
    const QVector<QPointF> down = plot.lower_series()->pointsVector();
    ASSERT_EQ(v.size(), 301);
    EXPECT_NEAR(v.front().x(), -10.0, 1e-9);
    EXPECT_DOUBLE_EQ(v.back().x(), 0.0);
    EXPECT_DOUBLE_EQ(v.back().y(), 1000.0 + 10.0 * std::sin(18.0));
    EXPECT_DOUBLE_EQ(up[7].y() - v[7].y(), 3.0);
    EXPECT_DOUBLE_EQ(v[7].y() - down[7].y(), 3.0);
    // The depth axis holds the band, with round limits.
    const double lo = plot.depth_axis()->min(), hi = plot.depth_axis()->max();
    EXPECT_LE(lo, 987.0);
    EXPECT_GE(hi, 1013.0);
    EXPECT_EQ(std::fmod(lo, 5.0), 0.0);
    EXPECT_LT(hi - lo, 100.0);

    plot.set_source(quality_plot_widget::source::pixel_depth);
    EXPECT_EQ(plot.samples(), 0);
    // A band centred elsewhere (a pixel's recent mean).
    plot.add_sample(10, 1004, 1000, 2);
    EXPECT_DOUBLE_EQ(plot.value_series()->pointsVector().back().y(), 1004);
    EXPECT_DOUBLE_EQ(plot.upper_series()->pointsVector().back().y(), 1002);
    EXPECT_DOUBLE_EQ(plot.lower_series()->pointsVector().back().y(), 998);
    EXPECT_TRUE(plot.chart()->title().contains(QStringLiteral("pixel")));
    // A clock that starts again (a new stream) drops the old history.
    plot.add_sample(50, 900, 1);
    plot.add_sample(51, 901, 1);
    plot.add_sample(2, 902, 1);
    EXPECT_EQ(plot.samples(), 1);
}

// ------------------------------------------------------- controller, CSV

struct tools {
    QWidget window;
    quality_region_overlay* overlay;
    quality_stats_panel* panel;
    quality_plot_widget* plot;
    quality_controller controller;
    tools()
    {
        window.resize(1100, 520);
        overlay = new quality_region_overlay(&window);
        overlay->setGeometry(0, 0, 640, 480);
        overlay->set_image_geometry(QSize(640, 480), QRect(0, 0, 640, 480));
        panel = new quality_stats_panel(&window);
        panel->setGeometry(650, 0, 300, 340);
        plot = new quality_plot_widget(&window);
        plot->setGeometry(650, 340, 440, 180);
        controller.attach(overlay, panel, plot);
        controller.set_intrinsics(pinhole());
    }
};

TEST(QualityController, DrivesPanelAndPlotFromTheRegion)
{
    tools t;
    QTest::mousePress(t.overlay, Qt::LeftButton, Qt::ShiftModifier, QPoint(220, 140));
    QTest::mouseRelease(t.overlay, Qt::LeftButton, Qt::ShiftModifier, QPoint(419, 339));
    ASSERT_TRUE(t.overlay->region().has_value());
    for (quint64 n = 1; n <= 5; ++n)
        t.controller.take_frame(wall_frame(n));
    const quality::quality_report& r = t.controller.last_report();
    ASSERT_TRUE(r.has_region);
    EXPECT_EQ(r.area, (region{220, 140, 200, 200, 640, 480}));
    EXPECT_DOUBLE_EQ(r.spatial.valid_share, 0.9);
    EXPECT_EQ(t.panel->label_plane_distance_value->text(), QStringLiteral("1000.0 mm"));
    EXPECT_EQ(t.panel->label_plane_tilt_value->text(), QStringLiteral("0.00°"));
    EXPECT_EQ(t.panel->label_valid_value->text(), QStringLiteral("90.0 % (36000 of 40000)"));
    EXPECT_EQ(t.panel->label_temporal_value->text(), QStringLiteral("0.00 mm (5/30 frames)"));
    EXPECT_EQ(t.panel->label_ir_mean_value->text(), QStringLiteral("300.0"));
    EXPECT_EQ(t.plot->current_source(), quality_plot_widget::source::region_mean);
    EXPECT_EQ(t.plot->samples(), 5);

    // Without a region the plot follows the clicked pixel.
    t.controller.set_probe_pixel(QPoint(5, 5));
    t.overlay->clear_region();
    EXPECT_FALSE(t.panel->label_hint->isHidden());
    for (quint64 n = 6; n <= 8; ++n)
        t.controller.take_frame(wall_frame(n));
    EXPECT_EQ(t.plot->current_source(), quality_plot_widget::source::pixel_depth);
    EXPECT_EQ(t.plot->samples(), 3);
    EXPECT_DOUBLE_EQ(t.plot->value_series()->pointsVector().back().y(), 1000.0);
}

TEST(QualityController, LogsOneRowPerFrameUntilStopped)
{
    widget_test::message_catcher messages;
    QTemporaryDir dir;
    tools t;
    const QString path = dir.filePath(QStringLiteral("quality"));
    set_csv_file_chooser([&](QWidget*, const QString&, const QString&) { return path; });
    t.overlay->set_region(region{220, 140, 200, 200, 640, 480});
    t.controller.take_frame(wall_frame(1));  // not logged yet
    t.panel->btn_log->click();
    ASSERT_TRUE(t.controller.logging());
    EXPECT_EQ(t.controller.log_path(), path + QStringLiteral(".csv"));
    EXPECT_EQ(t.panel->btn_log->text(), QStringLiteral("Stop logging"));
    t.controller.set_probe_pixel(QPoint(7, 9));
    for (quint64 n = 2; n <= 6; ++n)
        t.controller.take_frame(wall_frame(n));
    EXPECT_EQ(t.panel->label_log_status->text(), QStringLiteral("quality.csv: 5 rows"));
    t.panel->btn_log->click();
    EXPECT_FALSE(t.controller.logging());
    t.controller.take_frame(wall_frame(7));  // not logged any more
    set_csv_file_chooser({});
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.last().toStdString();

    const QStringList lines = read_lines(t.controller.log_path());
    ASSERT_EQ(lines.size(), 6);
    const QStringList header = lines[0].split(',');
    EXPECT_EQ(header.size(), 32);
    const int frame_col = header.indexOf(QStringLiteral("frame_number"));
    const int mean_col = header.indexOf(QStringLiteral("mean_mm"));
    const int share_col = header.indexOf(QStringLiteral("valid_share"));
    const int tilt_col = header.indexOf(QStringLiteral("plane_tilt_deg"));
    const int probe_col = header.indexOf(QStringLiteral("probe_depth_mm"));
    ASSERT_GE(std::min({frame_col, mean_col, share_col, tilt_col, probe_col}), 0);
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList row = lines[i].split(',');
        ASSERT_EQ(row.size(), header.size()) << lines[i].toStdString();
        EXPECT_EQ(row[frame_col], QString::number(i + 1));
        EXPECT_EQ(row[mean_col], QStringLiteral("1000.00"));
        EXPECT_EQ(row[share_col], QStringLiteral("0.9000"));
        EXPECT_EQ(row[tilt_col], QStringLiteral("0.000"));
        EXPECT_EQ(row[probe_col], QStringLiteral("1000"));
        EXPECT_EQ(row[0].size(), 23) << "local time with milliseconds: " << row[0].toStdString();
    }
}

TEST(QualityController, CancelledOrImpossibleLogsAreReported)
{
    widget_test::message_catcher messages;
    tools t;
    set_csv_file_chooser([](QWidget*, const QString&, const QString&) { return QString(); });
    t.panel->btn_log->click();
    EXPECT_FALSE(t.controller.logging());
    EXPECT_TRUE(messages.texts().isEmpty());
    set_csv_file_chooser({});

    EXPECT_FALSE(t.controller.start_log(QStringLiteral("/no/such/folder/q.csv")));
    EXPECT_FALSE(t.controller.logging());
    ASSERT_FALSE(messages.texts().isEmpty());
    EXPECT_TRUE(messages.last().startsWith(QStringLiteral("Cannot log to CSV")))
        << messages.last().toStdString();
    EXPECT_TRUE(messages.last().contains(QStringLiteral("/no/such/folder/q.csv")));
    EXPECT_EQ(t.panel->btn_log->text(), QStringLiteral("Log to CSV…"));
}

TEST(QualityController, AFailedWriteStopsTheLogWithAMessage)
{
    widget_test::message_catcher messages;
    QTemporaryDir dir;
    tools t;
    t.overlay->set_region(region{220, 140, 200, 200, 640, 480});
    const QString path = dir.filePath(QStringLiteral("full.csv"));
    ASSERT_TRUE(t.controller.start_log(path));
    t.controller.take_frame(wall_frame(1));
    t.controller.take_frame(wall_frame(2));
    // The disk fills up: the file may not grow past its present size plus a
    // few bytes (a limit on file size makes writes fail with EFBIG).
    const qint64 size = QFileInfo(path).size();
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(size + 20);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    t.controller.take_frame(wall_frame(3));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_FALSE(t.controller.logging());
    ASSERT_FALSE(messages.texts().isEmpty());
    EXPECT_TRUE(messages.last().startsWith(QStringLiteral("CSV log stopped after 2 rows")))
        << messages.last().toStdString();
    EXPECT_EQ(t.panel->btn_log->text(), QStringLiteral("Log to CSV…"));
    // The rows written before stay readable.
    const QStringList lines = read_lines(path);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[2].split(',').size(), 32);
    t.controller.take_frame(wall_frame(4));
    EXPECT_EQ(messages.texts().size(), 1) << "reported once";
}

// -------------------------------------------- on the virtual camera, shots

// Paints a colour depth image letterboxed into itself, as the depth view's
// 2D page does, with the overlay and the scale bar on top.
class demo_depth_view : public QWidget {
public:
    QImage image;
    quality_region_overlay* overlay;
    depth_scale_bar* bar;
    explicit demo_depth_view(QWidget* parent = nullptr) : QWidget(parent)
    {
        setMinimumSize(640, 480);
        overlay = new quality_region_overlay(this);
        bar = new depth_scale_bar(this);
    }
    QRect drawn() const { return view_letterbox(size(), image.isNull() ? QSize(640, 480) : image.size(), 0); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        if (!image.isNull())
            p.drawImage(drawn(), image);
    }
    void resizeEvent(QResizeEvent*) override
    {
        overlay->setGeometry(rect());
        overlay->set_image_geometry(image.isNull() ? QSize(640, 480) : image.size(), drawn());
        const int w = bar->sizeHint().width();
        bar->setGeometry(width() - w - 6, 10, w, height() - 20);
    }
};

class QualityOnCamera : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("PVX3_PACING", "fast");
        ctx = pvx3::pvx3_create_context(nullptr);
        ASSERT_NE(ctx, nullptr);
        ctx->query_devices(nullptr);
        dev = ctx->get_device(nullptr);
        ASSERT_NE(dev, nullptr);
        cfg = pvx3::pvx3_create_config(ctx, nullptr);
        pipe = pvx3::pvx3_create_pipeline(ctx, nullptr);
        cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480, nullptr);
        cfg->enable_stream(pvx3::PVX3_STREAM_IR, 640, 480, nullptr);
        ASSERT_EQ(pipe->start(cfg, nullptr), 0);
    }
    void TearDown() override
    {
        if (pipe)
            pipe->stop(nullptr);
        qunsetenv("PVX3_PACING");
    }
    // Next frame as the controller takes it; the colour image for display.
    bool next(quality_controller::frame* f, QImage* colour, double* scene_time)
    {
        std::unique_ptr<pvx3::frameset> fs(pipe->wait_for_frames(60000, nullptr));
        if (!fs)
            return false;
        pvx3::frame* d = fs->get_depth_frame(nullptr);
        pvx3::frame* ir = fs->get_ir_frame(nullptr);
        if (!d || !ir)
            return false;
        f->depth = cv::Mat(480, 640, CV_16UC1, const_cast<void*>(d->get_data(nullptr))).clone();
        f->ir = cv::Mat(480, 640, CV_16UC1, const_cast<void*>(ir->get_data(nullptr))).clone();
        f->frame_number = d->get_frame_number(nullptr);
        f->time_s = d->get_timestamp_us(nullptr) / 1e6;
        *colour = QImage(static_cast<const uchar*>(d->get_render_data(nullptr)), 640, 480, 640 * 3,
                         QImage::Format_RGB888)
                      .copy();
        if (!lens) {
            // The lens from the camera's own point cloud, as the viewer learns it.
            pvx3::frame* cloud = pipe->get_process_engine(nullptr)->depth_to_point_cloud(d, nullptr);
            if (cloud) {
                std::unique_ptr<float[]> xyz(static_cast<float*>(cloud->get_render_data(nullptr)));
                lens = quality::estimate_intrinsics(xyz.get(), 640, 480, false, false);
            }
        }
        pvx3::testing::frame_conditions c;
        pvx3::testing::conditions_of(d, c);
        *scene_time = c.scene_time_s;
        return true;
    }
    pvx3::context* ctx = nullptr;
    pvx3::device* dev = nullptr;
    pvx3::config* cfg = nullptr;
    pvx3::pipeline* pipe = nullptr;
    std::optional<quality::depth_intrinsics> lens;
};

TEST_F(QualityOnCamera, RegionOnTheCheckerboardWithPanelPlotAndScale)
{
    QWidget window;
    QPalette black = window.palette();
    black.setColor(QPalette::Window, Qt::black);
    window.setPalette(black);
    window.setAutoFillBackground(true);
    window.resize(1180, 720);
    auto* layout = new QHBoxLayout(&window);
    auto* view = new demo_depth_view(&window);
    auto* side = new QVBoxLayout();
    auto* panel = new quality_stats_panel(&window);
    auto* plot = new quality_plot_widget(&window);
    plot->setMinimumHeight(260);
    layout->addWidget(view, 1);
    layout->addLayout(side);
    side->addWidget(panel);
    side->addWidget(plot, 1);
    QImage colours(1, 360, QImage::Format_RGB888);
    uint8_t* table = nullptr;
    int count = 0;
    ASSERT_EQ(pvx3::pvx3_get_colormap_table(&table, &count, nullptr), 0);
    for (int i = 0; i < 360; ++i)  // far end at the top
        colours.setPixelColor(0, 359 - i, QColor(table[3 * i], table[3 * i + 1], table[3 * i + 2]));
    delete[] table;
    view->bar->set_colour_bar(colours);
    view->bar->set_range(300, 6000);
    quality_controller controller;
    controller.attach(view->overlay, panel, plot);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    quality_controller::frame f;
    QImage colour;
    double scene_time = 0;
    ASSERT_TRUE(next(&f, &colour, &scene_time));
    ASSERT_TRUE(lens.has_value());
    controller.set_intrinsics(*lens);
    view->image = colour;

    // The lower part of the checkerboard (turned 20 degrees about the
    // vertical), below the swinging ball's path, per the scene's truth.
    const auto truth = pvx3::testing::depth_truth(640, 480, scene_time);
    std::optional<region> board;
    for (int y = 240; y < 300 && !board; y += 2)
        for (int x = 330; x < 520 && !board; x += 2) {
            bool all = true;  // with a pixel to spare all round
            for (int r = y - 1; r < y + 25 && all; ++r)
                for (int c = x - 1; c < x + 91 && all; ++c)
                    all = truth.object[std::size_t(r) * 640 + c] == pvx3::testing::kCheckerBoard;
            if (all)
                board = region{x, y, 90, 24, 640, 480};
        }
    ASSERT_TRUE(board.has_value());
    // Drag it with Shift held, from corner pixel to corner pixel.
    const QRect d = view->drawn();
    auto at = [&](int px, int py) {
        return QPoint(d.x() + (px * d.width() + d.width() / 2) / 640,
                      d.y() + (py * d.height() + d.height() / 2) / 480);
    };
    QTest::mousePress(view->overlay, Qt::LeftButton, Qt::ShiftModifier, at(board->x, board->y));
    QTest::mouseRelease(view->overlay, Qt::LeftButton, Qt::ShiftModifier,
                        at(board->x + board->width - 1, board->y + board->height - 1));
    ASSERT_TRUE(view->overlay->region().has_value());
    // The image is drawn a little smaller than 640 x 480: a screen pixel
    // covers a pixel and a bit, so the corners land within a pixel.
    const region got = *view->overlay->region();
    EXPECT_NEAR(got.x, board->x, 1);
    EXPECT_NEAR(got.y, board->y, 1);
    EXPECT_NEAR(got.x + got.width, board->x + board->width, 1);
    EXPECT_NEAR(got.y + got.height, board->y + board->height, 1);

    for (int k = 0; k < 150; ++k) {
        controller.take_frame(f);
        view->image = colour;
        view->update();
        QCoreApplication::processEvents();
        ASSERT_TRUE(next(&f, &colour, &scene_time));
    }
    const quality::quality_report& r = controller.last_report();
    ASSERT_TRUE(r.plane.ok);
    EXPECT_NEAR(r.plane.tilt_deg, 20.0, 1.5);
    EXPECT_TRUE(r.temporal.ok);
    EXPECT_TRUE(r.ir.ok);
    EXPECT_EQ(plot->samples(), 150);
    QTest::qWait(50);
    widget_test::save_screenshot(&window, QStringLiteral("quality_region_panel_plot"));

    // No region: the plot follows the clicked pixel on the back wall.
    view->overlay->clear_region();
    controller.set_probe_pixel(QPoint(240, 300));
    for (int k = 0; k < 90; ++k) {
        controller.take_frame(f);
        view->image = colour;
        view->update();
        QCoreApplication::processEvents();
        ASSERT_TRUE(next(&f, &colour, &scene_time));
    }
    EXPECT_EQ(plot->current_source(), quality_plot_widget::source::pixel_depth);
    EXPECT_GT(plot->samples(), 60);
    QTest::qWait(50);
    widget_test::save_screenshot(&window, QStringLiteral("quality_pixel_plot"));
}

}  // namespace
