#include <QDateTime>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "view_test_support.h"
#include "widget_module/view_common.h"
#include "widget_module/view_control_bar.h"

namespace {

using namespace view_test;

// The widgets of a view's bottom bar and info strip, named as in the forms.
struct form {
    QWidget host;
    QPushButton* btn_start = new QPushButton(&host);
    QPushButton* btn_info = new QPushButton(&host);
    QPushButton* btn_expend = new QPushButton(&host);
    QWidget* widget_time = new QWidget(&host);
    QLabel* label_time = new QLabel(widget_time);
    QLabel* label_time_content = new QLabel(widget_time);
    QLabel* label_frame = new QLabel(widget_time);
    QLabel* label_frame_content = new QLabel(widget_time);
    QLabel* label_fps = new QLabel(widget_time);
    QLabel* label_fps_content = new QLabel(QStringLiteral("00.00"), widget_time);
};

bool shows_icon(const QAbstractButton* button, const char* name)
{
    const QImage expected = view_icon(name).pixmap(18, 18).toImage();
    EXPECT_FALSE(expected.isNull()) << name;
    return button->icon().pixmap(18, 18).toImage() == expected;
}

class ControlBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        f.host.resize(400, 100);
        f.host.show();
        QObject::connect(&bar, &view_control_bar::sig_pause_toggled,
                         [this](bool p) { pauses.push_back(p); });
        QObject::connect(&bar, &view_control_bar::sig_expand_toggled,
                         [this](bool e) { expands.push_back(e); });
    }

    void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    // Waits for the one-second tick to change the frame rate shown, or, when
    // no change is expected, for longer than a tick takes.
    void wait_for_tick(bool expect_change)
    {
        const QString before = f.label_fps_content->text();
        QDeadlineTimer deadline(expect_change ? 3000 : 1500);
        while (!deadline.hasExpired()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            if (f.label_fps_content->text() != before)
                return;
        }
    }

    form f;
    view_control_bar bar{view_control_bar::parts_of(&f), "test", QLatin1Char('x'), nullptr};
    std::vector<bool> pauses;
    std::vector<bool> expands;
};

TEST_F(ControlBar, StartsRunningWithTheStripHiddenAndItsTexts)
{
    EXPECT_TRUE(f.widget_time->isHidden());
    EXPECT_FALSE(bar.paused());
    EXPECT_FALSE(bar.expanded());
    EXPECT_FALSE(bar.ticking());
    EXPECT_EQ(f.btn_start->toolTip(), QStringLiteral("stop"));
    EXPECT_TRUE(shows_icon(f.btn_start, "pause.png"));
    EXPECT_EQ(f.btn_info->toolTip(), QStringLiteral("info"));
    EXPECT_EQ(f.label_time->text(), QStringLiteral("Time:"));
    EXPECT_EQ(f.label_frame->text(), QStringLiteral("Resolution:"));
    EXPECT_EQ(f.label_fps->text(), QStringLiteral("FPS:"));
    EXPECT_EQ(f.label_fps_content->font().pixelSize(), 12);
}

// Clicks on pause or expand: the state, the icon and tool tip that show it,
// and one signal per click.
struct toggle_case {
    const char* name;
    bool pause;  // the pause button, else expand
    int clicks;
    bool on;
    const char* icon;
    const char* tip;
};

class ControlBarToggle : public ControlBar, public ::testing::WithParamInterface<toggle_case> { };

TEST_P(ControlBarToggle, StateIconAndSignal)
{
    const toggle_case& c = GetParam();
    QAbstractButton* button = c.pause ? f.btn_start : static_cast<QAbstractButton*>(f.btn_expend);
    for (int i = 0; i < c.clicks; ++i)
        click(button);
    EXPECT_EQ(c.pause ? bar.paused() : bar.expanded(), c.on);
    EXPECT_TRUE(shows_icon(button, c.icon));
    if (c.tip) {
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(c.tip));
    }
    std::vector<bool> expected;
    for (int i = 0; i < c.clicks; ++i)
        expected.push_back(i % 2 == 0);
    EXPECT_EQ(c.pause ? pauses : expands, expected);
    EXPECT_TRUE((c.pause ? expands : pauses).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, ControlBarToggle,
    ::testing::Values(toggle_case{"pause", true, 1, true, "start.png", "start"},
                      toggle_case{"resume", true, 2, false, "pause.png", "stop"},
                      toggle_case{"pause_again", true, 3, true, "start.png", "start"},
                      toggle_case{"expand", false, 1, true, "restore.png", nullptr},
                      toggle_case{"restore", false, 2, false, "expend.png", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// A state the view sets (its other page's pause, the main window's expand)
// is shown but not reported back as a user's toggle.
TEST_F(ControlBar, SetStatesAreShownButNotSignalled)
{
    bar.set_paused(true);
    bar.set_expanded(true);
    EXPECT_TRUE(shows_icon(f.btn_start, "start.png"));
    EXPECT_EQ(f.btn_start->toolTip(), QStringLiteral("start"));
    EXPECT_TRUE(shows_icon(f.btn_expend, "restore.png"));
    EXPECT_TRUE(pauses.empty());
    EXPECT_TRUE(expands.empty());
    click(f.btn_start);
    EXPECT_EQ(pauses, std::vector<bool>{false});
}

TEST_F(ControlBar, InfoTogglesTheStripAndItsTick)
{
    click(f.btn_info);
    EXPECT_TRUE(f.widget_time->isVisible());
    EXPECT_TRUE(shows_icon(f.btn_info, "info_off.png"));
    EXPECT_TRUE(bar.ticking());
    click(f.btn_info);
    EXPECT_TRUE(f.widget_time->isHidden());
    EXPECT_TRUE(shows_icon(f.btn_info, "info.png"));
    EXPECT_FALSE(bar.ticking());
    // A page switch hides the strip behind the button's back; the next click
    // opens it again.
    click(f.btn_info);
    bar.hide_info();
    EXPECT_TRUE(f.widget_time->isHidden());
    EXPECT_TRUE(shows_icon(f.btn_info, "info.png"));
    EXPECT_FALSE(bar.ticking());
    click(f.btn_info);
    EXPECT_TRUE(f.widget_time->isVisible());
    EXPECT_TRUE(bar.ticking());
}

struct rate_case {
    const char* name;
    bool from_start;  // the tick runs before the strip is opened
    int before_open;  // frames drawn before the strip opens (-1: it stays hidden)
    int after_open;
    bool paused;
    const char* shown;
};

class ControlBarRate : public ControlBar, public ::testing::WithParamInterface<rate_case> { };

TEST_P(ControlBarRate, ShowsFramesDrawnInTheLastSecond)
{
    const rate_case& c = GetParam();
    if (c.from_start)
        bar.tick_from_start();
    if (c.paused)
        click(f.btn_start);
    for (int i = 0; i < std::max(0, c.before_open); ++i)
        bar.count_frame();
    if (c.before_open >= 0)
        click(f.btn_info);
    for (int i = 0; i < c.after_open; ++i)
        bar.count_frame();
    const QString shown = QString::fromLatin1(c.shown);
    wait_for_tick(shown != f.label_fps_content->text());
    EXPECT_EQ(f.label_fps_content->text(), shown);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ControlBarRate,
    ::testing::Values(rate_case{"five_frames", false, 0, 5, false, "5.00"},
                      rate_case{"no_frames", false, 0, 0, false, "0.00"},
                      rate_case{"frames_before_the_strip_opened_are_not_counted", true, 40, 3,
                                false, "3.00"},
                      rate_case{"paused_keeps_the_last_value", false, 0, 5, true, "00.00"},
                      rate_case{"hidden_strip_ticks_only_from_start", true, -1, 4, false, "4.00"},
                      rate_case{"hidden_strip_without_tick_stays", false, -1, 4, false, "00.00"}),
    [](const auto& info) { return std::string(info.param.name); });

struct frame_rate_case {
    int frames;
    qint64 ms;
    int rate;
};

class FrameRate : public ::testing::TestWithParam<frame_rate_case> { };

TEST_P(FrameRate, PerSecondOfTimeThatPassed)
{
    const frame_rate_case& c = GetParam();
    EXPECT_EQ(view_frame_rate(c.frames, c.ms), c.rate) << c.frames << " in " << c.ms << " ms";
}

// 7 frames in 1077 ms are 6.4995 per second, in 1076 ms 6.5056.
INSTANTIATE_TEST_SUITE_P(Ticks, FrameRate,
                         ::testing::Values(frame_rate_case{30, 1000, 30},
                                           frame_rate_case{30, 1500, 20},
                                           frame_rate_case{30, 500, 60},
                                           frame_rate_case{7, 1077, 6},
                                           frame_rate_case{7, 1076, 7},
                                           frame_rate_case{0, 1000, 0},
                                           frame_rate_case{5, 0, 5}));

TEST(ControlBarTexts, ResolutionAndTimeStamp)
{
    struct row {
        QChar times;
        int width, height;
        QString text;
    };
    for (const row& r : {row{QLatin1Char('x'), 640, 480, QStringLiteral("640x480")},
                         row{QChar(0x00d7), 1280, 720, QString::fromUtf8("1280\u00d7720")}}) {
        form f;
        view_control_bar bar(view_control_bar::parts_of(&f), "test", r.times, nullptr);
        bar.set_resolution(r.width, r.height);
        EXPECT_EQ(f.label_frame_content->text(), r.text);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        bar.stamp_time();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^(\\d+);$")).match(f.label_time_content->text());
        ASSERT_TRUE(m.hasMatch()) << f.label_time_content->text().toStdString();
        EXPECT_LE(std::abs(m.captured(1).toLongLong() - now), 1);
    }
}

// Views are made again at every module open, switch and resolution change:
// each must get the same icon objects, or every new view adds its scaled
// pixmaps to Qt's pixmap cache under new keys.
TEST(ViewIcon, OneIconPerFileForEveryView)
{
    EXPECT_EQ(view_icon("pause.png").cacheKey(), view_icon("pause.png").cacheKey());
    EXPECT_NE(view_icon("pause.png").cacheKey(), view_icon("save.png").cacheKey());
    EXPECT_FALSE(view_icon("pause.png").isNull());
    EXPECT_EQ(shared_icon(":/zavire/image/pause.png").cacheKey(), view_icon("pause.png").cacheKey());
}

}  // namespace

VIEW_TEST_MAIN()
