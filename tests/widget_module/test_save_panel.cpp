// The ToF save panel and the save-folder check.
#include <QCoreApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "app/save_settings_store.h"
#include "folder_dialog.h"
#include "is_chinese_path.h"
#include "save_path_widget.h"
#include "widget_test_support.h"

namespace {

const char* const kChinese = "path cannot contain chinese and chinese characters !";

struct path_case {
    const char* name;
    const char16_t* path;
    bool refused;
};

class ChinesePath : public ::testing::TestWithParam<path_case> {
};

TEST_P(ChinesePath, RefusesIdeographsAndFullWidthMarks)
{
    const path_case& c = GetParam();
    EXPECT_EQ(is_chinese_path(QString::fromUtf16(c.path)), c.refused) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ChinesePath,
    ::testing::Values(
        path_case{"plain", u"/home/user/saves", false},
        path_case{"accented latin", u"/home/jos\u00e9/r\u00e9sum\u00e9", false},
        path_case{"first ideograph", u"/data/\u4e00", true},
        path_case{"last ideograph", u"/data/\u9fa5", true},
        path_case{"just past the range", u"/data/\u9fa6", false},
        path_case{"just below the range", u"/data/\u4dff", false},
        path_case{"plain double quote", u"/data/\"x\"", true},
        path_case{"full-width left parenthesis", u"/data/a\uff08b", true},
        path_case{"full-width right parenthesis", u"/data/a\uff09b", true},
        path_case{"full-width comma", u"/data/a\uff0cb", true},
        path_case{"ideographic full stop", u"/data/a\u3002", true},
        path_case{"full-width question mark", u"/data/\uff1f", true},
        path_case{"full-width semicolon", u"/data/\uff1b", true},
        path_case{"left double quotation mark", u"/data/\u201c", true},
        path_case{"ideographic comma", u"/data/\u3001", true},
        path_case{"ellipsis", u"/data/\u2026", true},
        path_case{"lenticular brackets", u"/data/\u3010x\u3011", true},
        path_case{"angle brackets", u"/data/\u300ax\u300b", true},
        path_case{"full-width yen", u"/data/\uffe5", true},
        path_case{"middle dot", u"/data/a\u00b7b", true},
        path_case{"ascii parenthesis", u"/data/a(b)", false}));

class SavePanel : public ::testing::Test {
protected:
    widget_test::scratch_settings settings;
    widget_test::message_catcher messages;
};

TEST_F(SavePanel, FreshStoreKeepsDefaults)
{
    save_path_widget panel;
    EXPECT_TRUE(panel.check_depth->isChecked());
    EXPECT_TRUE(panel.check_png->isChecked());
    EXPECT_TRUE(panel.btn_check_pcd->isChecked());
    EXPECT_EQ(panel.line_file_path->text(), QCoreApplication::applicationDirPath());
    EXPECT_TRUE(panel.line_file_path->isReadOnly());
    EXPECT_EQ(panel.line_file_path->placeholderText(), "please select file path");
    EXPECT_EQ(panel.check_png->text(), "IR");
    EXPECT_EQ(panel.size(), QSize(290, 100));
}

TEST_F(SavePanel, StoredFlagsIgnoredWithoutFrameCount)
{
    {
        QSettings ini(settings.file(), QSettings::IniFormat);
        ini.setValue("save configuration/depth", 0);
        ini.setValue("save configuration/ir", 0);
        ini.setValue("save configuration/pcl", 0);
    }
    save_path_widget panel;
    EXPECT_TRUE(panel.check_depth->isChecked());
    EXPECT_TRUE(panel.check_png->isChecked());
    EXPECT_TRUE(panel.btn_check_pcd->isChecked());
}

TEST_F(SavePanel, StoredSettingsAreShown)
{
    save_settings s;
    s.frame = 7;
    s.depth = false;
    s.ir = true;
    s.pcl = false;
    s.file_path = settings.folder();
    store_tof_settings(s);
    save_path_widget panel;
    EXPECT_EQ(panel.line_frame->text(), "7");
    EXPECT_FALSE(panel.check_depth->isChecked());
    EXPECT_TRUE(panel.check_png->isChecked());
    EXPECT_FALSE(panel.btn_check_pcd->isChecked());
    EXPECT_EQ(panel.line_file_path->text(), settings.folder());
}

TEST_F(SavePanel, FrameFieldTakesOnlyShortNumbers)
{
    // The 1-to-30 validator refuses non-digits and a third digit; two-digit
    // values above 30 pass as intermediate input and validate() bounds them.
    save_path_widget panel;
    panel.line_frame->clear();
    QTest::keyClicks(panel.line_frame, "4a0");
    EXPECT_EQ(panel.line_frame->text(), "40");
    panel.line_frame->clear();
    QTest::keyClicks(panel.line_frame, "123");
    EXPECT_EQ(panel.line_frame->text(), "12");
    panel.line_frame->clear();
    QTest::keyClicks(panel.line_frame, "-3");
    EXPECT_EQ(panel.line_frame->text(), "3");
}

struct refusal_case {
    const char* name;
    const char* frame;
    const char16_t* path;
    const char* message;
};

class SavePanelRefusal : public SavePanel, public ::testing::WithParamInterface<refusal_case> {
};

TEST_P(SavePanelRefusal, PostsTheReasonAndStoresNothing)
{
    const refusal_case& c = GetParam();
    save_path_widget panel;
    panel.line_frame->setText(QString::fromUtf8(c.frame));
    panel.line_file_path->setText(QString::fromUtf16(c.path));
    save_settings out;
    out.frame = -5;
    EXPECT_FALSE(panel.validate(out)) << c.name;
    EXPECT_EQ(messages.last().toStdString(), c.message) << c.name;
    EXPECT_EQ(out.frame, -5);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, SavePanelRefusal,
    ::testing::Values(refusal_case{"empty frame", "", u"/tmp", "please enter frame !"},
                      refusal_case{"zero", "0", u"/tmp", "Please enter number between 1 and 99 !"},
                      refusal_case{"not a number", "x", u"/tmp", "Please enter number between 1 and 99 !"},
                      refusal_case{"hundred", "100", u"/tmp", "Please enter number between 1 and 99 !"},
                      refusal_case{"no path", "3", u"", "please select file path"},
                      refusal_case{"ideograph", "3", u"/tmp/\u4e2d", kChinese},
                      refusal_case{"full-width parenthesis", "3", u"/tmp/\uff08", kChinese}));

TEST_F(SavePanel, PassedCheckFillsTheToFGroup)
{
    save_path_widget panel;
    panel.line_frame->setText("12");
    panel.check_depth->setChecked(false);
    panel.line_file_path->setText("/tmp/out");
    save_settings out;
    ASSERT_TRUE(panel.validate(out));
    EXPECT_EQ(out.frame, 12);
    EXPECT_FALSE(out.depth);
    EXPECT_TRUE(out.ir);
    EXPECT_TRUE(out.pcl);
    EXPECT_EQ(out.file_path, "/tmp/out");
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_F(SavePanel, RgbdLockDisablesTheSixInputs)
{
    save_path_widget panel;
    panel.set_rgbd_lock(true);
    for (QWidget* w : {static_cast<QWidget*>(panel.line_frame), static_cast<QWidget*>(panel.line_file_path),
                       static_cast<QWidget*>(panel.btn_select), static_cast<QWidget*>(panel.check_depth),
                       static_cast<QWidget*>(panel.check_png), static_cast<QWidget*>(panel.btn_check_pcd)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    QTest::mouseClick(panel.check_depth, Qt::LeftButton);
    EXPECT_TRUE(panel.check_depth->isChecked());
    // The check still works on the values shown.
    panel.line_frame->setText("2");
    save_settings out;
    EXPECT_TRUE(panel.validate(out));
    panel.set_rgbd_lock(false);
    EXPECT_TRUE(panel.btn_select->isEnabled());
}

class FolderChoice : public SavePanel {
protected:
    void TearDown() override { set_folder_chooser({}); }
    void answer(const QString& folder)
    {
        set_folder_chooser([folder](QWidget*, const QString& title, const QString&) {
            EXPECT_EQ(title, "save_path");
            return folder;
        });
    }
};

TEST_F(FolderChoice, ChosenFolderIsShownAndStored)
{
    save_path_widget panel;
    answer("/tmp/chosen");
    QTest::mouseClick(panel.btn_select, Qt::LeftButton);
    EXPECT_EQ(panel.line_file_path->text(), "/tmp/chosen");
    EXPECT_EQ(load_save_settings().file_path, "/tmp/chosen");
}

TEST_F(FolderChoice, CancelChangesNothing)
{
    save_path_widget panel;
    const QString before = panel.line_file_path->text();
    answer(QString());
    QTest::mouseClick(panel.btn_select, Qt::LeftButton);
    EXPECT_EQ(panel.line_file_path->text(), before);
    EXPECT_TRUE(load_save_settings().file_path.isEmpty());
}

TEST_F(FolderChoice, RefusedFolderKeepsTheField)
{
    save_path_widget panel;
    const QString before = panel.line_file_path->text();
    answer(QString::fromUtf16(u"/tmp/\u6570\u636e"));
    QTest::mouseClick(panel.btn_select, Qt::LeftButton);
    EXPECT_EQ(panel.line_file_path->text(), before);
    EXPECT_EQ(messages.last().toStdString(), kChinese);
    EXPECT_TRUE(load_save_settings().file_path.isEmpty());
}

}  // namespace
