// Module control on the virtual camera: listing, opening, the three switches,
// closing views and the module, and closing the window.
#include <QDateTime>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "cloud_view_widget.h"
#include "rgb_view_widget.h"
#include "save_path_widget.h"
#include "view_grid.h"
#include "viewer_fixture.h"
#include "widget_ir.h"

namespace {

using widget_test::shows_icon;
using widget_test::wait_until;

const char* const kOn = ":/zavire/image/switch_on.png";
const char* const kOff = ":/zavire/image/switch_off.png";

class ViewerSwitches : public widget_test::viewer_fixture {
protected:
    void expect_grid(int columns, int aw, int ah, std::initializer_list<QWidget*> containers)
    {
        viewer& v = *window;
        const QVector<QRect> cells = view_grid_cells(v.widget_view->width(), v.widget_view->height(), columns,
                                                     aw, ah, static_cast<int>(containers.size()));
        int i = 0;
        for (QWidget* c : containers) {
            EXPECT_FALSE(c->isHidden()) << c->objectName().toStdString();
            EXPECT_EQ(c->geometry(), cells[i]) << c->objectName().toStdString();
            ++i;
        }
    }
};

TEST_F(ViewerSwitches, ModuleListShowsTheCameraAndToggles)
{
    viewer& v = *window;
    QTest::mouseClick(v.btn_chose_module, Qt::LeftButton);
    ASSERT_TRUE(v.table_module->isVisible());
    ASSERT_EQ(v.table_module->rowCount(), 1);
    // The virtual camera's module name is "DUAL-T4".
    EXPECT_EQ(v.table_module->item(0, 0)->text(), "Parvolux QZ30 Dual");
    EXPECT_EQ(v.table_module->rowHeight(0), 30);
    EXPECT_EQ(v.table_module->height(), 30);
    QTest::mouseClick(v.btn_chose_module, Qt::LeftButton);
    EXPECT_FALSE(v.table_module->isVisible());
    EXPECT_EQ(v.current_driver(), nullptr);
}

TEST_F(ViewerSwitches, ConstructionShowsVersionsWithoutMessages)
{
    viewer& v = *window;
    EXPECT_EQ(v.windowTitle(), "Tessivue Viewer");
    EXPECT_EQ(v.label_sdk_version_content->text(), "v0.6.0.3");
    EXPECT_EQ(v.label_viewer_version_content->text(), "v" + QCoreApplication::applicationVersion());
    EXPECT_FALSE(messages.texts().contains("SDK version is not match."));
    EXPECT_TRUE(v.widget_module->isHidden());
    EXPECT_TRUE(v.btn_save_picture->isHidden());
}

TEST_F(ViewerSwitches, DeviceReportFillsTheProductInformation)
{
    open_camera();
    viewer& v = *window;
    EXPECT_EQ(v.label_current_module->text(), "QZ30 Dual");
    EXPECT_EQ(v.label_pro_name_content->text(), "QZ30 Dual");
    EXPECT_EQ(v.label_pro_num_content->text(), "PVX-T4-0640");
    EXPECT_EQ(v.label_firmware_version_content->text(), "v1.3.2");
    EXPECT_FALSE(v.widget_tof->isHidden());
    EXPECT_FALSE(v.widget_rgb_module->isHidden());
    EXPECT_FALSE(v.widget_rgbd_module->isHidden());
    EXPECT_FALSE(v.btn_save_picture->isHidden());
    EXPECT_GT(v.combo_resolution->count(), 0);
    // Clicking the list button while a module is open does nothing.
    QTest::mouseClick(v.btn_chose_module, Qt::LeftButton);
    EXPECT_FALSE(v.table_module->isVisible());
}

TEST_F(ViewerSwitches, SwitchClickedBeforeTheParameterPanelIsHarmless)
{
    viewer& v = *window;
    QTest::mouseClick(v.btn_chose_module, Qt::LeftButton);
    const QRect row = v.table_module->visualItemRect(v.table_module->item(0, 0));
    QTest::mouseClick(v.table_module->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    ASSERT_EQ(v.parameter_panel(), nullptr);
    // No event has been processed: the reports are still queued.
    v.slot_btn_tof_switch();
    v.slot_btn_rgbd_switch();
    v.slot_btn_rgbd_switch();
    ASSERT_TRUE(wait_until([&] { return v.parameter_panel() != nullptr; }, 10000));
    count_frames();
    if (!v.current_driver()->m_tof_on)
        QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    EXPECT_TRUE(wait_depth_frames(3));
}

TEST_F(ViewerSwitches, DepthOnShowsDepthAndIrSideBySide)
{
    open_camera();
    viewer& v = *window;
    QSignalSpy mode(&v, &viewer::sig_change_mode);
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    ASSERT_TRUE(v.current_driver()->m_tof_on);
    ASSERT_NE(v.depth_view(), nullptr);
    ASSERT_NE(v.infrared_view(), nullptr);
    EXPECT_EQ(mode.count(), 1);
    EXPECT_EQ(mode.at(0).at(0).toInt(), 0);
    EXPECT_TRUE(shows_icon(v.btn_switch_tof, kOn));
    EXPECT_TRUE(v.btn_tof_expend->isEnabled());
    EXPECT_TRUE(v.btn_save_picture->isEnabled());
    expect_grid(2, 4, 3, {v.widget_point_cloud, v.widget_ir});
    EXPECT_TRUE(wait_depth_frames(3));
    EXPECT_TRUE(wait_until([&] { return ir_frames >= 3; }));

    // Off again: both views go, the stream stops.
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    EXPECT_FALSE(v.current_driver()->m_tof_on);
    EXPECT_EQ(v.depth_view(), nullptr);
    EXPECT_EQ(v.infrared_view(), nullptr);
    EXPECT_TRUE(v.widget_point_cloud->isHidden());
    EXPECT_TRUE(v.widget_ir->isHidden());
    EXPECT_TRUE(shows_icon(v.btn_switch_tof, kOff));
    EXPECT_FALSE(v.btn_tof_expend->isEnabled());
    EXPECT_FALSE(v.btn_save_picture->isEnabled());
}

// Icons come from one shared set: a switch shows the same icon object each
// time it turns on or off, and views made anew show the same icons as the
// ones before them. New icon objects would put their scaled pixmaps into
// Qt's pixmap cache under new keys at every toggle.
TEST_F(ViewerSwitches, TogglingReusesTheSameIcons)
{
    open_camera();
    viewer& v = *window;
    const auto view_icons = [&] {
        std::map<QString, qint64> keys;
        const QWidget* views[] = {v.depth_view(), v.infrared_view()};
        for (const QWidget* view : views)
            for (const QAbstractButton* b : view->findChildren<QAbstractButton*>())
                if (!b->icon().isNull())
                    keys[QLatin1String(view->metaObject()->className()) + '/' + b->objectName()] = b->icon().cacheKey();
        return keys;
    };
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    ASSERT_NE(v.depth_view(), nullptr);
    const qint64 on = v.btn_switch_tof->icon().cacheKey();
    const auto first = view_icons();
    // Depth view: ten buttons with a picture and the region tools; IR: four.
    EXPECT_GE(first.size(), 14u);
    EXPECT_TRUE(shows_icon(v.depth_view()->btn_photo, ":/zavire/image/save.png"));
    EXPECT_TRUE(shows_icon(v.depth_view()->btn_2d, ":/zavire/image/2d_on.png"));
    EXPECT_TRUE(shows_icon(v.infrared_view()->btn_photo, ":/zavire/image/save.png"));
    EXPECT_TRUE(shows_icon(v.infrared_view()->btn_expend, ":/zavire/image/expend.png"));

    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    const qint64 off = v.btn_switch_tof->icon().cacheKey();
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    ASSERT_NE(v.depth_view(), nullptr);
    EXPECT_EQ(v.btn_switch_tof->icon().cacheKey(), on);
    EXPECT_EQ(view_icons(), first);
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    EXPECT_EQ(v.btn_switch_tof->icon().cacheKey(), off);
}

// The views' close buttons draw their picture from the window's style sheet
// (one parsed picture for every view made): a plain grey square would mean
// the rule no longer reaches them.
TEST_F(ViewerSwitches, ViewCloseButtonsShowTheirPicture)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    ASSERT_NE(v.depth_view(), nullptr);
    ASSERT_NE(v.colour_view(), nullptr);
    QPushButton* const buttons[] = {v.depth_view()->btn_close, v.colour_view()->btn_close};
    for (QPushButton* button : buttons) {
        ASSERT_TRUE(button->isVisible());
        const QImage shot = button->grab().toImage();
        int drawn = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                drawn += shot.pixelColor(x, y) != QColor(94, 94, 94);
        EXPECT_GT(drawn, shot.width() * shot.height() / 20) << button->parentWidget()->objectName().toStdString();
    }
}

TEST_F(ViewerSwitches, RgbWithDepthCentresTheThirdView)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    ASSERT_TRUE(v.current_driver()->m_rgb_on);
    ASSERT_NE(v.colour_view(), nullptr);
    EXPECT_TRUE(v.rgb_module_is_on());
    EXPECT_TRUE(shows_icon(v.btn_switch_rgb, kOn));
    EXPECT_TRUE(v.btn_rgbexpend->isEnabled());
    expect_grid(2, 4, 3, {v.widget_point_cloud, v.widget_rgb, v.widget_ir});
    // The third cell is centred alone in the second row.
    const QRect third = v.widget_ir->geometry();
    EXPECT_EQ(third.x(), (v.widget_view->width() - (third.width() + 10)) / 2 + 5);
    EXPECT_TRUE(wait_rgb_frames(3));
    EXPECT_TRUE(wait_depth_frames(3));

    // RGB off leaves depth and IR in two columns.
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    EXPECT_FALSE(v.current_driver()->m_rgb_on);
    EXPECT_EQ(v.colour_view(), nullptr);
    EXPECT_FALSE(v.rgb_module_is_on());
    EXPECT_TRUE(shows_icon(v.btn_switch_rgb, kOff));
    expect_grid(2, 4, 3, {v.widget_point_cloud, v.widget_ir});
    EXPECT_TRUE(wait_depth_frames(3));
}

TEST_F(ViewerSwitches, RgbAloneFillsOneColumn)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    ASSERT_NE(v.colour_view(), nullptr);
    expect_grid(1, 4, 3, {v.widget_rgb});
    EXPECT_TRUE(v.widget_point_cloud->isHidden());
    EXPECT_TRUE(wait_rgb_frames(3));
}

TEST_F(ViewerSwitches, RgbdLocksControlsAndDropsTheIrView)
{
    open_camera();
    viewer& v = *window;
    v.check_flip_ver->setChecked(true);
    QSignalSpy created(&v, &viewer::sig_resolution_change);
    QSignalSpy mode(&v, &viewer::sig_change_mode);
    QTest::mouseClick(v.btn_rgbd_switch, Qt::LeftButton);
    ASSERT_TRUE(v.current_driver()->m_rgbd_on);
    // The IR view was created (one report) and the colour view (another),
    // then the IR view was closed before the first layout.
    EXPECT_EQ(created.count(), 2);
    EXPECT_EQ(v.infrared_view(), nullptr);
    EXPECT_TRUE(v.widget_ir->isHidden());
    ASSERT_NE(v.depth_view(), nullptr);
    ASSERT_NE(v.colour_view(), nullptr);
    EXPECT_EQ(mode.count(), 1);  // ToF was off
    EXPECT_EQ(v.depth_view()->label_title->text(), "RGBD");
    expect_grid(2, 16, 9, {v.widget_point_cloud, v.widget_rgb});

    EXPECT_FALSE(v.check_flip_ver->isChecked());
    EXPECT_FALSE(v.check_flip_ver->isCheckable());
    EXPECT_FALSE(v.check_flip_hor->isCheckable());
    QTest::mouseClick(v.check_flip_ver, Qt::LeftButton);
    EXPECT_FALSE(v.check_flip_ver->isChecked());
    for (QWidget* w : {static_cast<QWidget*>(v.line_file_path), static_cast<QWidget*>(v.line_frame),
                       static_cast<QWidget*>(v.btn_select), static_cast<QWidget*>(v.combo_resolution),
                       static_cast<QWidget*>(v.parameter_panel()->combo_resolution),
                       static_cast<QWidget*>(v.tof_save_panel()->line_frame)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(v.btn_rgbd_expend->isEnabled());
    EXPECT_TRUE(shows_icon(v.btn_rgbd_switch, kOn));
    EXPECT_TRUE(shows_icon(v.btn_switch_tof, kOn));
    EXPECT_TRUE(shows_icon(v.btn_switch_rgb, kOn));

    // The depth and colour switches do nothing during fusion.
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    EXPECT_TRUE(v.current_driver()->m_rgbd_on);
    EXPECT_NE(v.depth_view(), nullptr);
    EXPECT_TRUE(wait_depth_frames(3));
    EXPECT_TRUE(wait_rgb_frames(3));

    QTest::mouseClick(v.btn_rgbd_switch, Qt::LeftButton);
    EXPECT_FALSE(v.current_driver()->m_rgbd_on);
    EXPECT_FALSE(v.current_driver()->m_tof_on);
    EXPECT_FALSE(v.current_driver()->m_rgb_on);
    EXPECT_EQ(v.depth_view(), nullptr);
    EXPECT_EQ(v.colour_view(), nullptr);
    EXPECT_TRUE(v.check_flip_ver->isCheckable());
    EXPECT_TRUE(v.parameter_panel()->combo_resolution->isEnabled());
    EXPECT_FALSE(v.btn_rgbd_expend->isEnabled());
    EXPECT_TRUE(shows_icon(v.btn_rgbd_switch, kOff));
    EXPECT_TRUE(shows_icon(v.btn_switch_tof, kOff));
    EXPECT_TRUE(shows_icon(v.btn_switch_rgb, kOff));
}

TEST_F(ViewerSwitches, RgbdWhileDepthRunsKeepsTheMode)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    QSignalSpy mode(&v, &viewer::sig_change_mode);
    QTest::mouseClick(v.btn_rgbd_switch, Qt::LeftButton);
    EXPECT_EQ(mode.count(), 0);
    EXPECT_TRUE(v.current_driver()->m_rgbd_on);
    EXPECT_EQ(v.infrared_view(), nullptr);
}

TEST_F(ViewerSwitches, ViewCloseButtonsEndTheirStreams)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    ASSERT_TRUE(wait_depth_frames(2));

    QTest::mouseClick(v.colour_view()->btn_close, Qt::LeftButton);
    EXPECT_EQ(v.colour_view(), nullptr);
    EXPECT_FALSE(v.current_driver()->m_rgb_on);
    EXPECT_TRUE(v.widget_rgb->isHidden());
    EXPECT_TRUE(shows_icon(v.btn_switch_rgb, kOff));

    QTest::mouseClick(v.infrared_view()->btn_close, Qt::LeftButton);
    EXPECT_EQ(v.infrared_view(), nullptr);
    EXPECT_TRUE(v.widget_ir->isHidden());
    // Depth alone in one cell of a one-container grid.
    EXPECT_TRUE(v.current_driver()->m_tof_on);

    QTest::mouseClick(v.depth_view()->btn_close, Qt::LeftButton);
    EXPECT_EQ(v.depth_view(), nullptr);
    EXPECT_FALSE(v.current_driver()->m_tof_on);
    EXPECT_TRUE(v.widget_point_cloud->isHidden());
    EXPECT_TRUE(shows_icon(v.btn_switch_tof, kOff));
    // The switches work again afterwards.
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    EXPECT_NE(v.depth_view(), nullptr);
    EXPECT_TRUE(wait_depth_frames(2));
}

TEST_F(ViewerSwitches, ExpandingOneViewHidesTheOthers)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    v.depth_view()->set_expend(true);
    EXPECT_TRUE(v.widget_rgb->isHidden());
    EXPECT_TRUE(v.widget_ir->isHidden());
    // One container left: one column.
    expect_grid(1, 4, 3, {v.widget_point_cloud});
    v.depth_view()->set_expend(false);
    EXPECT_FALSE(v.widget_rgb->isHidden());
    EXPECT_FALSE(v.widget_ir->isHidden());
    expect_grid(2, 4, 3, {v.widget_point_cloud, v.widget_rgb, v.widget_ir});
}

TEST_F(ViewerSwitches, ModuleCloseReturnsToNoModule)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    ASSERT_TRUE(wait_depth_frames(2));
    parameter_setting_widget* panel = v.parameter_panel();

    QTest::mouseClick(v.btn_close_module, Qt::LeftButton);
    EXPECT_EQ(v.current_driver(), nullptr);
    EXPECT_EQ(v.depth_view(), nullptr);
    EXPECT_EQ(v.infrared_view(), nullptr);
    EXPECT_EQ(v.colour_view(), nullptr);
    EXPECT_TRUE(v.widget_module->isHidden());
    EXPECT_TRUE(v.widget_point_cloud->isHidden());
    EXPECT_TRUE(v.widget_rgb->isHidden());
    EXPECT_TRUE(v.widget_ir->isHidden());

    // The panels survive and serve the next driver.
    open_camera();
    EXPECT_EQ(v.parameter_panel(), panel);
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    EXPECT_TRUE(wait_depth_frames(2));
}

TEST_F(ViewerSwitches, FilterAndFlipsReachTheCamera)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    v.check_fillter->setChecked(!v.check_fillter->isChecked());
    bool on = false;
    ASSERT_TRUE(v.current_driver()->get_filter(on));
    EXPECT_EQ(on, v.check_fillter->isChecked());
}

// ---------------------------------------------------------------- closing

// Runs in a child process started by WindowCloseEndsTheProcess.
TEST(ViewerCloseChild, CloseWhileStreaming)
{
    if (qEnvironmentVariableIsEmpty("TESSIVUE_CLOSE_CHILD"))
        GTEST_SKIP() << "runs only as the child of WindowCloseEndsTheProcess";
    widget_test::scratch_settings settings;
    viewer::set_exit_on_destroy(true);
    auto* v = new viewer();
    v->show();
    QTest::mouseClick(v->btn_chose_module, Qt::LeftButton);
    const QRect row = v->table_module->visualItemRect(v->table_module->item(0, 0));
    QTest::mouseClick(v->table_module->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    ASSERT_TRUE(wait_until([&] { return v->parameter_panel() != nullptr; }, 10000));
    QTest::mouseClick(v->btn_switch_tof, Qt::LeftButton);
    QTest::mouseClick(v->btn_switch_rgb, Qt::LeftButton);
    int frames = 0;
    QObject::connect(v->current_driver(), &driver_operate::sig_update_date_vec, v, [&] { ++frames; });
    ASSERT_TRUE(wait_until([&] { return frames >= 3; }, 15000));
    QTimer::singleShot(0, v, [v] {
        std::printf("CLOSING %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        std::fflush(stdout);
        v->close();
    });
    QApplication::exec();
    // Reaching this line means the window's destruction did not end the process.
    std::printf("EXEC RETURNED\n");
    std::fflush(stdout);
    std::_Exit(3);
}

TEST(ViewerClose, WindowCloseEndsTheProcessWithinOneSecond)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TESSIVUE_CLOSE_CHILD", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=ViewerCloseChild.CloseWhileStreaming"});
    ASSERT_TRUE(child.waitForStarted(10000));
    ASSERT_TRUE(child.waitForFinished(60000)) << child.readAll().toStdString();
    const qint64 ended = QDateTime::currentMSecsSinceEpoch();
    const QString out = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    const int at = out.indexOf("CLOSING ");
    ASSERT_GE(at, 0) << out.toStdString();
    const qint64 closing = out.mid(at + 8).section('\n', 0, 0).trimmed().toLongLong();
    EXPECT_LT(ended - closing, 1000) << out.toStdString();
    EXPECT_FALSE(out.contains("EXEC RETURNED"));
}

}  // namespace
