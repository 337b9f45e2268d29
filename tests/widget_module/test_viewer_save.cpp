// The window's save checks and folder choice on the virtual camera.
#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/save_settings_store.h"
#include "folder_dialog.h"
#include "save_path_widget.h"
#include "viewer_fixture.h"

namespace {

const char* const kEnterFrame = "please enter frame !";
const char* const kRange = "Please enter number between 1 and 99 !";
const char* const kSelectPath = "please select file path";
const char* const kChinese = "path cannot contain chinese and chinese characters !";

class ViewerSave : public widget_test::viewer_fixture {
protected:
    void TearDown() override
    {
        set_folder_chooser({});
        viewer_fixture::TearDown();
    }

    QTemporaryDir out;
};

TEST_F(ViewerSave, NothingWithoutAModule)
{
    viewer& v = *window;
    QSignalSpy tof(&v, &viewer::sig_save_tof);
    QSignalSpy rgb(&v, &viewer::sig_save_rgb);
    v.OnBtnSaveClicked();
    v.OnRGBWidgetSaveBtnClicked();
    v.OnTOFWidgetSaveBtnClicked();
    EXPECT_EQ(tof.count() + rgb.count(), 0);
    EXPECT_TRUE(messages.texts().isEmpty());
}

struct rgb_case {
    const char* name;
    const char* frame;
    const char16_t* path;
    const char* message;  // null: accepted
};

class ViewerRgbSave : public ViewerSave, public ::testing::WithParamInterface<rgb_case> {
};

TEST_P(ViewerRgbSave, ChecksFrameAndFolder)
{
    const rgb_case& c = GetParam();
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_rgb, Qt::LeftButton);
    const QString path = c.path ? QString::fromUtf16(c.path) : out.path();
    v.line_frame->setText(QString::fromUtf8(c.frame));
    v.line_file_path->setText(path);
    QSignalSpy spy(&v, &viewer::sig_save_rgb);
    QTest::mouseClick(v.btn_save_picture, Qt::LeftButton);
    if (c.message) {
        EXPECT_EQ(spy.count(), 0) << c.name;
        EXPECT_EQ(messages.last().toStdString(), c.message) << c.name;
        EXPECT_EQ(load_save_settings().RGBFrame, 0) << c.name;
    } else {
        ASSERT_EQ(spy.count(), 1) << c.name;
        EXPECT_EQ(spy.at(0).at(0).toInt(), QString(c.frame).toInt());
        EXPECT_EQ(spy.at(0).at(1).toString(), path);
        const save_settings stored = load_save_settings();
        EXPECT_EQ(stored.RGBFrame, QString(c.frame).toInt());
        EXPECT_EQ(stored.rgb_file_path, path);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Checks, ViewerRgbSave,
    ::testing::Values(rgb_case{"accepted", "2", nullptr, nullptr},
                      rgb_case{"empty frame", "", nullptr, kEnterFrame},
                      // Regression: a count of 0 used to pass and save nothing.
                      rgb_case{"zero frames refused", "0", nullptr, kRange},
                      rgb_case{"ideograph folder", "2", u"/tmp/\u4e2d\u6587", kChinese},
                      rgb_case{"full-width comma", "2", u"/tmp/a\uff0cb", kChinese}));

TEST_F(ViewerSave, DepthSaveUsesThePanelAndStoresIt)
{
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_switch_tof, Qt::LeftButton);
    save_path_widget* panel = v.tof_save_panel();
    panel->line_frame->setText("");
    QSignalSpy spy(&v, &viewer::sig_save_tof);
    QTest::mouseClick(v.btn_save_picture, Qt::LeftButton);
    EXPECT_EQ(messages.last().toStdString(), kEnterFrame);
    EXPECT_EQ(spy.count(), 0);

    panel->line_frame->setText("1");
    panel->check_depth->setChecked(true);
    panel->check_png->setChecked(false);
    panel->btn_check_pcd->setChecked(true);
    panel->line_file_path->setText(out.path());
    QTest::mouseClick(v.btn_save_picture, Qt::LeftButton);
    ASSERT_EQ(spy.count(), 1);
    // (frame, depth, point cloud, IR, folder)
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_TRUE(spy.at(0).at(1).toBool());
    EXPECT_TRUE(spy.at(0).at(2).toBool());
    EXPECT_FALSE(spy.at(0).at(3).toBool());
    EXPECT_EQ(spy.at(0).at(4).toString(), out.path());
    const save_settings stored = load_save_settings();
    EXPECT_EQ(stored.frame, 1);
    EXPECT_TRUE(stored.depth);
    EXPECT_FALSE(stored.ir);
    EXPECT_TRUE(stored.pcl);
    EXPECT_EQ(stored.file_path, out.path());

    // The depth and IR views' save buttons take the same route.
    v.OnIRWidgetSaveBtnClicked();
    v.OnTOFWidgetSaveBtnClicked();
    EXPECT_EQ(spy.count(), 3);
}

struct rgbd_case {
    const char* name;
    const char* frame;
    const char16_t* path;
    const char* message;
};

class ViewerRgbdSave : public ViewerSave, public ::testing::WithParamInterface<rgbd_case> {
};

TEST_P(ViewerRgbdSave, ChecksFrameAndFolder)
{
    const rgbd_case& c = GetParam();
    open_camera();
    viewer& v = *window;
    QTest::mouseClick(v.btn_rgbd_switch, Qt::LeftButton);
    ASSERT_TRUE(v.current_driver()->m_rgbd_on);
    v.line_rgbd_frame->setText(QString::fromUtf8(c.frame));
    v.line_rgbd_file_path->setText(c.path ? QString::fromUtf16(c.path) : out.path());
    v.check_rgbd_pcd->setChecked(false);
    QSignalSpy spy(&v, &viewer::sig_save_rgbd);
    QTest::mouseClick(v.btn_save_picture, Qt::LeftButton);
    if (c.message) {
        EXPECT_EQ(spy.count(), 0) << c.name;
        EXPECT_EQ(messages.last().toStdString(), c.message) << c.name;
        EXPECT_EQ(load_save_settings().RGBDFrame, 0) << c.name;
        return;
    }
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 3);
    EXPECT_TRUE(spy.at(0).at(1).toBool());
    EXPECT_FALSE(spy.at(0).at(2).toBool());
    EXPECT_EQ(spy.at(0).at(3).toString(), out.path());
    const save_settings stored = load_save_settings();
    EXPECT_EQ(stored.RGBDFrame, 3);
    EXPECT_TRUE(stored.RGBD);
    EXPECT_FALSE(stored.RGBDPcl);
    EXPECT_EQ(stored.rgbd_file_path, out.path());
    // The views' save buttons save the fusion too while it runs.
    v.OnTOFWidgetSaveBtnClicked();
    v.OnRGBWidgetSaveBtnClicked();
    EXPECT_EQ(spy.count(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, ViewerRgbdSave,
    ::testing::Values(rgbd_case{"accepted", "3", nullptr, nullptr},
                      rgbd_case{"empty frame", "", nullptr, kEnterFrame},
                      rgbd_case{"zero", "0", nullptr, kRange},
                      rgbd_case{"hundred", "100", nullptr, kRange},
                      rgbd_case{"not a number", "abc", nullptr, kRange},
                      rgbd_case{"no folder", "3", u"", kSelectPath},
                      rgbd_case{"plain double quote", "3", u"/tmp/\"q\"", kChinese},
                      rgbd_case{"ideographic full stop", "3", u"/tmp/a\u3002", kChinese}));

TEST_F(ViewerSave, ChosenColourFolderIsStoredAlone)
{
    viewer& v = *window;
    set_folder_chooser([this](QWidget*, const QString& title, const QString&) {
        EXPECT_EQ(title, "save_path");
        return out.path();
    });
    QTest::mouseClick(v.btn_select, Qt::LeftButton);
    EXPECT_EQ(v.line_file_path->text(), out.path());
    save_settings stored = load_save_settings();
    EXPECT_EQ(stored.rgb_file_path, out.path());
    EXPECT_TRUE(stored.rgbd_file_path.isEmpty());

    QTest::mouseClick(v.btn_rgbd_select, Qt::LeftButton);
    EXPECT_EQ(v.line_rgbd_file_path->text(), out.path());
    stored = load_save_settings();
    EXPECT_EQ(stored.rgbd_file_path, out.path());
    EXPECT_EQ(stored.frame, 0);
}

TEST_F(ViewerSave, RefusedOrCancelledFolderKeepsTheField)
{
    viewer& v = *window;
    const QString before = v.line_rgbd_file_path->text();
    set_folder_chooser([](QWidget*, const QString&, const QString&) { return QString(); });
    QTest::mouseClick(v.btn_rgbd_select, Qt::LeftButton);
    EXPECT_EQ(v.line_rgbd_file_path->text(), before);
    set_folder_chooser(
        [](QWidget*, const QString&, const QString&) { return QString::fromUtf16(u"/tmp/\u3010x\u3011"); });
    QTest::mouseClick(v.btn_rgbd_select, Qt::LeftButton);
    EXPECT_EQ(v.line_rgbd_file_path->text(), before);
    EXPECT_EQ(messages.last().toStdString(), kChinese);
    EXPECT_TRUE(load_save_settings().rgbd_file_path.isEmpty());
}

}  // namespace
