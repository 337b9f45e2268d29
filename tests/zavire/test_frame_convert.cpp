#include "zavire/frame_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

struct ir_case {
    uint16_t raw;
    uint8_t gray;
};

class IrToGray : public ::testing::TestWithParam<ir_case> {
};

// raw / 2, halves rounded to the even neighbour, saturated at 255.
TEST_P(IrToGray, HalvesRoundsAndSaturates)
{
    const ir_case c = GetParam();
    const cv::Mat raw(1, 1, CV_16UC1, cv::Scalar(c.raw));
    const cv::Mat gray = ir_to_gray(raw);
    ASSERT_EQ(gray.type(), CV_8UC1);
    EXPECT_EQ(gray.at<uint8_t>(0, 0), c.gray) << "raw " << c.raw;
}

const ir_case kIrCases[] = {
    {0, 0},
    {1, 0},
    {3, 2},
    {5, 2},
    {300, 150},
    {301, 150},
    {303, 152},
    {509, 254},
    {510, 255},
    {511, 255},
    {4000, 255},
    {65535, 255},
};
INSTANTIATE_TEST_SUITE_P(Values, IrToGray, ::testing::ValuesIn(kIrCases));

TEST(IrToGrayImage, KeepsLayout)
{
    cv::Mat raw(3, 5, CV_16UC1);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c)
            raw.at<uint16_t>(r, c) = static_cast<uint16_t>(100 * r + 2 * c);
    const cv::Mat gray = ir_to_gray(raw);
    ASSERT_EQ(gray.rows, 3);
    ASSERT_EQ(gray.cols, 5);
    EXPECT_EQ(gray.at<uint8_t>(2, 4), 104);  // (200 + 8) / 2
    EXPECT_EQ(gray.at<uint8_t>(1, 3), 53);   // (100 + 6) / 2
}

TEST(ColorBar, LastEntryOnTop)
{
    // Three entries: (1,2,3), (4,5,6), (7,8,9).
    const uint8_t table[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const cv::Mat bar = make_color_bar(table, 3);
    ASSERT_EQ(bar.rows, 3);
    ASSERT_EQ(bar.cols, 1);
    ASSERT_EQ(bar.type(), CV_8UC3);
    EXPECT_EQ(bar.at<cv::Vec3b>(0, 0), cv::Vec3b(7, 8, 9));
    EXPECT_EQ(bar.at<cv::Vec3b>(1, 0), cv::Vec3b(4, 5, 6));
    EXPECT_EQ(bar.at<cv::Vec3b>(2, 0), cv::Vec3b(1, 2, 3));
    EXPECT_TRUE(make_color_bar(nullptr, 3).empty());
}

TEST(PointCloud, OrganisedAndColouredFromEitherOrder)
{
    // 2 x 2 pixels (width 2, height 2).
    const float xyz[] = {
        1,
        2,
        3,
        4,
        5,
        6,
        0,
        0,
        0,
        -1,
        -2,
        1000,
    };
    const uint8_t colours[] = {
        10,
        20,
        30,
        40,
        50,
        60,
        70,
        80,
        90,
        100,
        110,
        120,
    };
    pcl::PointCloud<pcl::PointXYZRGB> from_render;
    fill_point_cloud(from_render, xyz, colours, colour_order::rgb, 2, 2);
    ASSERT_EQ(from_render.size(), 4u);
    EXPECT_EQ(from_render.width, 2u);
    EXPECT_EQ(from_render.height, 2u);
    EXPECT_FLOAT_EQ(from_render.at(1, 1).z, 1000.f);  // column 1, row 1 = pixel 3
    EXPECT_FLOAT_EQ(from_render.at(1, 0).x, 4.f);     // column 1, row 0 = pixel 1
    EXPECT_FLOAT_EQ(from_render.points[2].z, 0.f);    // pixels without depth stay
    EXPECT_EQ(from_render.points[1].r, 40);
    EXPECT_EQ(from_render.points[1].g, 50);
    EXPECT_EQ(from_render.points[1].b, 60);
    EXPECT_EQ(from_render.points[1].a, 255);

    pcl::PointCloud<pcl::PointXYZRGB> from_bgr;
    fill_point_cloud(from_bgr, xyz, colours, colour_order::bgr, 2, 2);
    EXPECT_EQ(from_bgr.points[3].b, 100);
    EXPECT_EQ(from_bgr.points[3].g, 110);
    EXPECT_EQ(from_bgr.points[3].r, 120);

    // Rebuilding replaces the previous content instead of appending.
    fill_point_cloud(from_bgr, xyz, colours, colour_order::bgr, 1, 1);
    EXPECT_EQ(from_bgr.size(), 1u);
    EXPECT_EQ(from_bgr.width, 1u);
}

TEST(PointCloud, SaturatedAndInvalidPixelsAreNoPoints)
{
    // 3 x 2 pixels; depth 0 (invalid) and 1 (saturated) have no distance.
    const uint16_t depth[] = {
        0,
        1,
        2,
        1000,
        1,
        65535,
    };
    std::vector<float> xyz;
    for (int i = 0; i < 6; ++i)
        xyz.insert(xyz.end(), {10.f * i + 1, 10.f * i + 2, 10.f * i + 3});
    const std::vector<uint8_t> colours(18, 77);
    pcl::PointCloud<pcl::PointXYZRGB> cloud;
    fill_point_cloud(cloud, xyz.data(), colours.data(), colour_order::rgb, 3, 2);
    clear_unmeasured_points(cloud, depth);
    const bool no_point[] = {true, true, false, false, true, false};
    for (int i = 0; i < 6; ++i) {
        const pcl::PointXYZRGB& p = cloud.points[static_cast<size_t>(i)];
        if (no_point[i]) {
            EXPECT_EQ(p.x, 0.f) << i;
            EXPECT_EQ(p.y, 0.f) << i;
            EXPECT_EQ(p.z, 0.f) << i;
        } else {
            EXPECT_FLOAT_EQ(p.z, 10.f * i + 3) << i;
        }
        EXPECT_EQ(p.r, 77) << "colours stay " << i;
    }
    // The cloud stays organised.
    EXPECT_EQ(cloud.size(), 6u);
    EXPECT_EQ(cloud.width, 3u);
}

// Colour-frame sized clouds: every point is the one of its pixel.
TEST(PointCloud, LargeFramesFilledWhole)
{
    for (const auto& size : {std::pair<int, int>{1920, 1080}, {641, 481}}) {
        const int w = size.first, h = size.second;
        const size_t n = static_cast<size_t>(w) * h;
        std::vector<float> xyz(3 * n);
        std::vector<uint8_t> colours(3 * n);
        std::vector<uint16_t> depth(n);
        for (size_t i = 0; i < n; ++i) {
            xyz[3 * i] = static_cast<float>(i);
            xyz[3 * i + 1] = -static_cast<float>(i);
            xyz[3 * i + 2] = 0.5f * static_cast<float>(i);
            colours[3 * i] = static_cast<uint8_t>(i);
            colours[3 * i + 1] = static_cast<uint8_t>(i >> 8);
            colours[3 * i + 2] = static_cast<uint8_t>(i >> 16);
            depth[i] = static_cast<uint16_t>(i % 7);
        }
        pcl::PointCloud<pcl::PointXYZRGB> cloud;
        fill_point_cloud(cloud, xyz.data(), colours.data(), colour_order::bgr, w, h);
        clear_unmeasured_points(cloud, depth.data());
        ASSERT_EQ(cloud.size(), n);
        size_t wrong = 0, first = n;
        for (size_t i = 0; i < n; ++i) {
            const pcl::PointXYZRGB& p = cloud.points[i];
            const bool cleared = depth[i] <= 1;
            const bool ok = p.x == (cleared ? 0.f : static_cast<float>(i))
                            && p.z == (cleared ? 0.f : 0.5f * static_cast<float>(i))
                            && p.b == static_cast<uint8_t>(i) && p.g == static_cast<uint8_t>(i >> 8)
                            && p.r == static_cast<uint8_t>(i >> 16) && p.a == 255;
            if (!ok && wrong++ == 0)
                first = i;
        }
        EXPECT_EQ(wrong, 0u) << w << " x " << h << ": first wrong point " << first;
    }
}

// The one-pass fill gives the points of fill_point_cloud followed by
// clear_unmeasured_points, field for field (floats compared as bits, so
// NaN, -0 and infinities count), whatever the cloud held before.
TEST(PointCloud, OnePassFillEqualsFillThenClear)
{
    struct fill_case {
        const char* name;
        int width, height;
        colour_order order;
        bool with_depth;
        size_t stale_points;  // points the cloud holds before the fill
    };
    const fill_case cases[] = {
        {"1 x 1, bgr", 1, 1, colour_order::bgr, true, 0},
        {"3 x 2, rgb, shrinking", 3, 2, colour_order::rgb, true, 50},
        {"odd size, rgb, no depth", 641, 3, colour_order::rgb, false, 7},
        {"colour frame, bgr, reused storage", 1920, 1080, colour_order::bgr, true, 1920 * 1080},
        {"depth frame, rgb, growing", 640, 480, colour_order::rgb, true, 1000},
    };
    std::mt19937 rng(5);
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), -0.0f,
                              std::numeric_limits<float>::infinity(), 1e-40f};
    for (const fill_case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t n = static_cast<size_t>(c.width) * c.height;
        std::vector<float> xyz(3 * n);
        std::vector<uint8_t> colours(3 * n);
        std::vector<uint16_t> depth(n);
        std::uniform_real_distribution<float> coordinate(-8000.f, 8000.f);
        for (size_t i = 0; i < 3 * n; ++i) {
            xyz[i] = rng() % 101 == 0 ? specials[rng() % 4] : coordinate(rng);
            colours[i] = static_cast<uint8_t>(rng());
        }
        // 0 invalid, 1 saturated, 2 the smallest distance, and ordinary ones.
        for (auto& d : depth)
            d = static_cast<uint16_t>(rng() % 4 == 0 ? rng() % 3 : rng() % 65536);

        pcl::PointCloud<pcl::PointXYZRGB> expected, got;
        fill_point_cloud(expected, xyz.data(), colours.data(), c.order, c.width, c.height);
        if (c.with_depth)
            clear_unmeasured_points(expected, depth.data());
        pcl::PointXYZRGB stale(9.f, 9.f, 9.f, 1, 2, 3);
        stale.a = 7;
        got.points.assign(c.stale_points, stale);
        fill_measured_point_cloud(got, xyz.data(), colours.data(), c.order, c.with_depth ? depth.data() : nullptr,
                                  c.width, c.height);

        ASSERT_EQ(got.size(), n);
        EXPECT_EQ(got.width, expected.width);
        EXPECT_EQ(got.height, expected.height);
        EXPECT_EQ(got.is_dense, expected.is_dense);
        size_t wrong = 0, first = n;
        for (size_t i = 0; i < n; ++i) {
            const pcl::PointXYZRGB& a = got.points[i];
            const pcl::PointXYZRGB& b = expected.points[i];
            if ((std::memcmp(a.data, b.data, sizeof a.data) != 0 || a.rgba != b.rgba) && wrong++ == 0)
                first = i;
        }
        EXPECT_EQ(wrong, 0u) << "first differing point " << first;
    }
}

TEST(Yuyv, VideoRangeGreysAndRed)
{
    // Two pixels per 4 bytes: Y0 U Y1 V. Video range: Y 16 = black, 235 = white.
    const std::vector<uint8_t> yuyv = {16, 128, 235, 128, 126, 128, 126, 128};
    const cv::Mat rgb = yuyv_to_rgb(yuyv.data(), 4, 1);
    ASSERT_EQ(rgb.type(), CV_8UC3);
    auto near = [](const cv::Vec3b& px, int v) {
        return std::abs(px[0] - v) <= 1 && std::abs(px[1] - v) <= 1 && std::abs(px[2] - v) <= 1;
    };
    EXPECT_TRUE(near(rgb.at<cv::Vec3b>(0, 0), 0));
    EXPECT_TRUE(near(rgb.at<cv::Vec3b>(0, 1), 255));
    EXPECT_TRUE(near(rgb.at<cv::Vec3b>(0, 2), 128));  // 1.164 x (126 - 16) = 128
    // Strong V (red difference): R channel (index 0) rises above B.
    const std::vector<uint8_t> red = {81, 90, 81, 240};
    const cv::Mat r = yuyv_to_rgb(red.data(), 2, 1);
    EXPECT_GT(r.at<cv::Vec3b>(0, 0)[0], 200);
    EXPECT_LT(r.at<cv::Vec3b>(0, 0)[2], 60);
}

}  // namespace
