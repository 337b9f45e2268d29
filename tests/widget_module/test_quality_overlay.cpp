// The region-of-interest overlay (drawing, clearing, flipping, resolution
// changes, clicks passing through to the view) and the colour bar's scale.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <ostream>

#include "widget_module/depth_scale_bar.h"
#include "widget_module/depth_scale_ticks.h"
#include "widget_module/quality_region_overlay.h"
#include "widget_test_support.h"

namespace {

using quality::region;

// Stands in for the depth view: counts the presses that reach it.
class fake_view : public QWidget {
public:
    int presses = 0;
    QPoint last;
    QRect drawn;  // where an image would be: a depth-like gradient

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        QLinearGradient g(drawn.topLeft(), drawn.bottomRight());
        g.setColorAt(0, QColor(20, 60, 200));
        g.setColorAt(0.5, QColor(60, 200, 120));
        g.setColorAt(1, QColor(230, 120, 30));
        p.fillRect(drawn, g);
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        ++presses;
        last = e->pos();
    }
};

struct overlay_fixture {
    fake_view view;
    quality_region_overlay* overlay;
    explicit overlay_fixture(QRect drawn = QRect(30, 20, 640, 480), QSize image = QSize(640, 480))
    {
        view.resize(700, 520);
        view.drawn = drawn;
        overlay = new quality_region_overlay(&view);
        overlay->setGeometry(view.rect());
        overlay->set_image_geometry(image, drawn);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    void shift_drag(QPoint from, QPoint to)
    {
        QTest::mousePress(overlay, Qt::LeftButton, Qt::ShiftModifier, from);
        QMouseEvent move(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton,
                         Qt::ShiftModifier);
        QApplication::sendEvent(overlay, &move);
        QTest::mouseRelease(overlay, Qt::LeftButton, Qt::ShiftModifier, to);
    }
};

void expect_region(const std::optional<region>& r, int x, int y, int w, int h)
{
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->x, x);
    EXPECT_EQ(r->y, y);
    EXPECT_EQ(r->width, w);
    EXPECT_EQ(r->height, h);
}

struct draw_case {
    const char* name;
    QRect drawn;  // where the 640 x 480 image is drawn
    QPoint from, to;
    region expected;
};
void PrintTo(const draw_case& c, std::ostream* os) { *os << c.name; }

class OverlayDrawing : public ::testing::TestWithParam<draw_case> { };

TEST_P(OverlayDrawing, ShiftDragDrawsTheRegionInImagePixels)
{
    const draw_case c = GetParam();
    overlay_fixture f(c.drawn);
    QSignalSpy changed(f.overlay, &quality_region_overlay::sig_region_changed);
    f.shift_drag(c.from, c.to);
    expect_region(f.overlay->region(), c.expected.x, c.expected.y, c.expected.width,
                  c.expected.height);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<region>(), *f.overlay->region());
    EXPECT_EQ(f.view.presses, 0) << "a region drag is not a measurement click";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OverlayDrawing,
    ::testing::Values(
        // Image drawn 1:1 at (30, 20): widget (130, 120) is pixel (100, 100).
        draw_case{"DownRight", QRect(30, 20, 640, 480), {130, 120}, {229, 219}, {100, 100, 100, 100, 640, 480}},
        draw_case{"UpLeft", QRect(30, 20, 640, 480), {229, 219}, {130, 120}, {100, 100, 100, 100, 640, 480}},
        // Past the image's right and bottom edges: held at the edges.
        draw_case{"PastTheEdges", QRect(30, 20, 640, 480), {600, 400}, {699, 519}, {570, 380, 70, 100, 640, 480}},
        // Image drawn at half size: one widget pixel is two image pixels.
        draw_case{"HalfSize", QRect(0, 0, 320, 240), {50, 40}, {149, 139}, {100, 80, 199, 199, 640, 480}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Overlay, PlainClicksAndShortDragsPassThroughToTheView)
{
    overlay_fixture f;
    QTest::mouseClick(f.overlay, Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
    EXPECT_EQ(f.view.presses, 1);
    EXPECT_EQ(f.view.last, QPoint(200, 200));
    EXPECT_FALSE(f.overlay->region().has_value());
    // A Shift click that does not move draws nothing.
    f.shift_drag(QPoint(200, 200), QPoint(201, 201));
    EXPECT_FALSE(f.overlay->region().has_value());
    // Clicks keep reaching the view while a region is shown.
    f.shift_drag(QPoint(100, 100), QPoint(300, 300));
    ASSERT_TRUE(f.overlay->region().has_value());
    QTest::mouseClick(f.overlay, Qt::LeftButton, Qt::NoModifier, QPoint(150, 150));
    EXPECT_EQ(f.view.presses, 2);
}

TEST(Overlay, TheCrossAndEscapeClearTheRegion)
{
    overlay_fixture f;
    QSignalSpy cleared(f.overlay, &quality_region_overlay::sig_region_cleared);
    f.shift_drag(QPoint(100, 100), QPoint(300, 300));
    const QRect cross = f.overlay->clear_button_rect();
    ASSERT_FALSE(cross.isEmpty());
    QTest::qWait(50);  // let the overlay paint before the screen is grabbed
    widget_test::save_screenshot(&f.view, QStringLiteral("quality_overlay_region"));
    QTest::mouseClick(f.overlay, Qt::LeftButton, Qt::NoModifier, cross.center());
    EXPECT_FALSE(f.overlay->region().has_value());
    EXPECT_EQ(cleared.count(), 1);
    EXPECT_EQ(f.view.presses, 0) << "the cross is not a measurement click";

    f.shift_drag(QPoint(100, 100), QPoint(300, 300));
    ASSERT_TRUE(f.overlay->region().has_value());
    // The drag gave the overlay the focus; Escape clears.
    QTest::keyClick(f.overlay, Qt::Key_Escape);
    EXPECT_FALSE(f.overlay->region().has_value());
    EXPECT_EQ(cleared.count(), 2);
}

struct flip_case {
    const char* name;
    bool vertical, horizontal;
    region expected;
};
void PrintTo(const flip_case& c, std::ostream* os) { *os << c.name; }
class OverlayFlips : public ::testing::TestWithParam<flip_case> { };

TEST_P(OverlayFlips, MirrorTheRegionWithTheImage)
{
    const flip_case c = GetParam();
    overlay_fixture f;
    f.overlay->set_region(region{10, 20, 30, 40, 640, 480});
    QSignalSpy changed(f.overlay, &quality_region_overlay::sig_region_changed);
    f.overlay->set_flips(c.vertical, c.horizontal);
    expect_region(f.overlay->region(), c.expected.x, c.expected.y, c.expected.width,
                  c.expected.height);
    EXPECT_EQ(changed.count(), c.vertical || c.horizontal ? 1 : 0);
    // Flipping back returns to the start.
    f.overlay->set_flips(false, false);
    expect_region(f.overlay->region(), 10, 20, 30, 40);
}

INSTANTIATE_TEST_SUITE_P(Cases, OverlayFlips,
                         ::testing::Values(flip_case{"None", false, false, {10, 20, 30, 40, 640, 480}},
                                           flip_case{"Horizontal", false, true, {600, 20, 30, 40, 640, 480}},
                                           flip_case{"Vertical", true, false, {10, 420, 30, 40, 640, 480}},
                                           flip_case{"Both", true, true, {600, 420, 30, 40, 640, 480}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Overlay, ResolutionChangesScaleTheRegionWithoutWearingItDown)
{
    overlay_fixture f;
    f.overlay->set_region(region{101, 51, 51, 51, 640, 480});
    const QRect before = f.overlay->region_rect();
    // Binned: the image is drawn into the same rectangle at half the pixels.
    f.overlay->set_image_geometry(QSize(320, 240), QRect(30, 20, 640, 480));
    expect_region(f.overlay->region(), 51, 26, 25, 25);
    f.overlay->set_image_geometry(QSize(640, 480), QRect(30, 20, 640, 480));
    expect_region(f.overlay->region(), 101, 51, 51, 51);
    EXPECT_EQ(f.overlay->region_rect(), before);
    // A flip at the other resolution and back still lands where it started.
    f.overlay->set_image_geometry(QSize(320, 240), QRect(30, 20, 640, 480));
    f.overlay->set_flips(false, true);
    f.overlay->set_image_geometry(QSize(640, 480), QRect(30, 20, 640, 480));
    f.overlay->set_flips(false, false);
    expect_region(f.overlay->region(), 101, 51, 51, 51);
}

TEST(Overlay, FollowsTheDrawnImageWhenTheViewResizes)
{
    overlay_fixture f;
    f.overlay->set_region(region{0, 0, 320, 240, 640, 480});
    EXPECT_EQ(f.overlay->region_rect(), QRect(30, 20, 320, 240));
    f.overlay->set_image_geometry(QSize(640, 480), QRect(10, 0, 1280, 960));
    EXPECT_EQ(f.overlay->region_rect(), QRect(10, 0, 640, 480));
    expect_region(f.overlay->region(), 0, 0, 320, 240);
}

// ----------------------------------------------------------- scale bar

struct range_case {
    const char* name;
    int near_mm, far_mm;
    std::vector<int> ticks;
};
void PrintTo(const range_case& c, std::ostream* os) { *os << c.name; }
class ScaleTicks : public ::testing::TestWithParam<range_case> { };

TEST_P(ScaleTicks, RoundTicksAndLabelsForTheRange)
{
    const range_case c = GetParam();
    depth_scale_bar bar;
    bar.resize(bar.sizeHint().width(), 400);
    bar.set_range(c.near_mm, c.far_mm);
    EXPECT_EQ(bar.ticks(), c.ticks);
    EXPECT_EQ(depth_scale_label(c.ticks.front()), QString::number(c.ticks.front()));
    // Near at the bottom of the bar, far at the top, values in between in order.
    const QRect r = bar.bar_rect();
    EXPECT_EQ(bar.tick_y(c.near_mm), r.bottom());
    EXPECT_EQ(bar.tick_y(c.far_mm), r.top());
    for (std::size_t i = 1; i < c.ticks.size(); ++i)
        EXPECT_LT(bar.tick_y(c.ticks[i]), bar.tick_y(c.ticks[i - 1]));
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ScaleTicks,
    ::testing::Values(range_case{"DefaultRange", 300, 6000, {1000, 2000, 3000, 4000, 5000, 6000}},
                      range_case{"FullLimits", 0, 7500, {0, 2000, 4000, 6000}},
                      range_case{"Near", 500, 1500, {600, 800, 1000, 1200, 1400}},
                      range_case{"Narrow", 1000, 1200, {1000, 1050, 1100, 1150, 1200}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScaleTicksProperty, EveryRangeTheSlidersAllowGetsFourToSixRoundTicks)
{
    // The distance sliders keep near and far at least 10 mm apart within
    // 0 to 7500 mm.
    const std::vector<int> round = {10, 15, 20, 25, 30, 40, 50, 60, 75, 80};
    int ranges = 0;
    for (int near_mm = 0; near_mm <= 7490; near_mm += 7)
        for (int far_mm = near_mm + 10; far_mm <= 7500; far_mm += 11) {
            const std::vector<int> t = depth_scale_ticks(near_mm, far_mm);
            ++ranges;
            ASSERT_GE(t.size(), 4u) << near_mm << ".." << far_mm;
            ASSERT_LE(t.size(), 6u) << near_mm << ".." << far_mm;
            ASSERT_GE(t.front(), near_mm);
            ASSERT_LE(t.back(), far_mm);
            const int step = t[1] - t[0];
            for (std::size_t i = 1; i < t.size(); ++i)
                ASSERT_EQ(t[i] - t[i - 1], step);
            ASSERT_EQ(t.front() % step, 0);
            int mantissa = step;
            while (mantissa % 10 == 0 && mantissa >= 100)
                mantissa /= 10;
            if (mantissa < 10)
                mantissa *= 10;
            ASSERT_NE(std::find(round.begin(), round.end(), mantissa), round.end())
                << "step " << step << " for " << near_mm << ".." << far_mm;
        }
    EXPECT_GT(ranges, 300000);
}

TEST(ScaleBar, RedrawsOnARangeChange)
{
    QWidget host;
    host.resize(200, 420);
    host.setStyleSheet(QStringLiteral("background-color: rgb(20, 20, 20);"));
    auto* bar = new depth_scale_bar(&host);
    QImage colours(1, 256, QImage::Format_RGB888);
    for (int y = 0; y < 256; ++y)
        colours.setPixelColor(0, y, QColor::fromHsv(240 * y / 255, 255, 255));
    bar->set_colour_bar(colours);
    bar->setGeometry(10, 10, bar->sizeHint().width(), 400);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    const QImage before = bar->grab().toImage();
    bar->set_range(500, 1500);
    const QImage after = bar->grab().toImage();
    EXPECT_NE(before, after);
    QTest::qWait(50);
    widget_test::save_screenshot(&host, QStringLiteral("quality_scale_bar_500_1500"));
    bar->set_range(500, 1500);  // the same range again: nothing to redraw
    EXPECT_EQ(bar->ticks(), (std::vector<int>{600, 800, 1000, 1200, 1400}));
}

}  // namespace
