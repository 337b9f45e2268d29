// Device report, resolution table, stream commands and closing, against the
// virtual camera.
#include "driver_fixture.h"

#include <QVariant>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const std::pair<QByteArray, QByteArray> kFast{"PVX3_PACING", "fast"};

struct module_case {
    const char* name;
    const char* module;
    int width;
    int height;
};

class DeviceReport : public ::testing::TestWithParam<module_case> {
};

TEST_P(DeviceReport, InfoThenResolutionTable)
{
    const module_case& c = GetParam();
    camera_env env({kFast,
                    {"PVX3_MODULE_NAME", c.module},
                    {"PVX3_PRODUCT_NUMBER", "PN-77"},
                    {"PVX3_FIRMWARE_VERSION", "v9.8.7"},
                    {"PVX3_RECOMMENDED_FIRMWARE_VERSION", "v9.9.0"}});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));

    const QList<driver_event> info = h.events(QStringLiteral("device_info"));
    ASSERT_EQ(info.size(), 1);
    EXPECT_EQ(info[0].args[0].toString(), QString::fromLatin1(c.module));
    EXPECT_EQ(info[0].args[1].toString(), QStringLiteral("PN-77"));
    EXPECT_EQ(info[0].args[2].toString(), QStringLiteral("v9.8.7"));
    EXPECT_EQ(info[0].args[3].toString(), QStringLiteral("v9.9.0"));
    EXPECT_TRUE(info[0].args[4].toBool());
    EXPECT_TRUE(info[0].args[5].toBool());
    // The report comes before the resolution table.
    EXPECT_EQ(h.all()[0].name, QStringLiteral("device_info"));
    EXPECT_EQ(h.all()[1].name, QStringLiteral("reset_resolution"));

    const tof_param_info p = h.driver()->get_depth_resolutions();
    EXPECT_EQ(p.resolutions.size(), 2);
    EXPECT_EQ(p.resolutions.value(640), 480);
    EXPECT_EQ(p.resolutions.value(320), 240);
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
    EXPECT_EQ(p.integral_time_min, 1);

    const QList<stream_format> rgb = h.driver()->get_rgb_formats();
    ASSERT_EQ(rgb.size(), 2);
    EXPECT_EQ(rgb[0].width, 1920);
    EXPECT_EQ(rgb[0].height, 1080);
    EXPECT_EQ(rgb[0].type, 3);

    // Waiting for the first wake(): closing is immediate.
    EXPECT_LT(h.close(), 1000);
}

const module_case kModules[] = {
    {"dual", "DUAL-T4", 640, 480},
    {"qz20_starts_at_last_depth_format", "QZ20-DUAL", 320, 240},
    {"qz20_is_case_sensitive", "qz20-dual", 640, 480},
};
INSTANTIATE_TEST_SUITE_P(Modules, DeviceReport, ::testing::ValuesIn(kModules),
                         [](const ::testing::TestParamInfo<module_case>& info) {
                             return std::string(info.param.name);
                         });

TEST(DeviceReportStreams, WithoutColourCamera)
{
    camera_env env({kFast, {"PVX3_NO_RGB", "1"}});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    const QList<driver_event> info = h.events(QStringLiteral("device_info"));
    ASSERT_EQ(info.size(), 1);
    EXPECT_TRUE(info[0].args[4].toBool());
    EXPECT_FALSE(info[0].args[5].toBool());
    EXPECT_TRUE(h.driver()->get_rgb_formats().isEmpty());
}

TEST(NoCamera, ReportsFailureAndRetriesOnWake)
{
    camera_env env({kFast, {"PVX3_NO_CAMERA", "1"}});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("open_faild")));
    ASSERT_TRUE(process_until([&] { return h.messages.count(QStringLiteral("open device fail!")) == 1; }));
    EXPECT_EQ(h.count(QStringLiteral("device_info")), 0);

    h.driver()->wake();
    ASSERT_TRUE(h.wait_for(QStringLiteral("open_faild"), 2));
    EXPECT_TRUE(process_until([&] { return h.messages.count(QStringLiteral("open device fail!")) == 2; }));

    // Parameters without a camera: zeros, and a refused integration time.
    EXPECT_EQ(h.driver()->get_integral_time(), 0);
    EXPECT_EQ(h.driver()->get_distance_range(), std::make_pair(0, 0));
    bool on = true;
    EXPECT_FALSE(h.driver()->get_filter(on));
    int mode = 7;
    EXPECT_FALSE(h.driver()->get_filter_mode(mode));
    EXPECT_EQ(h.driver()->get_filter_mode_max(), 0) << "no camera offers no filter mode";
    EXPECT_EQ(h.driver()->set_filter_mode(2), 0);
    h.driver()->slot_integral_time(500);
    ASSERT_EQ(h.count(QStringLiteral("integral_time_finish")), 1);  // emitted on this thread, delivered at once
    EXPECT_FALSE(h.events(QStringLiteral("integral_time_finish"))[0].args[0].toBool());

    EXPECT_LT(h.close(), 1000);
}

TEST(Commands, StartAndStopEachModule)
{
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.start_tof());
    EXPECT_EQ(h.events(QStringLiteral("finish_change_frame")).back().args,
              (QList<QVariant>{true, 640, 480, 0}));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 3));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_ir"), 3));
    EXPECT_EQ(h.events(QStringLiteral("show_ir")).back().args[0].toSize(), QSize(640, 480));

    // RGB beside ToF.
    h.driver()->start_rgb();
    h.driver()->wake();
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("finish_change_frame")));
    EXPECT_EQ(h.events(QStringLiteral("finish_change_frame")).back().args, (QList<QVariant>{true, 1920, 1080, 1}));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_rgb"), 2));
    EXPECT_EQ(h.events(QStringLiteral("show_rgb")).back().args[0].toSize(), QSize(1920, 1080));

    // Stopping ToF keeps the colour frames coming and ends the depth ones.
    h.driver()->stop_tof();
    h.driver()->wake();
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_rgb"), 2));  // the restart has happened by now
    const int depth_after_stop = h.count(QStringLiteral("update_date_vec"));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_rgb"), 3));
    EXPECT_EQ(h.count(QStringLiteral("update_date_vec")), depth_after_stop);
    EXPECT_FALSE(h.driver()->m_tof_on);
    EXPECT_TRUE(h.driver()->m_rgb_on);

    // And back: stopping RGB while ToF runs keeps depth coming.
    h.driver()->start_tof();
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("finish_change_frame")));
    h.driver()->stop_rgb();
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 2));
    const int rgb_after_stop = h.count(QStringLiteral("show_rgb"));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 3));
    EXPECT_EQ(h.count(QStringLiteral("show_rgb")), rgb_after_stop);

    EXPECT_LT(h.close(), 1000);
}

TEST(Commands, RgbdReportsTwiceInOrder)
{
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    h.driver()->start_rgbd();
    h.driver()->wake();
    ASSERT_TRUE(h.wait_for(QStringLiteral("finish_change_frame"), 2));
    const QList<driver_event> f = h.events(QStringLiteral("finish_change_frame"));
    EXPECT_EQ(f[0].args, (QList<QVariant>{true, 1920, 1080, 0}));
    EXPECT_EQ(f[1].args, (QList<QVariant>{true, 1920, 1080, 1}));
    EXPECT_FALSE(h.driver()->m_tof_on);
    EXPECT_FALSE(h.driver()->m_rgb_on);
    EXPECT_TRUE(h.driver()->m_rgbd_on);
    // Registered frames: depth images and colour pixmaps at the colour size.
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("update_date_vec"), 2, 60000));
    ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_rgb"), 2, 60000));
    EXPECT_EQ(h.events(QStringLiteral("show_rgb")).back().args[0].toSize(), QSize(1920, 1080));
    EXPECT_EQ(h.driver()->get_depth_resolutions().width, 640);
    const driver_operate::loop_statistics stats = h.driver()->statistics();
    std::printf("RGBD pass: %.1f ms mean, %.1f ms max over %llu frame sets\n", stats.work_ms_total / stats.frame_sets,
                stats.work_ms_max, static_cast<unsigned long long>(stats.frame_sets));
    EXPECT_LT(h.close(), 1000);
}

struct resolution_case {
    const char* name;
    int module;    // 0 ToF, 1 RGB, 2 RGBD
    int type;      // stream of the request
    bool reports;  // a finish report follows
};

class ResolutionChange : public ::testing::TestWithParam<resolution_case> {
};

TEST_P(ResolutionChange, InEachModuleState)
{
    const resolution_case& c = GetParam();
    camera_env env({kFast});
    driver_harness h;
    h.open();
    ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    if (c.module == 0)
        h.driver()->start_tof();
    else if (c.module == 1)
        h.driver()->start_rgb();
    else
        h.driver()->start_rgbd();
    h.driver()->wake();
    const int starts = c.module == 2 ? 2 : 1;
    ASSERT_TRUE(h.wait_for(QStringLiteral("finish_change_frame"), starts));

    const int w = c.type == 0 ? 320 : 1280;
    const int hgt = c.type == 0 ? 240 : 720;
    h.driver()->slot_change_stram(w, hgt, c.type);
    if (c.reports) {
        ASSERT_TRUE(h.wait_for(QStringLiteral("finish_change_frame"), starts + 1));
        EXPECT_EQ(h.events(QStringLiteral("finish_change_frame")).back().args, (QList<QVariant>{true, w, hgt, c.type}));
        if (c.type == 0) {
            EXPECT_EQ(h.driver()->get_depth_resolutions().width, 320);
        }
    } else {
        // Nothing is queued. Signals of the loop arrive in emission order, so
        // two frames passing after the request prove that no report was due.
        const QString frames = c.module == 0 ? QStringLiteral("update_date_vec") : QStringLiteral("show_rgb");
        ASSERT_TRUE(h.wait_for_more(frames, 2));
        EXPECT_EQ(h.count(QStringLiteral("finish_change_frame")), starts);
    }
    if (c.module == 0 && c.type == 0) {
        // The restarted stream delivers the new size.
        ASSERT_TRUE(h.wait_for_more(QStringLiteral("show_ir"), 3));
        EXPECT_EQ(h.events(QStringLiteral("show_ir")).back().args[0].toSize(), QSize(320, 240));
    }
    // Closing times are checked under real-time pacing (CloseWithinOneSecond):
    // here the camera produces as fast as it can, and stopping it waits for
    // the frame set in production.
    h.close();
}

const resolution_case kResolutionCases[] = {
    {"depth_while_tof", 0, 0, true},
    {"colour_while_tof_is_stored_only", 0, 1, false},
    {"colour_while_rgb", 1, 1, true},
    {"depth_while_rgb_is_stored_only", 1, 0, false},
    {"depth_while_rgbd", 2, 0, true},
    {"colour_while_rgbd", 2, 1, true},
};
INSTANTIATE_TEST_SUITE_P(States, ResolutionChange, ::testing::ValuesIn(kResolutionCases),
                         [](const ::testing::TestParamInfo<resolution_case>& info) {
                             return std::string(info.param.name);
                         });

struct close_case {
    const char* name;
    std::vector<std::pair<QByteArray, QByteArray>> env;
    bool wake;          // wake the loop at all
    bool start_tof;     // stream before closing
    int frames;         // depth frames to wait for first
    bool rgbd = false;  // stream RGBD instead of ToF
};

class CloseWithinOneSecond : public ::testing::TestWithParam<close_case> {
};

TEST_P(CloseWithinOneSecond, InEveryState)
{
    const close_case& c = GetParam();
    camera_env env(c.env);
    driver_harness h;
    h.open();
    if (c.name == std::string("no_camera")) {
        ASSERT_TRUE(h.wait_for(QStringLiteral("open_faild")));
    } else {
        ASSERT_TRUE(h.wait_for(QStringLiteral("reset_resolution")));
    }
    if (c.start_tof) {
        if (c.rgbd)
            h.driver()->start_rgbd();
        else
            h.driver()->start_tof();
    }
    if (c.wake)
        h.driver()->wake();
    if (c.start_tof && c.wake) {
        ASSERT_TRUE(h.wait_for(QStringLiteral("finish_change_frame"), c.rgbd ? 2 : 1));
    }
    if (c.frames > 0) {
        ASSERT_TRUE(h.wait_for(QStringLiteral("update_date_vec"), c.frames, 60000));
    }
    const qint64 ms = h.close();
    EXPECT_LT(ms, 1000) << c.name;
}

const close_case kCloseCases[] = {
    {"never_woken", {{"PVX3_PACING", "fast"}}, false, false, 0},
    {"never_woken_with_command_queued", {{"PVX3_PACING", "fast"}}, false, true, 0},
    {"woken_idle", {{"PVX3_PACING", "fast"}}, true, false, 0},
    {"streaming", {}, true, true, 3},
    {"streaming_fast_pacing", {{"PVX3_PACING", "fast"}}, true, true, 3},
    {"streaming_rgbd", {}, true, true, 2, true},
    {"no_camera", {{"PVX3_NO_CAMERA", "1"}}, false, false, 0},
    {"camera_lost", {{"PVX3_PACING", "fast"}, {"PVX3_LOST_AFTER", "5"}}, true, true, 1},
    {"frame_set_wait_pending", {{"PVX3_FRAME_DELAY_MS", "8000"}}, true, true, 1},
};
INSTANTIATE_TEST_SUITE_P(States, CloseWithinOneSecond, ::testing::ValuesIn(kCloseCases),
                         [](const ::testing::TestParamInfo<close_case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
