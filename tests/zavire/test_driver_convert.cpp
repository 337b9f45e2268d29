// Frame conversion into the process-wide frame data, and device parameters,
// against the virtual camera.
#include "driver_fixture.h"

#include "zavire/frame_data.h"

#include <QImage>
#include <QVariant>

#include <parvolux3/pvx3.h>
#include <parvolux3/pvx3_testing.h>

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <array>
#include <memory>
#include <optional>

namespace {

const std::pair<QByteArray, QByteArray> kFast{"PVX3_PACING", "fast"};

// raw / 2 rounded half to even, saturated: written out independently of
// OpenCV's conversion.
uint8_t expected_gray(uint16_t raw)
{
    const unsigned half = raw / 2u;
    unsigned v = half;
    if (raw % 2u == 1u && half % 2u == 1u)
        v = half + 1;  // x.5 goes to the even neighbour
    return static_cast<uint8_t>(std::min(v, 255u));
}

TEST(FrameConversion, DepthAndIrImagesOnTheTwoDPage)
{
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 2));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_ir"), 2));

    {
        std::lock_guard<std::mutex> guard(frame_data::depth_image_lock);
        ASSERT_EQ(frame_data::depth_color_image.type(), CV_8UC3);
        ASSERT_EQ(frame_data::depth_raw_image.type(), CV_16UC1);
        EXPECT_EQ(frame_data::depth_color_image.size(), cv::Size(640, 480));
        EXPECT_EQ(frame_data::depth_raw_image.size(), cv::Size(640, 480));
        // Depth in millimetres: the simulated scene lies between 0.1 and 10 m.
        double lo = 0, hi = 0;
        cv::minMaxLoc(frame_data::depth_raw_image, &lo, &hi);
        EXPECT_GT(hi, 100);
        EXPECT_LT(hi, 10000);
    }
    cv::Mat raw, gray;
    {
        std::lock_guard<std::mutex> guard(frame_data::ir_image_lock);
        raw = frame_data::ir_raw_image.clone();
        gray = frame_data::ir_image.clone();
    }
    ASSERT_EQ(raw.size(), cv::Size(640, 480));
    ASSERT_EQ(gray.type(), CV_8UC1);
    int mismatches = 0;
    for (int r = 0; r < raw.rows; ++r)
        for (int c = 0; c < raw.cols; ++c)
            mismatches += gray.at<uint8_t>(r, c) != expected_gray(raw.at<uint16_t>(r, c)) ? 1 : 0;
    EXPECT_EQ(mismatches, 0);

    // The 2D page never announces the cloud.
    EXPECT_EQ(h.count(QStringLiteral("update_cloud_point_vec")), 0);
    EXPECT_LT(h.close(), 1000);
}

TEST(FrameConversion, OrganisedCloudOnTheThreeDPage)
{
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec")));
    {
        // The scene has saturated pixels for the check below.
        std::lock_guard<std::mutex> guard(frame_data::depth_image_lock);
        EXPECT_GT(cv::countNonZero(frame_data::depth_raw_image == 1), 1000);
    }
    h.driver()->slot_change_mode(1);
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_cloud_point_vec"), 2));
    // Once the 3D page shows, the depth images are no longer refreshed.
    const int images = h.count(QStringLiteral("update_date_vec"));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_cloud_point_vec"), 2));
    EXPECT_LE(h.count(QStringLiteral("update_date_vec")), images + 1);

    {
        std::lock_guard<std::mutex> guard(frame_data::point_cloud_lock);
        ASSERT_TRUE(frame_data::point_cloud);
        const auto& cloud = *frame_data::point_cloud;
        EXPECT_EQ(cloud.width, 640u);
        EXPECT_EQ(cloud.height, 480u);
        EXPECT_EQ(cloud.size(), 640u * 480u);
        int alpha_ok = 0;
        for (const auto& p : cloud.points)
            alpha_ok += p.a == 255 ? 1 : 0;
        EXPECT_EQ(alpha_ok, 640 * 480);
        // Saturated pixels (the near card) are no points 1 mm in front of
        // the camera, as invalid ones are none.
        int near_points = 0;
        for (const auto& p : cloud.points)
            near_points += (p.z != 0.0f && std::abs(p.z) < 2.0f) ? 1 : 0;
        EXPECT_EQ(near_points, 0);
        const frame_data::camera_pose& pose = frame_data::view_camera_pose;
        EXPECT_DOUBLE_EQ(pose.position[2], -10000.0);
        EXPECT_DOUBLE_EQ(pose.focal_point[2], 1.0);
        EXPECT_DOUBLE_EQ(pose.view_up[1], -1.0);
    }
    EXPECT_LT(h.close(), 1000);
}

TEST(FrameConversion, RgbdCloudColouredFromTheRegisteredColourFrame)
{
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));

    // Captured on the acquisition thread, in emission order: the cloud of a
    // pass, then the colour image of the same pass.
    std::mutex lock;
    pcl::PointCloud<pcl::PointXYZRGB> cloud;
    QImage colour;
    bool cloud_pending = false;
    QObject::connect(
        h.driver(), &driver_operate::sig_update_cloud_point_vec, h.driver(),
        [&] {
            std::lock_guard<std::mutex> g(lock);
            if (!colour.isNull())
                return;
            std::lock_guard<std::mutex> c(frame_data::point_cloud_lock);
            cloud = *frame_data::point_cloud;
            cloud_pending = true;
        },
        Qt::DirectConnection);
    QObject::connect(
        h.driver(), &driver_operate::sig_show_rgb, h.driver(),
        [&](QPixmap p) {
            std::lock_guard<std::mutex> g(lock);
            if (cloud_pending && colour.isNull())
                colour = p.toImage().convertToFormat(QImage::Format_RGB888);
        },
        Qt::DirectConnection);

    h.driver()->slot_change_mode(1);
    h.driver()->start_rgbd();
    h.driver()->wake();
    ASSERT_TRUE(process_until([&] {
        std::lock_guard<std::mutex> g(lock);
        return !colour.isNull();
    },
                              60000));
    // The captures refer to locals: end the thread before reading them.
    h.close();
    ASSERT_EQ(cloud.width, 1920u);
    ASSERT_EQ(cloud.height, 1080u);
    ASSERT_EQ(colour.width(), 1920);
    int mismatches = 0;
    for (int i = 0; i < 1920 * 1080; i += 101) {
        const uchar* px = colour.constScanLine(i / 1920) + 3 * (i % 1920);
        const auto& pt = cloud.points[static_cast<size_t>(i)];
        mismatches += (pt.r != px[0] || pt.g != px[1] || pt.b != px[2]) ? 1 : 0;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FrameConversion, ColourBarFromTheSdkTable)
{
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_FALSE(frame_data::color_bar.empty());
    EXPECT_EQ(frame_data::color_bar.cols, 1);
    EXPECT_GT(frame_data::color_bar.rows, 1);
    EXPECT_EQ(frame_data::color_bar.type(), CV_8UC3);
}

struct integral_case {
    const char* name;
    uint16_t set;
    int read;
};

class IntegrationTime : public ::testing::TestWithParam<integral_case> {
};

TEST_P(IntegrationTime, CappedAtTheMaximum)
{
    camera_env env({kFast, {"PVX3_SETTLE_MS", "0"}});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    h.driver()->slot_integral_time(GetParam().set);
    ASSERT_EQ(h.count(QStringLiteral("integral_time_finish")), 1);  // emitted on this thread
    EXPECT_TRUE(h.events(QStringLiteral("integral_time_finish"))[0].args[0].toBool());
    EXPECT_EQ(h.driver()->get_integral_time(), GetParam().read);
}

const integral_case kIntegralCases[] = {
    {"below_cap", 2991, 2991},
    {"at_cap_start", 2992, 3000},
    {"reported_2995", 2995, 3000},
    {"maximum", 3000, 3000},
    {"small", 150, 150},
};
INSTANTIATE_TEST_SUITE_P(Values, IntegrationTime, ::testing::ValuesIn(kIntegralCases),
                         [](const ::testing::TestParamInfo<integral_case>& info) {
                             return std::string(info.param.name);
                         });

TEST(IntegrationTimeRefused, MessageAndFalse)
{
    camera_env env({kFast, {"PVX3_REFUSE_SET_OPTION", "1"}});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    h.driver()->slot_integral_time(1000);
    ASSERT_EQ(h.count(QStringLiteral("integral_time_finish")), 1);
    EXPECT_FALSE(h.events(QStringLiteral("integral_time_finish"))[0].args[0].toBool());
    EXPECT_EQ(h.messages.count(QString::fromUtf8("The integral_time cannot be changed at this time. Please wait"
                                                 "\xc2\xb7\xc2\xb7\xc2\xb7")),
              1);

    // Any other refusal (out of range) is silent but still reverts the panel.
    h.messages.clear();
    h.driver()->slot_integral_time(5);
    ASSERT_EQ(h.count(QStringLiteral("integral_time_finish")), 2);
    EXPECT_FALSE(h.events(QStringLiteral("integral_time_finish"))[1].args[0].toBool());
    EXPECT_TRUE(h.messages.texts().isEmpty());
}

TEST(DistanceRange, RequestsWithPlaceholderLimitsAreIgnored)
{
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    const std::pair<int, int> before = h.driver()->get_distance_range();
    h.driver()->slot_change_distance_range(7500, 4000);  // near limit 7500
    EXPECT_EQ(h.driver()->get_distance_range(), before);
    h.driver()->slot_change_distance_range(300, 0);  // far limit 0
    EXPECT_EQ(h.driver()->get_distance_range(), before);
    h.driver()->slot_change_distance_range(400, 3500);
    EXPECT_EQ(h.driver()->get_distance_range(), std::make_pair(3500, 400));  // far first
}

TEST(SensorOptions, FilterAndFlips)
{
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    EXPECT_EQ(h.driver()->set_filter(true), 0);
    bool on = false;
    ASSERT_TRUE(h.driver()->get_filter(on));
    EXPECT_TRUE(on);
    EXPECT_EQ(h.driver()->set_filter(false), 0);
    ASSERT_TRUE(h.driver()->get_filter(on));
    EXPECT_FALSE(on);
    EXPECT_EQ(h.driver()->set_flip_vertical(true), 0);
    EXPECT_EQ(h.driver()->set_flip_horizontal(true), 0);
    const std::pair<int, int> range = h.driver()->get_integral_time_range();
    EXPECT_GT(range.first, range.second);  // maximum first
    const std::pair<int, int> limits = h.driver()->get_option3_range();
    EXPECT_GT(limits.first, limits.second);
}

// The true lens of the virtual camera's 640 x 480 depth image, from a frame
// of a context of the test's own (the simulator's record of the frame).
std::optional<std::array<double, 9>> true_depth_lens()
{
    pvx3::context* ctx = pvx3::pvx3_create_context(nullptr);
    if (ctx == nullptr)
        return std::nullopt;
    ctx->query_devices(nullptr);
    if (ctx->get_device(nullptr) == nullptr)
        return std::nullopt;
    pvx3::config* cfg = pvx3::pvx3_create_config(ctx, nullptr);
    pvx3::pipeline* pipe = pvx3::pvx3_create_pipeline(ctx, nullptr);
    cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480, nullptr);
    std::optional<std::array<double, 9>> lens;
    if (pipe->start(cfg, nullptr) == 0) {
        std::unique_ptr<pvx3::frameset> fs(pipe->wait_for_frames(60000, nullptr));
        pvx3::testing::frame_conditions c;
        if (fs && fs->get_depth_frame(nullptr) && pvx3::testing::conditions_of(fs->get_depth_frame(nullptr), c)) {
            lens.emplace();
            std::copy(std::begin(c.lens), std::end(c.lens), lens->begin());
        }
        pipe->stop(nullptr);
    }
    return lens;
}

TEST(FrameConversion, DepthFactsCarryNumberTimeFlipsAndTheLens)
{
    camera_env env({kFast});
    const auto truth = true_depth_lens();
    ASSERT_TRUE(truth.has_value());

    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 3));
    auto facts = [] {
        std::lock_guard<std::mutex> guard(frame_data::depth_image_lock);
        return frame_data::depth_facts;
    };
    const frame_data::depth_frame_facts first = facts();
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 2));
    const frame_data::depth_frame_facts later = facts();
    // Numbered and timed by the camera, in order.
    EXPECT_GT(later.frame_number, first.frame_number);
    EXPECT_GT(later.time_s, first.time_s);
    EXPECT_FALSE(later.flip_vertical);
    EXPECT_FALSE(later.flip_horizontal);

    // The lens learnt from the point cloud is the simulator's.
    ASSERT_TRUE(later.lens.has_value());
    const quality::depth_intrinsics& l = *later.lens;
    EXPECT_EQ(l.width, 640);
    EXPECT_EQ(l.height, 480);
    EXPECT_NEAR(l.fx, (*truth)[0], 0.002 * (*truth)[0]);
    EXPECT_NEAR(l.fy, (*truth)[1], 0.002 * (*truth)[1]);
    EXPECT_NEAR(l.cx, (*truth)[2], 0.5);
    EXPECT_NEAR(l.cy, (*truth)[3], 0.5);
    EXPECT_NEAR(l.k1, (*truth)[4], 0.01);

    // Flips reach the facts of the frames taken with them.
    EXPECT_EQ(h.driver()->set_flip_horizontal(true), 0);
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 3));
    EXPECT_TRUE(facts().flip_horizontal);
    EXPECT_FALSE(facts().flip_vertical);
    EXPECT_LT(h.close(), 1000);
}

}  // namespace
