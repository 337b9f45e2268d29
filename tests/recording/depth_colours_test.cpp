// Recorded depth is coloured as the camera colours the depth it hands out:
// compared with the camera's own render of live frames over several distance
// ranges, and at the values where the rule changes (invalid, saturated, the
// limits and one beyond them, the largest depth).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "recording/depth_colours.h"
#include "sdk_test_support.h"

namespace {

struct range_case {
    const char* name;
    uint16_t near_mm, far_mm;
};
void PrintTo(const range_case& c, std::ostream* os) { *os << c.name; }

class DepthColours : public ::testing::TestWithParam<range_case> { };

TEST_P(DepthColours, EqualTheCamerasRenderOfTheSameDepth)
{
    const range_case& c = GetParam();
    sdk_test::scoped_environment env;
    sdk_test::camera cam;
    ASSERT_NE(cam.sensor, nullptr);
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    ASSERT_EQ(cam.sensor->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, c.far_mm, c.near_mm, nullptr), 0);
    const std::vector<uint8_t> table = recording::sdk_colour_table();
    ASSERT_GT(table.size(), 3u);
    // The range applies from a frame set after the change: compare a few.
    int compared = 0;
    for (int i = 0; i < 6; ++i) {
        sdk_test::frameset_ptr fs = cam.next();
        ASSERT_TRUE(fs);
        const pvx3::frame* depth = fs->get_depth_frame();
        ASSERT_NE(depth, nullptr);
        const std::vector<uint16_t> d = sdk_test::pixels16(depth);
        std::vector<uint8_t> ours(d.size() * 3, 0x55);
        recording::colourise_depth(d.data(), d.size(), c.near_mm, c.far_mm, table, ours.data());
        if (i >= 2) {
            EXPECT_EQ(std::memcmp(ours.data(), depth->get_render_data(), ours.size()), 0) << "frame set " << i;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 4);
}

INSTANTIATE_TEST_SUITE_P(Recording, DepthColours,
                         ::testing::Values(range_case{"Whole", 0, 7500}, range_case{"Narrow", 1000, 2000},
                                           range_case{"Near", 2, 900}, range_case{"Far", 3000, 7500}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DepthColoursAtTheEdges, InvalidSaturatedLimitsAndBeyond)
{
    // A three-entry table: near, middle, far.
    const std::vector<uint8_t> table = {10, 11, 12, 20, 21, 22, 30, 31, 32};
    struct edge {
        uint16_t depth;
        int near_mm, far_mm;
        uint8_t r, g, b;
    };
    const edge edges[] = {
        {0, 1000, 3000, 0, 0, 0},          // no measurement
        {1, 1000, 3000, 127, 0, 170},      // saturated
        {999, 1000, 3000, 0, 0, 0},        // nearer than the near limit
        {1000, 1000, 3000, 10, 11, 12},    // the near limit: first entry
        {1499, 1000, 3000, 10, 11, 12},    // just short of a quarter: first entry
        {1501, 1000, 3000, 20, 21, 22},    // just past it: middle entry
        {2000, 1000, 3000, 20, 21, 22},    // half way
        {3000, 1000, 3000, 30, 31, 32},    // the far limit: last entry
        {3001, 1000, 3000, 0, 0, 0},       // beyond it
        {65535, 1000, 3000, 0, 0, 0},      // the largest depth
        {65535, 1000, 70000, 30, 31, 32},  // a far limit beyond 16 bits
        {2, 0, 4, 10, 11, 12},             // the near limit counts from 2 mm
        {1, 70000, 80000, 127, 0, 170},    // saturated beyond every limit
        {5, 5, 5, 10, 11, 12},             // far = near: a range of 1 mm
        {6, 5, 5, 30, 31, 32},
    };
    for (const edge& e : edges) {
        uint8_t rgb[3] = {0x55, 0x55, 0x55};
        recording::colourise_depth(&e.depth, 1, e.near_mm, e.far_mm, table, rgb);
        EXPECT_EQ(rgb[0], e.r) << e.depth << " in " << e.near_mm << ".." << e.far_mm;
        EXPECT_EQ(rgb[1], e.g) << e.depth << " in " << e.near_mm << ".." << e.far_mm;
        EXPECT_EQ(rgb[2], e.b) << e.depth << " in " << e.near_mm << ".." << e.far_mm;
    }
    // Without a table every measured depth is black; saturated stays marked.
    const uint16_t two[2] = {1500, 1};
    uint8_t rgb[6] = {};
    recording::colourise_depth(two, 2, 1000, 3000, {}, rgb);
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 6), (std::vector<uint8_t>{0, 0, 0, 127, 0, 170}));
}

}  // namespace
