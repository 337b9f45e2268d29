// The message bubble: texts, timers, fade and placement.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/global_message_module.h"
#include "app/user_message.h"
#include "bubble_widget.h"
#include "widget_test_support.h"

namespace {

QStringList message(const char* title, const char* text)
{
    return {QString::fromUtf8(title), QString::fromUtf8(text)};
}

TEST(Bubble, ShowsTitleAndText)
{
    bubble_widget bubble;
    EXPECT_TRUE(bubble.isHidden());
    bubble.slot_show_message(message("Tessivue Viewer", "Save completed."));
    EXPECT_TRUE(bubble.isVisible());
    EXPECT_EQ(bubble.label_title->text(), "Tessivue Viewer");
    EXPECT_EQ(bubble.label_title_2->text(), "Save completed.");
    EXPECT_TRUE(bubble.stay()->isActive());
    EXPECT_EQ(bubble.stay()->interval(), 4000);
    EXPECT_EQ(bubble.label_title->font().pixelSize(), 16);
    EXPECT_EQ(bubble.label_title_2->font().pixelSize(), 14);
    EXPECT_TRUE(bubble.label_title_2->wordWrap());
    EXPECT_TRUE(bubble.windowFlags() & Qt::FramelessWindowHint);
}

TEST(Bubble, IgnoresShortLists)
{
    bubble_widget bubble;
    bubble.slot_show_message({QStringLiteral("only one")});
    EXPECT_TRUE(bubble.isHidden());
    EXPECT_EQ(bubble.label_title->text(), "TextLabel");

    bubble.slot_show_message(message("a", "b"));
    bubble.slot_show_message({QStringLiteral("x")});
    EXPECT_EQ(bubble.label_title->text(), "a");
    EXPECT_EQ(bubble.label_title_2->text(), "b");
}

TEST(Bubble, SecondMessageReplacesTexts)
{
    bubble_widget bubble;
    bubble.slot_show_message(message("a", "first"));
    bubble.slot_show_message(message("b", "second"));
    EXPECT_EQ(bubble.label_title->text(), "b");
    EXPECT_EQ(bubble.label_title_2->text(), "second");
    EXPECT_TRUE(bubble.stay()->isActive());
    EXPECT_FALSE(bubble.fade()->isActive());
}

TEST(Bubble, NewMessageStopsTheFade)
{
    bubble_widget bubble;
    bubble.slot_show_message(message("a", "first"));
    bubble.slot_stay_timeout();
    ASSERT_TRUE(bubble.fade()->isActive());
    bubble.slot_close_timeout();
    bubble.slot_close_timeout();
    EXPECT_NEAR(bubble.current_opacity(), 0.8, 1e-9);

    bubble.slot_show_message(message("b", "second"));
    EXPECT_FALSE(bubble.fade()->isActive());
    EXPECT_TRUE(bubble.stay()->isActive());
    EXPECT_DOUBLE_EQ(bubble.current_opacity(), 1.0);
    EXPECT_TRUE(bubble.isVisible());
}

TEST(Bubble, EleventhFadeTickHides)
{
    bubble_widget bubble;
    bubble.slot_show_message(message("a", "b"));
    bubble.slot_stay_timeout();
    EXPECT_FALSE(bubble.stay()->isActive());
    EXPECT_EQ(bubble.fade()->interval(), 100);
    for (int tick = 1; tick <= 10; ++tick) {
        bubble.slot_close_timeout();
        EXPECT_TRUE(bubble.isVisible()) << "tick " << tick;
    }
    bubble.slot_close_timeout();
    EXPECT_TRUE(bubble.isHidden());
    EXPECT_FALSE(bubble.fade()->isActive());
}

TEST(Bubble, HidesAboutOnePointOneSecondsAfterTheFadeStarts)
{
    bubble_widget bubble;
    bubble.slot_show_message(message("a", "b"));
    QElapsedTimer clock;
    bubble.slot_stay_timeout();
    clock.start();
    ASSERT_TRUE(widget_test::wait_until([&] { return bubble.isHidden(); }, 3000));
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_LE(clock.elapsed(), 1800);
}

TEST(Bubble, PostFromAnotherThreadArrivesOnTheGuiThread)
{
    bubble_widget bubble;
    global_message_module::instance()->add_observer(kMessageObserver, &bubble,
                                                    SLOT(slot_show_message(const QStringList&)));
    QThread* poster = QThread::create([] { post_user_message(QStringLiteral("from a worker")); });
    poster->start();
    poster->wait();
    delete poster;
    ASSERT_TRUE(widget_test::wait_until([&] { return bubble.isVisible(); }));
    EXPECT_EQ(bubble.label_title->text(), "Tessivue Viewer");
    EXPECT_EQ(bubble.label_title_2->text(), "from a worker");
}

struct placement_case {
    const char* name;
    QList<QRect> areas;
    QPoint expected;
};

class BubblePlacement : public ::testing::TestWithParam<placement_case> {
};

TEST_P(BubblePlacement, BottomRightOfTheRightMostScreen)
{
    const placement_case& c = GetParam();
    EXPECT_EQ(bubble_position(c.areas, QSize(400, 150)), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Screens, BubblePlacement,
    ::testing::Values(
        // 1920 x 1040 available: right edge 1919, bottom edge 1039.
        placement_case{"one", {QRect(0, 0, 1920, 1040)}, QPoint(1919 - 400 - 1, 1039 - 150 - 40)},
        placement_case{"right of primary",
                       {QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 984)},
                       QPoint(3199 - 401, 983 - 190)},
        placement_case{"left of primary",
                       {QRect(0, 0, 1920, 1040), QRect(-1280, 0, 1280, 1024)},
                       QPoint(1919 - 401, 1039 - 190)},
        // Equal right edges: the first one found wins.
        placement_case{"stacked",
                       {QRect(0, 0, 1920, 1040), QRect(0, 1080, 1920, 1000)},
                       QPoint(1919 - 401, 1039 - 190)},
        placement_case{"none usable", {QRect(-800, 0, 800, 600)}, QPoint(0, 0)}));

TEST(Bubble, PlacedOnTheCurrentDesktop)
{
    bubble_widget bubble;
    QList<QRect> areas;
    for (const QScreen* s : QGuiApplication::screens())
        areas.append(s->availableGeometry());
    EXPECT_EQ(bubble.pos(), bubble_position(areas, bubble.size()));
    EXPECT_EQ(bubble.size(), QSize(400, 150));
}

}  // namespace
