#include <gtest/gtest.h>

#include "widget_module/view_depth_probe.h"
#include "widget_module/view_depth_window.h"

namespace {

struct deviation_case {
    const char* name;
    std::vector<int> samples;
    double expected;  // worked out by hand with the truncating arithmetic
};

class Deviation : public ::testing::TestWithParam<deviation_case> { };

TEST_P(Deviation, TruncatedMeanAndVariance)
{
    const auto& c = GetParam();
    const auto dev = view_window_deviation(c.samples);
    ASSERT_TRUE(dev.has_value());
    EXPECT_DOUBLE_EQ(*dev, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Views, Deviation,
    ::testing::Values(
        // mean 3002 / 3 = 1000, acc 0 + 1 + 1 = 2, variance 2 / 2 = 1.
        deviation_case{"truncated_not_exact", {1000, 1001, 1001}, 1.0},
        // mean 1002, acc 4 + 0 + 4 = 8, variance 4.
        deviation_case{"even_spread", {1000, 1002, 1004}, 2.0},
        deviation_case{"constant", {500, 500, 500, 500}, 0.0},
        // mean 2, acc 1+1+1+1+0 -> samples 1,3,1,3,2: acc 4, variance 1.
        deviation_case{"five", {1, 3, 1, 3, 2}, 1.0},
        // 0 and 65535 twice: mean 43690, acc 43690^2 + 2 * 21845^2 = 2863224150,
        // past 32 bits; variance 1431612075, sqrt = 37836.65...
        deviation_case{"past_32_bits", {0, 65535, 65535}, std::sqrt(1431612075.0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviationWindow, FewerThanThreeSamplesGiveNothing)
{
    EXPECT_FALSE(view_window_deviation({}).has_value());
    EXPECT_FALSE(view_window_deviation({1000, 1200}).has_value());
}

TEST(DeviationWindow, DropOldestKeepsTheLastFifteen)
{
    std::vector<int> w;
    for (int i = 1; i <= 16; ++i)
        view_push_sample(w, i, view_window_policy::drop_oldest);
    ASSERT_EQ(w.size(), 15u);
    EXPECT_EQ(w.front(), 2);
    EXPECT_EQ(w.back(), 16);
}

TEST(DeviationWindow, RestartEmptiesAFullWindow)
{
    std::vector<int> w;
    for (int i = 1; i <= 15; ++i)
        view_push_sample(w, i, view_window_policy::restart);
    ASSERT_EQ(w.size(), 15u);
    view_push_sample(w, 99, view_window_policy::restart);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w.front(), 99);
}

TEST(DeviationWindow, MillimetreText)
{
    EXPECT_EQ(view_mm_text(1.0), QStringLiteral("1.000 mm"));
    EXPECT_EQ(view_mm_text(std::sqrt(2.0)), QStringLiteral("1.414 mm"));
}

// A 4 x 3 raw depth image; every pixel holds 100 * row + column.
cv::Mat probe_raw()
{
    cv::Mat raw(3, 4, CV_16UC1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            raw.at<quint16>(y, x) = static_cast<quint16>(100 * y + x);
    return raw;
}

TEST(DepthProbe, BorderAndOutsidePixelsShowOnlyTheLocation)
{
    const cv::Mat raw = probe_raw();
    const cv::Mat color(3, 4, CV_8UC3, cv::Scalar::all(0));
    for (QPoint p : {QPoint(0, 1), QPoint(1, 0), QPoint(4, 1), QPoint(1, 3), QPoint(-1, 1)}) {
        QPoint stat(9, 9);
        std::vector<int> samples{1, 2};
        const auto t = view_probe_depth(p, color, raw, &stat, &samples,
                                        view_window_policy::drop_oldest);
        EXPECT_EQ(t.location, QStringLiteral("%1x%2").arg(p.x()).arg(p.y()));
        EXPECT_FALSE(t.distance.has_value()) << p.x() << "," << p.y();
        EXPECT_FALSE(t.stddev.has_value());
        EXPECT_EQ(stat, QPoint(9, 9));
        EXPECT_EQ(samples.size(), 2u);
    }
}

TEST(DepthProbe, NewPixelRestartsThenCollects)
{
    const cv::Mat raw = probe_raw();
    const cv::Mat color(3, 4, CV_8UC3, cv::Scalar::all(0));
    QPoint stat;
    std::vector<int> samples{7, 7, 7};
    auto t = view_probe_depth({3, 2}, color, raw, &stat, &samples,
                              view_window_policy::drop_oldest);
    EXPECT_EQ(*t.distance, QStringLiteral("203 mm"));
    EXPECT_EQ(*t.stddev, QStringLiteral("0.000 mm"));
    EXPECT_TRUE(samples.empty());
    t = view_probe_depth({3, 2}, color, raw, &stat, &samples, view_window_policy::drop_oldest);
    EXPECT_FALSE(t.stddev.has_value());
    EXPECT_EQ(samples, std::vector<int>{203});
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
