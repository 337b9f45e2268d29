// What a user meets, one row per situation: the real main window at its
// default size (1120 x 600) on the virtual camera, configured by the row's
// PVX3_* variables before the window makes its SDK context, driven by clicks
// on what is on screen; each row checks what the user sees (the bubble's
// messages, switches, views, buttons and labels) and what lands on disk.
#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include <opencv2/imgcodecs.hpp>
#include <parvolux3/pvx3_testing.h>
#include <pcl/io/pcd_io.h>

#include "app/quit_signals.h"
#include "app/save_settings_store.h"
#include "app/window_settings.h"
#include "bubble_widget.h"
#include "cloud_view_widget.h"
#include "parameter_setting_widget.h"
#include "rgb_view_widget.h"
#include "save_path_widget.h"
#include "view_geometry.h"
#include "viewer.h"
#include "viewer_fixture.h"
#include "viewer_messages.h"
#include "widget_ir.h"
#include "zavire/whole_file.h"
#include "support/file_size_limit.h"

namespace {

using widget_test::shows_icon;
using widget_test::wait_until;

const char* const kOn = ":/zavire/image/switch_on.png";
const char* const kOff = ":/zavire/image/switch_off.png";
const QSize kDefaultSize(1120, 600);

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// One user situation: the window, the camera variables, a save folder.
class situation {
public:
    explicit situation(const std::vector<std::pair<QByteArray, QByteArray>>& env)
    {
        for (const auto& v : env) {
            qputenv(v.first.constData(), v.second);
            m_env.push_back(v.first);
        }
        window = std::make_unique<viewer>();
        window->resize(kDefaultSize);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    ~situation()
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const QByteArray& n : m_env)
            qunsetenv(n.constData());
    }

    viewer& v() { return *window; }

    // Clicks `w` where the user would: at its centre on screen, on whatever
    // widget is there. Fails when `w` is hidden, off the window or covered.
    void click(QWidget* w, QPoint at = QPoint(-1, -1))
    {
        ASSERT_TRUE(w->isVisible()) << w->objectName().toStdString() << " is not on screen";
        if (at.x() < 0)
            at = w->rect().center();
        const QPoint in_window = w->mapTo(window.get(), at);
        ASSERT_TRUE(window->rect().contains(in_window))
            << w->objectName().toStdString() << " lies outside the window";
        QWidget* hit = window->childAt(in_window);
        ASSERT_TRUE(hit == w || w->isAncestorOf(hit))
            << w->objectName().toStdString() << " is covered by "
            << (hit ? hit->objectName().toStdString() : std::string("nothing"));
        QTest::mouseClick(hit, Qt::LeftButton, Qt::NoModifier, hit->mapFrom(window.get(), in_window));
    }

    void open_camera()
    {
        click(v().btn_chose_module);
        ASSERT_TRUE(v().table_module->isVisible());
        ASSERT_EQ(v().table_module->rowCount(), 1);
        click_list_row();
        ASSERT_NE(v().current_driver(), nullptr);
        ASSERT_TRUE(wait_until([&] { return v().widget_module->isVisible() && v().parameter_panel(); }, 15000));
        count_frames();
    }

    void click_list_row()
    {
        const QRect row = v().table_module->visualItemRect(v().table_module->item(0, 0));
        click(v().table_module->viewport(), row.center());
    }

    void count_frames()
    {
        driver_operate* d = v().current_driver();
        depth_frames = rgb_frames = cloud_frames = 0;
        QObject::connect(d, &driver_operate::sig_update_date_vec, window.get(), [this] { ++depth_frames; });
        QObject::connect(d, &driver_operate::sig_show_rgb, window.get(), [this](QPixmap) { ++rgb_frames; });
        QObject::connect(d, &driver_operate::sig_update_cloud_point_vec, window.get(), [this] { ++cloud_frames; });
    }

    bool more_depth(int n, int ms = 20000)
    {
        const int target = depth_frames + n;
        return wait_until([&] { return depth_frames >= target; }, ms);
    }
    bool more_rgb(int n, int ms = 20000)
    {
        const int target = rgb_frames + n;
        return wait_until([&] { return rgb_frames >= target; }, ms);
    }

    // The text the bubble shows now (without its line-break hints).
    QString bubble_text()
    {
        bubble_widget* b = v().message_bubble();
        if (!b->isVisible())
            return QString();
        return b->label_title_2->text().remove(QChar(0x200b));
    }

    // Waits until a message starting with `start` was shown; returns it.
    QString wait_message(const QString& start, int ms = 10000)
    {
        QString found;
        wait_until(
            [&] {
                for (const QString& t : messages.texts())
                    if (t.startsWith(start)) {
                        found = t;
                        return true;
                    }
                return false;
            },
            ms);
        return found;
    }

    // Every shown button of a view's bottom bar is on screen, inside its
    // bar and clear of the others; every shown label of its info strip and
    // measurement box shows its whole text.
    void expect_controls_usable(QWidget* view, QWidget* bar, QWidget* strip, QWidget* box)
    {
        const std::string name = view->objectName().toStdString();
        const QRect bar_rect(bar->mapTo(window.get(), QPoint(0, 0)), bar->size());
        EXPECT_TRUE(window->rect().contains(bar_rect)) << name;
        QVector<QRect> taken;
        for (QAbstractButton* b : bar->findChildren<QAbstractButton*>()) {
            if (b->isHidden())
                continue;
            const QRect r(b->mapTo(window.get(), QPoint(0, 0)), b->size());
            EXPECT_TRUE(b->isVisible()) << name << " " << b->objectName().toStdString();
            EXPECT_TRUE(bar_rect.contains(r)) << name << " " << b->objectName().toStdString() << " leaves its bar";
            for (const QRect& o : taken)
                EXPECT_FALSE(o.intersects(r)) << name << " " << b->objectName().toStdString() << " overlaps";
            taken.append(r);
        }
        for (QWidget* panel : {strip, box}) {
            if (!panel || panel->isHidden())
                continue;
            const QRect panel_rect(panel->mapTo(view, QPoint(0, 0)), panel->size());
            EXPECT_TRUE(view->rect().contains(panel_rect)) << name << " " << panel->objectName().toStdString();
            for (QLabel* l : panel->findChildren<QLabel*>()) {
                if (l->isHidden())
                    continue;
                EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width())
                    << name << " " << l->objectName().toStdString() << " clips \"" << l->text().toStdString()
                    << "\"";
                EXPECT_TRUE(panel->rect().contains(l->geometry()))
                    << name << " " << l->objectName().toStdString() << " leaves its strip";
            }
        }
    }

    // Checks each view on screen (an expanded view hides the others).
    void expect_all_views_usable()
    {
        cloud_view_widget* d = v().depth_view();
        if (d && d->isVisible())
            expect_controls_usable(d, d->widget, d->widget_time, d->widget_location);
        WidgetIR* ir = v().infrared_view();
        if (ir && ir->isVisible())
            expect_controls_usable(ir, ir->widget, ir->widget_time, nullptr);
        rgb_view_widget* c = v().colour_view();
        if (c && c->isVisible())
            expect_controls_usable(c, c->widget, c->widget_time, c->widget_location);
    }

    // The window with the bubble drawn into its bottom-right corner, as a
    // person sees both (the bubble is its own window at the screen corner).
    void screenshot(const char* name)
    {
        QCoreApplication::processEvents();
        QTest::qWait(100);
        QImage shot = v().screen()->grabWindow(v().winId()).toImage();
        bubble_widget* b = v().message_bubble();
        if (b->isVisible()) {
            const QImage bubble = b->grab().toImage();
            QPainter p(&shot);
            p.drawImage(shot.width() - bubble.width() - 10, shot.height() - bubble.height() - 10, bubble);
        }
        QString folder = qEnvironmentVariable("TESSIVUE_SCREENSHOT_DIR");
        if (folder.isEmpty())
            folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
        QDir().mkpath(folder);
        EXPECT_TRUE(shot.save(folder + '/' + QString::fromLatin1(name) + QStringLiteral(".png")));
    }

    std::unique_ptr<viewer> window;
    widget_test::scratch_settings settings;
    widget_test::message_catcher messages;
    QTemporaryDir out;
    int depth_frames = 0;
    int rgb_frames = 0;
    int cloud_frames = 0;

private:
    std::vector<QByteArray> m_env;
};

// The single batch folder directly under `parent`.
QString batch_folder(const QString& parent, const QString& suffix)
{
    const QStringList dirs =
        QDir(parent).entryList({QStringLiteral("*_") + suffix}, QDir::Dirs | QDir::NoDotAndDotDot);
    return dirs.size() == 1 ? parent + '/' + dirs[0] : QString();
}

// Points of a saved cloud closer than 2 mm but not at the origin: what a
// saturated pixel used to become.
int points_at_one_millimetre(const QString& pcd)
{
    pcl::PointCloud<pcl::PointXYZRGB> cloud;
    if (pcl::io::loadPCDFile(pcd.toStdString(), cloud) != 0)
        return -1;
    int n = 0;
    for (const auto& p : cloud.points)
        n += (p.z != 0.0f && std::abs(p.z) < 2.0f) ? 1 : 0;
    return n;
}

// Files under `folder` that are not whole: unreadable images, incomplete
// point clouds, leftovers under a temporary name.
QStringList broken_files(const QString& folder)
{
    QStringList broken;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        const QString path = f.absoluteFilePath();
        if (f.suffix() == QLatin1String("png")) {
            if (cv::imread(path.toStdString(), cv::IMREAD_UNCHANGED).empty())
                broken << f.fileName();
        } else if (f.suffix() == QLatin1String("pcd")) {
            if (!pcd_file_complete(path))
                broken << f.fileName();
        } else if (f.suffix() != QLatin1String("json")) {
            broken << f.fileName();
        }
    }
    return broken;
}

// ------------------------------------------------------------------ rows

void depth_two_views(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_tof);
    EXPECT_TRUE(shows_icon(v.btn_switch_tof, kOn));
    ASSERT_NE(v.depth_view(), nullptr);
    ASSERT_NE(v.infrared_view(), nullptr);
    ASSERT_TRUE(s.more_depth(5));
    cloud_view_widget* depth = v.depth_view();
    s.click(depth->btn_info);
    s.click(v.infrared_view()->btn_info);
    QTest::qWait(1300);  // one frame-rate tick
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.00$")).match(depth->label_fps_content->text()).hasMatch());
    EXPECT_NE(depth->label_fps_content->text(), QStringLiteral("0.00"));
    s.expect_all_views_usable();
    s.screenshot("situation_two_views");

    // The 3D button is on screen at this size: the point cloud is reachable.
    s.click(depth->btn_3d);
    EXPECT_TRUE(wait_until([&] { return s.cloud_frames >= 3; }, 30000));
    s.expect_all_views_usable();
}

void depth_rgb_three_views(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_tof);
    s.click(v.btn_switch_rgb);
    ASSERT_NE(v.colour_view(), nullptr);
    ASSERT_TRUE(s.more_rgb(3));
    ASSERT_TRUE(s.more_depth(3));
    for (QAbstractButton* info : {static_cast<QAbstractButton*>(v.depth_view()->btn_info),
                                  static_cast<QAbstractButton*>(v.infrared_view()->btn_info),
                                  static_cast<QAbstractButton*>(v.colour_view()->btn_info)})
        s.click(info);
    QTest::qWait(1300);
    // Every value of the three strips is readable, frame rates included.
    s.expect_all_views_usable();
    for (QLabel* fps : {v.depth_view()->label_fps_content, v.infrared_view()->label_fps_content,
                        v.colour_view()->label_fps_content})
        EXPECT_TRUE(fps->isVisible());
    // Expanding one view and restoring it keeps the bars usable too.
    s.click(v.colour_view()->btn_expend);
    s.expect_all_views_usable();
    s.click(v.colour_view()->btn_expend);
    s.expect_all_views_usable();
}

void depth_saves_with_first_run_defaults(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_tof);
    ASSERT_TRUE(s.more_depth(3));
    // A first run: the frame count is there, only the folder is chosen.
    EXPECT_EQ(v.tof_save_panel()->line_frame->text(), QStringLiteral("1"));
    EXPECT_EQ(v.line_frame->text(), QStringLiteral("1"));
    EXPECT_EQ(v.line_rgbd_frame->text(), QStringLiteral("1"));
    v.tof_save_panel()->line_file_path->setText(s.out.path());
    s.click(v.depth_view()->btn_photo);
    const QString done = s.wait_message(QStringLiteral("Save completed."), 30000);
    const QString folder = batch_folder(s.out.path(), QStringLiteral("tof"));
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_EQ(done, QStringLiteral("Save completed. Files in ") + folder);
    EXPECT_TRUE(wait_until([&] { return s.bubble_text() == done; }, 2000));
    for (const char* name : {"depth[1].png", "ir[1].png", "PointCloud[1].pcd", "Depth[1].png", "IR[1].png"})
        EXPECT_TRUE(QFile::exists(folder + '/' + name)) << name;
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/depth[2].png")));
    EXPECT_TRUE(broken_files(folder).isEmpty()) << broken_files(folder).join(' ').toStdString();
    // Saturated pixels are no points, as invalid ones (the near card
    // saturates in this scene).
    EXPECT_EQ(points_at_one_millimetre(folder + QStringLiteral("/PointCloud[1].pcd")), 0);
    // Another save is accepted at once.
    s.messages.clear();
    s.click(v.depth_view()->btn_photo);
    EXPECT_FALSE(s.wait_message(QStringLiteral("Save completed."), 30000).isEmpty());
}

void rgb_save_reports(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_rgb);
    ASSERT_TRUE(s.more_rgb(3));
    v.line_file_path->setText(s.out.path());
    s.click(v.colour_view()->btn_photo);
    const QString done = s.wait_message(QStringLiteral("Save completed."), 30000);
    const QString folder = batch_folder(s.out.path(), QStringLiteral("rgb"));
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_EQ(done, QStringLiteral("Save completed. Files in ") + folder);
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/rgb[1].png")));
    EXPECT_TRUE(broken_files(folder).isEmpty());
    s.expect_all_views_usable();
}

void rgbd_save_reports(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_rgbd_switch);
    ASSERT_TRUE(s.more_depth(3, 60000));
    ASSERT_TRUE(s.more_rgb(2, 60000));
    s.expect_all_views_usable();
    v.line_rgbd_file_path->setText(s.out.path());
    v.check_rgbd_pcd->setChecked(false);  // text clouds of 1920 x 1080 points take long
    s.click(v.colour_view()->btn_photo);
    const QString done = s.wait_message(QStringLiteral("Save completed."), 60000);
    const QString tof = batch_folder(s.out.path() + QStringLiteral("/RGBD"), QStringLiteral("tof"));
    const QString rgb = batch_folder(s.out.path() + QStringLiteral("/RGBD"), QStringLiteral("rgb"));
    EXPECT_EQ(done, QStringLiteral("Save completed. Files in ") + tof + QStringLiteral(" and ") + rgb);
    EXPECT_TRUE(QFile::exists(tof + QStringLiteral("/depth[1].png")));
    EXPECT_TRUE(QFile::exists(rgb + QStringLiteral("/rgb[1].png")));
}

void save_with_nothing_streaming(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    // The save button of the module row is there but nothing streams.
    ASSERT_TRUE(v.btn_save_picture->isVisible());
    s.click(v.btn_save_picture);
    EXPECT_EQ(s.messages.last(), text(viewer_text::save_nothing_streaming));
    EXPECT_EQ(s.bubble_text(), text(viewer_text::save_nothing_streaming));
    // Switched on, the same button saves.
    s.click(v.btn_switch_rgb);
    ASSERT_TRUE(s.more_rgb(2));
    v.line_file_path->setText(s.out.path());
    s.click(v.btn_save_picture);
    EXPECT_FALSE(s.wait_message(QStringLiteral("Save completed."), 30000).isEmpty());
}

void camera_lost_while_saving(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_tof);
    s.click(v.btn_switch_rgb);
    ASSERT_TRUE(s.more_depth(3));
    save_path_widget* panel = v.tof_save_panel();
    panel->line_frame->setText(QStringLiteral("30"));
    panel->btn_check_pcd->setChecked(false);
    panel->line_file_path->setText(s.out.path());
    s.click(v.depth_view()->btn_photo);
    // The request reaches the camera's object queued, after the click.
    QString folder;
    ASSERT_TRUE(wait_until([&] { return !(folder = batch_folder(s.out.path(), QStringLiteral("tof"))).isEmpty(); }));
    ASSERT_TRUE(wait_until([&] { return QFile::exists(folder + QStringLiteral("/Depth[3].png")); }, 20000));

    const qint64 lost_at = QDateTime::currentMSecsSinceEpoch();
    ASSERT_TRUE(pvx3::testing::unplug_camera(v.sdk_context()));
    ASSERT_FALSE(s.wait_message(text(viewer_text::camera_lost), 5000).isEmpty());
    EXPECT_LT(QDateTime::currentMSecsSinceEpoch() - lost_at, 2000);
    // The modules are off, no view pretends to stream, the view area says why.
    EXPECT_EQ(v.current_driver(), nullptr);
    EXPECT_EQ(v.depth_view(), nullptr);
    EXPECT_EQ(v.colour_view(), nullptr);
    EXPECT_TRUE(shows_icon(v.btn_switch_tof, kOff));
    EXPECT_TRUE(shows_icon(v.btn_switch_rgb, kOff));
    EXPECT_TRUE(v.view_notice()->isVisible());
    EXPECT_TRUE(v.view_notice()->text().startsWith(QStringLiteral("No frames are coming")));
    // The batch ends with one report: what was saved, what never came.
    const QString report = s.wait_message(QStringLiteral("Save stopped: the camera was disconnected."), 20000);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("(\\d+) of 30 frames were saved in (.*); (\\d+) were not captured"))
            .match(report);
    ASSERT_TRUE(m.hasMatch()) << report.toStdString();
    EXPECT_EQ(m.captured(2), folder);
    const int saved = m.captured(1).toInt();
    EXPECT_GE(saved, 3);
    for (int i = 1; i <= saved; ++i)
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/depth[%1].png").arg(i))) << i;
    EXPECT_TRUE(broken_files(folder).isEmpty());
    s.screenshot("situation_camera_lost");

    // "+" lists what is connected: nothing, and says so.
    s.messages.clear();
    s.click(v.btn_chose_module);
    EXPECT_EQ(s.messages.last(), text(viewer_text::no_camera));
    EXPECT_FALSE(v.table_module->isVisible());
    // The camera comes back: the list shows it by itself, and it opens.
    ASSERT_TRUE(pvx3::testing::plug_camera(v.sdk_context()));
    ASSERT_TRUE(wait_until([&] { return v.table_module->isVisible(); }, 3000));
    EXPECT_TRUE(s.messages.last().startsWith(QStringLiteral("Camera connected: Parvolux QZ30 Dual")));
    EXPECT_EQ(v.view_notice()->text(), text(viewer_text::view_notice_back));
    s.click_list_row();
    ASSERT_NE(v.current_driver(), nullptr);
    ASSERT_TRUE(wait_until([&] { return v.widget_module->isVisible() && v.parameter_panel(); }, 15000));
    EXPECT_FALSE(v.view_notice()->isVisible());
    s.count_frames();
    s.click(v.btn_switch_tof);
    EXPECT_TRUE(s.more_depth(3));
    // Saving works again.
    s.messages.clear();
    panel->line_frame->setText(QStringLiteral("1"));
    s.click(v.depth_view()->btn_photo);
    EXPECT_FALSE(s.wait_message(QStringLiteral("Save completed."), 30000).isEmpty());
}

void camera_lost_and_back_by_variables(situation& s)
{
    // PVX3_LOST_AFTER = 90 frame sets (3 s at 30 per second), back 1.5 s later.
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_tof);
    ASSERT_FALSE(s.wait_message(text(viewer_text::camera_lost), 30000).isEmpty());
    EXPECT_EQ(s.bubble_text(), text(viewer_text::camera_lost));
    EXPECT_TRUE(shows_icon(v.btn_switch_tof, kOff));
    EXPECT_TRUE(v.view_notice()->isVisible());
    s.screenshot("situation_camera_lost_message");
    ASSERT_TRUE(wait_until([&] { return v.table_module->isVisible(); }, 5000));
    s.click_list_row();
    ASSERT_TRUE(wait_until([&] { return v.widget_module->isVisible() && v.parameter_panel(); }, 15000));
    s.count_frames();
    s.click(v.btn_switch_tof);
    EXPECT_TRUE(s.more_depth(3));
}

void no_camera(situation& s)
{
    viewer& v = s.v();
    s.click(v.btn_chose_module);
    EXPECT_EQ(s.messages.last(), text(viewer_text::no_camera));
    EXPECT_EQ(s.bubble_text(), text(viewer_text::no_camera));
    EXPECT_FALSE(v.table_module->isVisible());
    // The bubble shows the whole message.
    QLabel* body = v.message_bubble()->label_title_2;
    EXPECT_GE(body->height(), body->heightForWidth(body->width()));
    s.screenshot("situation_no_camera");
    // A camera is plugged in: the list updates without another click.
    ASSERT_TRUE(pvx3::testing::plug_camera(v.sdk_context()));
    ASSERT_TRUE(wait_until([&] { return v.table_module->isVisible(); }, 3000));
    EXPECT_EQ(v.table_module->item(0, 0)->text(), QStringLiteral("Parvolux QZ30 Dual"));
    s.click_list_row();
    EXPECT_TRUE(wait_until([&] { return v.widget_module->isVisible(); }, 15000));
}

void camera_gone_before_opening(situation& s)
{
    viewer& v = s.v();
    s.click(v.btn_chose_module);
    ASSERT_TRUE(v.table_module->isVisible());
    // Unplugged between listing and choosing.
    ASSERT_TRUE(pvx3::testing::unplug_camera(v.sdk_context()));
    s.click_list_row();
    EXPECT_FALSE(s.wait_message(QStringLiteral("open device fail!"), 10000).isEmpty());
    // No dead end: the attempt is closed and "+" tells what is connected.
    EXPECT_TRUE(wait_until([&] { return v.current_driver() == nullptr; }, 5000));
    s.messages.clear();
    s.click(v.btn_chose_module);
    EXPECT_EQ(s.messages.last(), text(viewer_text::no_camera));
    ASSERT_TRUE(pvx3::testing::plug_camera(v.sdk_context()));
    ASSERT_TRUE(wait_until([&] { return v.table_module->isVisible(); }, 3000));
    s.click_list_row();
    EXPECT_TRUE(wait_until([&] { return v.widget_module->isVisible() && v.parameter_panel(); }, 15000));
}

void slow_camera(situation& s)
{
    // One frame set every 3 s: the views say when nothing comes.
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_tof);
    cloud_view_widget* depth = v.depth_view();
    ASSERT_NE(depth, nullptr);
    auto notice = [&]() -> QLabel* { return depth->findChild<QLabel*>(QStringLiteral("label_no_frames")); };
    ASSERT_TRUE(wait_until([&] { return s.depth_frames >= 1; }, 20000));
    ASSERT_TRUE(notice() == nullptr || !notice()->isVisible());
    ASSERT_TRUE(wait_until([&] { return notice() && notice()->isVisible(); }, 3500));
    EXPECT_EQ(notice()->text(), QStringLiteral("No frames are coming from the camera."));
    const QRect area(depth->widget_view->mapTo(depth, QPoint(0, 0)), depth->widget_view->size());
    EXPECT_TRUE(area.contains(notice()->geometry()));
    ASSERT_TRUE(s.more_depth(1, 10000));
    EXPECT_FALSE(notice()->isVisible()) << "a frame hides it";
}

void stream_fails_to_start(situation& s)
{
    // The reconstruction library cannot be loaded: colour streams, depth not.
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_rgb);
    ASSERT_TRUE(s.more_rgb(2));
    s.click(v.btn_switch_tof);
    ASSERT_FALSE(s.wait_message(text(viewer_text::open_stream_fail), 5000).isEmpty());
    EXPECT_TRUE(wait_until([&] { return v.depth_view() == nullptr; }, 2000));
    EXPECT_TRUE(shows_icon(v.btn_switch_tof, kOff));
    EXPECT_EQ(v.infrared_view(), nullptr);
    EXPECT_FALSE(v.current_driver()->m_tof_on);
    // The colour module keeps running.
    EXPECT_TRUE(shows_icon(v.btn_switch_rgb, kOn));
    EXPECT_NE(v.colour_view(), nullptr);
    EXPECT_TRUE(s.more_rgb(5));
    // The fusion fails alike and switches itself off.
    s.click(v.btn_switch_rgb);
    s.messages.clear();
    s.click(v.btn_rgbd_switch);
    ASSERT_FALSE(s.wait_message(text(viewer_text::open_stream_fail), 5000).isEmpty());
    EXPECT_TRUE(wait_until([&] { return v.depth_view() == nullptr && v.colour_view() == nullptr; }, 2000));
    EXPECT_TRUE(shows_icon(v.btn_rgbd_switch, kOff));
    EXPECT_FALSE(v.current_driver()->m_rgbd_on);
}

void integration_time_refused(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_tof);
    ASSERT_TRUE(s.more_depth(3));
    QSlider* slider = v.parameter_panel()->slider_integral_time;
    const int before = slider->value();
    slider->setValue(before == 1500 ? 1600 : 1500);
    EXPECT_TRUE(s.messages.last().startsWith(QStringLiteral("The integral_time cannot be changed at this time.")));
    QTest::qWait(driver_operate::kIntegralTimeSettleMs + 200);
    slider->setValue(before == 1700 ? 1800 : 1700);
    EXPECT_EQ(s.messages.last(),
              QStringLiteral("The camera refused to change the integral_time; the previous value is kept."));
    EXPECT_TRUE(wait_until([&] { return slider->value() == before; }, 2000)) << "the slider goes back";
}

void measure_paused_and_unmeasured_pixels(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_tof);
    ASSERT_TRUE(s.more_depth(5));
    cloud_view_widget* depth = v.depth_view();
    s.click(depth->btn_start);  // pause
    EXPECT_EQ(depth->btn_start->toolTip(), QStringLiteral("start"));
    const cv::Mat shown = depth->shown_depth().clone();
    ASSERT_FALSE(shown.empty());
    // A saturated, an invalid and a measured pixel of the paused frame, each
    // inside a 4 x 4 patch of its kind so a click lands on one like it.
    auto find = [&](auto pred) {
        for (int y = shown.rows / 4; y < shown.rows - 8; y += 2)
            for (int x = 8; x < shown.cols - 8; x += 2) {
                bool all = true;
                for (int dy = 0; dy < 4 && all; ++dy)
                    for (int dx = 0; dx < 4 && all; ++dx)
                        all = pred(shown.at<quint16>(y + dy, x + dx));
                if (all)
                    return QPoint(x, y);
            }
        return QPoint(-1, -1);
    };
    auto depth_text = [](quint16 d) {
        return d == 0   ? QStringLiteral("no measurement")
               : d == 1 ? QStringLiteral("saturated")
                        : QStringLiteral("%1 mm").arg(d);
    };
    const QPoint targets[] = {find([](quint16 d) { return d == 1; }), find([](quint16 d) { return d == 0; }),
                              find([](quint16 d) { return d > 300 && d < 7000; })};
    EXPECT_GE(targets[0].x(), 0) << "the near card saturates";
    ASSERT_GE(targets[2].x(), 0);
    const QSize image(shown.cols, shown.rows);
    for (const QPoint& pixel : targets) {
        if (pixel.x() < 0)
            continue;
        QPoint at;
        ASSERT_TRUE(view_image_to_area(pixel, depth->widget_view->size(), image, &at));
        // Image area to view coordinates: below the title bar; +1 keeps the
        // truncating mapping inside the patch.
        s.click(depth, QPoint(at.x() + 1, at.y() + depth->widget_title->height() + 1));
        ASSERT_TRUE(depth->widget_location->isVisible());
        const QStringList loc = depth->label_location_content->text().split('x');
        ASSERT_EQ(loc.size(), 2);
        const quint16 d = shown.at<quint16>(loc[1].toInt(), loc[0].toInt());
        EXPECT_EQ(depth_text(d), depth_text(shown.at<quint16>(pixel.y(), pixel.x()))) << "clicked into the patch";
        // The values of the paused frame, at once...
        EXPECT_EQ(depth->label_distance_content->text(), depth_text(d))
            << depth->label_location_content->text().toStdString();
        // ...and while more frames come.
        ASSERT_TRUE(s.more_depth(2));
        EXPECT_EQ(depth->label_distance_content->text(), depth_text(d));
        s.expect_all_views_usable();
    }
}

void disk_full(situation& s)
{
    s.open_camera();
    viewer& v = s.v();
    s.click(v.btn_switch_tof);
    ASSERT_TRUE(s.more_depth(3));
    v.tof_save_panel()->line_file_path->setText(s.out.path());
    QString report;
    {
        file_size_limit limit(64 * 1024);
        s.click(v.depth_view()->btn_photo);
        report = s.wait_message(QStringLiteral("Save failed:"), 30000);
    }
    EXPECT_TRUE(report.contains(QStringLiteral("could not be written"))) << report.toStdString();
    const QString folder = batch_folder(s.out.path(), QStringLiteral("tof"));
    ASSERT_FALSE(folder.isEmpty());
    // Whatever is there is whole; the rest is named in the message.
    EXPECT_TRUE(broken_files(folder).isEmpty()) << broken_files(folder).join(' ').toStdString();
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/PointCloud[1].pcd")));
    EXPECT_TRUE(report.contains(QStringLiteral("PointCloud[1].pcd")));
    EXPECT_EQ(s.bubble_text(), report);
    // With room again, the next save completes.
    s.messages.clear();
    s.click(v.depth_view()->btn_photo);
    EXPECT_FALSE(s.wait_message(QStringLiteral("Save completed."), 30000).isEmpty());
}

struct situation_row {
    const char* name;
    std::vector<std::pair<QByteArray, QByteArray>> env;
    void (*play)(situation&);
};

class ViewerSituations : public ::testing::TestWithParam<situation_row> {
};

TEST_P(ViewerSituations, WhatTheUserSees)
{
    situation s(GetParam().env);
    ASSERT_EQ(s.v().size(), kDefaultSize);
    GetParam().play(s);
}

const situation_row kRows[] = {
    {"depth_two_views", {}, depth_two_views},
    {"depth_rgb_three_views", {}, depth_rgb_three_views},
    {"depth_saves_with_first_run_defaults", {}, depth_saves_with_first_run_defaults},
    {"rgb_save_reports", {}, rgb_save_reports},
    {"rgbd_save_reports", {}, rgbd_save_reports},
    {"save_with_nothing_streaming", {}, save_with_nothing_streaming},
    {"camera_lost_while_saving", {}, camera_lost_while_saving},
    {"camera_lost_and_back_by_variables", {{"PVX3_LOST_AFTER", "90"}, {"PVX3_RECONNECT_MS", "1500"}}, camera_lost_and_back_by_variables},
    {"no_camera", {{"PVX3_NO_CAMERA", "1"}}, no_camera},
    {"camera_gone_before_opening", {}, camera_gone_before_opening},
    {"slow_camera", {{"PVX3_FRAME_DELAY_MS", "3000"}}, slow_camera},
    {"stream_fails_to_start",
     {{"PVX3_RECONSTRUCTION_LIBRARY", "/nonexistent/libqzreconstruction.so"}},
     stream_fails_to_start},
    {"integration_time_refused", {{"PVX3_REFUSE_SET_OPTION", "1"}}, integration_time_refused},
    {"measure_paused_and_unmeasured_pixels", {}, measure_paused_and_unmeasured_pixels},
    {"disk_full", {}, disk_full},
};

INSTANTIATE_TEST_SUITE_P(Rows, ViewerSituations, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<situation_row>& info) {
                             return std::string(info.param.name);
                         });

// --------------------------------------------------- window between runs

TEST(ViewerWindow, SizePositionAndMaximisedStateAreRemembered)
{
    widget_test::scratch_settings settings;
    {
        auto* v = new viewer();
        v->setGeometry(60, 50, 1000, 560);
        v->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(v));
        const QRect placed = v->geometry();
        v->close();  // deletes itself
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(load_window_geometry().isEmpty());

        viewer again;
        again.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
        EXPECT_EQ(again.size(), placed.size());
        EXPECT_EQ(again.pos(), placed.topLeft());
        again.showMaximized();
        QTest::qWait(100);
        store_window_geometry(again.saveGeometry());
    }
    viewer third;
    EXPECT_TRUE(third.windowState() & Qt::WindowMaximized);
}

// ----------------------------------------------------------- quit signals

// Runs in a child process started by SigtermEndsTheViewerLikeClosingIt.
TEST(ViewerQuitChild, StreamingAndSaving)
{
    if (qEnvironmentVariableIsEmpty("TESSIVUE_QUIT_CHILD"))
        GTEST_SKIP() << "runs only as the child of SigtermEndsTheViewerLikeClosingIt";
    set_save_settings_file(qEnvironmentVariable("TESSIVUE_QUIT_SETTINGS"));
    viewer::set_exit_on_destroy(true);
    auto* v = new viewer();
    v->resize(kDefaultSize);
    v->show();
    install_quit_signals([v] { v->close(); });
    QTest::mouseClick(v->btn_chose_module, Qt::LeftButton);
    const QRect row = v->table_module->visualItemRect(v->table_module->item(0, 0));
    QTest::mouseClick(v->table_module->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    ASSERT_TRUE(wait_until([&] { return v->parameter_panel() != nullptr; }, 15000));
    QTest::mouseClick(v->btn_switch_tof, Qt::LeftButton);
    // Images only: writing what was captured must fit in the two seconds.
    v->tof_save_panel()->line_frame->setText(QStringLiteral("30"));
    v->tof_save_panel()->btn_check_pcd->setChecked(false);
    v->tof_save_panel()->line_file_path->setText(qEnvironmentVariable("TESSIVUE_QUIT_FOLDER"));
    QTest::mouseClick(v->depth_view()->btn_photo, Qt::LeftButton);
    const QString folder = qEnvironmentVariable("TESSIVUE_QUIT_FOLDER");
    ASSERT_TRUE(wait_until(
        [&] {
            const QStringList d = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            return !d.isEmpty() && QFile::exists(folder + '/' + d[0] + QStringLiteral("/Depth[4].png"));
        },
        30000));
    std::printf("READY\n");
    std::fflush(stdout);
    QApplication::exec();
    std::printf("EXEC RETURNED\n");
    std::fflush(stdout);
    std::_Exit(3);
}

TEST(ViewerQuit, SigtermEndsTheViewerLikeClosingIt)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TESSIVUE_QUIT_CHILD", "1");
    env.insert("TESSIVUE_QUIT_FOLDER", tmp.path());
    env.insert("TESSIVUE_QUIT_SETTINGS", tmp.filePath("configuration.ini"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ViewerQuitChild.StreamingAndSaving"});
    ASSERT_TRUE(child.waitForStarted(10000));
    QByteArray out;
    ASSERT_TRUE(wait_until(
        [&] {
            child.waitForReadyRead(50);
            out += child.readAll();
            return out.contains("READY") || child.state() == QProcess::NotRunning;
        },
        90000));
    ASSERT_TRUE(out.contains("READY")) << out.toStdString();
    const qint64 sent = QDateTime::currentMSecsSinceEpoch();
    child.terminate();  // SIGTERM
    ASSERT_TRUE(child.waitForFinished(10000));
    const qint64 took = QDateTime::currentMSecsSinceEpoch() - sent;
    out += child.readAll();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_LT(took, 2000);
    EXPECT_FALSE(out.contains("EXEC RETURNED"));
    // The captured frames were written before the end...
    const QString folder = batch_folder(tmp.path(), QStringLiteral("tof"));
    ASSERT_FALSE(folder.isEmpty());
    int captured = 0;
    for (int i = 1; i <= 30; ++i) {
        if (!QFile::exists(folder + QStringLiteral("/Depth[%1].png").arg(i)))
            continue;
        ++captured;
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/depth[%1].png").arg(i))) << i;
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/ir[%1].png").arg(i))) << i;
    }
    EXPECT_GE(captured, 4);
    EXPECT_TRUE(broken_files(folder).isEmpty()) << broken_files(folder).join(' ').toStdString();
    // ...and the settings file holds the window and the save settings.
    QSettings stored(tmp.filePath("configuration.ini"), QSettings::IniFormat);
    EXPECT_FALSE(stored.value("window configuration/geometry").toByteArray().isEmpty());
    EXPECT_EQ(stored.value("save configuration/frame").toInt(), 30);
}

}  // namespace
