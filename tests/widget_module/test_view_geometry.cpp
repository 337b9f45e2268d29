#include <gtest/gtest.h>

#include "widget_module/view_geometry.h"

namespace {

struct letterbox_case {
    const char* name;
    QSize area, image;
    int top;
    QRect expected;
};

class Letterbox : public ::testing::TestWithParam<letterbox_case> { };

TEST_P(Letterbox, DrawnRectangle)
{
    const letterbox_case& c = GetParam();
    EXPECT_EQ(view_letterbox(c.area, c.image, c.top), c.expected) << c.name;
}

// Expected rectangles worked out by hand from the aspect ratios.
INSTANTIATE_TEST_SUITE_P(
    Views, Letterbox,
    ::testing::Values(
        // 480 * 640 / 451 -> width 451 * 640 / 480 = 601.33 -> 601, x0 = 39 / 2 = 19.
        letterbox_case{"vga_in_depth_area", {640, 451}, {640, 480}, 30, {19, 30, 601, 451}},
        // Wide image: height 480 * 640 / 1280 = 240, y0 = (451 - 240) / 2 + 30 = 135.
        letterbox_case{"wide_in_depth_area", {640, 451}, {1280, 480}, 30, {0, 135, 640, 240}},
        letterbox_case{"exact_fit", {800, 600}, {640, 480}, 0, {0, 0, 800, 600}},
        // 1280x720 in 831x601: 720*831 > ... width-bound, height 720*831/1280 = 467.
        letterbox_case{"hd_in_rgb_area", {831, 601}, {1280, 720}, 30, {0, 97, 831, 467}},
        letterbox_case{"empty_image", {640, 451}, {0, 0}, 30, QRect()},
        letterbox_case{"empty_area", {0, 0}, {640, 480}, 30, QRect()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ViewMapping, ClickMapsOverWholeAreaIgnoringMargins)
{
    QPoint pixel;
    // 640 x 451 area, 640 x 480 image: sy = 480 / 451 = 1.0643..., 225 * sy = 239.46.
    ASSERT_TRUE(view_area_to_image({320, 225}, {640, 451}, {640, 480}, &pixel));
    EXPECT_EQ(pixel, QPoint(320, 239));
    ASSERT_TRUE(view_area_to_image({639, 450}, {640, 451}, {640, 480}, &pixel));
    EXPECT_EQ(pixel, QPoint(639, 478));
}

TEST(ViewMapping, EmptyAreaMapsNothing)
{
    QPoint pixel(-7, -7);
    EXPECT_FALSE(view_area_to_image({10, 10}, {0, 451}, {640, 480}, &pixel));
    EXPECT_EQ(pixel, QPoint(-7, -7));
}

TEST(ViewMapping, ImageCentreLandsOnAreaCentre)
{
    QPoint p;
    ASSERT_TRUE(view_image_to_area({320, 240}, {640, 451}, {640, 480}, &p));
    // 240 / (480 / 451) = 225.5 -> 225.
    EXPECT_EQ(p, QPoint(320, 225));
    ASSERT_TRUE(view_image_to_area({640, 360}, {831, 601}, {1280, 720}, &p));
    EXPECT_EQ(p, QPoint(415, 300));
    EXPECT_FALSE(view_image_to_area({1, 1}, {831, 601}, {0, 0}, &p));
}

TEST(ViewMapping, RoundTripStaysWithinOnePixel)
{
    for (int x = 0; x < 640; x += 37)
        for (int y = 0; y < 480; y += 29) {
            QPoint area_point, back;
            ASSERT_TRUE(view_image_to_area({x, y}, {601, 451}, {640, 480}, &area_point));
            ASSERT_TRUE(view_area_to_image(area_point, {601, 451}, {640, 480}, &back));
            EXPECT_LE(std::abs(back.x() - x), 2) << x << "," << y;
            EXPECT_LE(std::abs(back.y() - y), 2) << x << "," << y;
        }
}

struct box_case {
    const char* name;
    QPoint click;
    QPoint expected;
};

class BoxPlacement : public ::testing::TestWithParam<box_case> { };

// A 151 x 61 box in a 640 x 451 area with a 30 px bottom bar (usable 421).
TEST_P(BoxPlacement, OpensAwayFromEdges)
{
    const box_case& c = GetParam();
    EXPECT_EQ(view_place_box(c.click, {151, 61}, 640, 421), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Views, BoxPlacement,
    ::testing::Values(box_case{"right_and_below", {100, 100}, {100, 100}},
                      box_case{"near_right_edge", {630, 100}, {479, 100}},
                      box_case{"touching_right_edge", {489, 100}, {489, 100}},
                      box_case{"one_past_right_edge", {490, 100}, {339, 100}},
                      box_case{"near_bottom", {100, 400}, {100, 339}},
                      box_case{"bottom_limit", {100, 360}, {100, 360}},
                      box_case{"one_past_bottom_limit", {100, 361}, {100, 300}},
                      box_case{"bottom_right_corner", {630, 420}, {479, 359}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
