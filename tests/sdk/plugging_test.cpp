// Unplugging and plugging in the camera of a context: what stays lost, what
// a camera plugged in again gives, and the variables and test hooks that do
// it. Also: dumps on a full disk leave no truncated file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

#include "sdk_test_support.h"
#include "support/file_size_limit.h"

using namespace sdk_test;
using clock_type = std::chrono::steady_clock;

namespace {

// Waits until query_devices counts `n`, at most `ms`.
bool wait_for_count(pvx3::context* ctx, int n, int ms)
{
    const auto deadline = clock_type::now() + std::chrono::milliseconds(ms);
    while (clock_type::now() < deadline) {
        if (ctx->query_devices(nullptr) == n)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ctx->query_devices(nullptr) == n;
}

struct loss_case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> env;
    bool unplug_by_hook;  // else PVX3_LOST_AFTER ends the stream
    bool plug_by_hook;    // else PVX3_RECONNECT_MS brings it back
};

class Plugging : public ::testing::TestWithParam<loss_case> { };

TEST_P(Plugging, LostHandlesStayLostAndTheCameraComesBackAsANewDevice)
{
    const loss_case& c = GetParam();
    scoped_environment env(c.env);
    camera cam;
    ASSERT_NE(cam.dev, nullptr);
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(cam.next()) << i;
    if (c.unplug_by_hook) {
        ASSERT_TRUE(pvx3::testing::unplug_camera(cam.ctx));
    }

    // The stream ends at once with "no device".
    pvx3::pvx3_error err;
    const auto t0 = clock_type::now();
    while (frameset_ptr set{cam.pipe->wait_for_frames(5000, &err)}) {
    }
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_NO_DEVICE);
    EXPECT_LT(clock_type::now() - t0, std::chrono::seconds(2));
    EXPECT_EQ(cam.ctx->query_devices(nullptr), 0);
    EXPECT_EQ(cam.ctx->get_device(nullptr), nullptr);
    EXPECT_FALSE(pvx3::testing::unplug_camera(cam.ctx)) << "nothing left to unplug";

    if (c.plug_by_hook) {
        ASSERT_TRUE(pvx3::testing::plug_camera(cam.ctx));
    }
    ASSERT_TRUE(wait_for_count(cam.ctx, 1, 5000));
    EXPECT_FALSE(pvx3::testing::plug_camera(cam.ctx)) << "a camera is connected already";
    pvx3::device* again = cam.ctx->get_device(nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, cam.dev);

    // Everything made for the lost camera stays lost.
    uint16_t v = 0;
    EXPECT_EQ(cam.sensor->get_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, v, nullptr), pvx3::PVX3_ERROR_NO_DEVICE);
    EXPECT_EQ(cam.pipe->start(cam.cfg, nullptr), pvx3::PVX3_ERROR_NO_DEVICE);

    // A new pipeline streams from the camera plugged in again.
    pvx3::sensor* sensor = again->get_sensor(nullptr);
    ASSERT_NE(sensor, nullptr);
    EXPECT_EQ(sensor->get_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, v, nullptr), 0);
    pvx3::pipeline* pipe = pvx3::pvx3_create_pipeline(cam.ctx, nullptr);
    pvx3::config* cfg = pvx3::pvx3_create_config(cam.ctx, nullptr);
    cfg->enable_stream(pvx3::PVX3_STREAM_IR, 320, 240, nullptr);
    ASSERT_EQ(pipe->start(cfg, nullptr), 0);
    frameset_ptr frame{pipe->wait_for_frames(60000, nullptr)};
    EXPECT_TRUE(frame);
    pipe->stop(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, Plugging,
    ::testing::Values(loss_case{"lost_after_then_reconnect_ms", {{"PVX3_LOST_AFTER", "3"}, {"PVX3_RECONNECT_MS", "300"}}, false, false},
                      loss_case{"lost_after_then_plug_hook", {{"PVX3_LOST_AFTER", "3"}}, false, true},
                      loss_case{"unplug_hook_then_reconnect_ms", {{"PVX3_RECONNECT_MS", "200"}}, true, false},
                      loss_case{"unplug_hook_then_plug_hook", {}, true, true}),
    [](const ::testing::TestParamInfo<loss_case>& info) { return std::string(info.param.name); });

TEST(Plugging, WithoutReconnectTheCameraStaysUnplugged)
{
    scoped_environment env({{"PVX3_LOST_AFTER", "2"}});
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    while (cam.next(5000)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(cam.ctx->query_devices(nullptr), 0);
}

TEST(Plugging, ACameraPluggedInAgainIsLostAgainAfterAsManyFrameSets)
{
    scoped_environment env({{"PVX3_LOST_AFTER", "2"}, {"PVX3_RECONNECT_MS", "50"}});
    camera cam;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(wait_for_count(cam.ctx, 1, 5000)) << round;
        pvx3::pipeline* pipe = pvx3::pvx3_create_pipeline(cam.ctx, nullptr);
        pvx3::config* cfg = pvx3::pvx3_create_config(cam.ctx, nullptr);
        cfg->enable_stream(pvx3::PVX3_STREAM_IR, 320, 240, nullptr);
        ASSERT_EQ(pipe->start(cfg, nullptr), 0) << round;
        int frames = 0;
        while (frameset_ptr set{pipe->wait_for_frames(5000, nullptr)})
            ++frames;
        EXPECT_EQ(frames, 2) << round;
    }
}

TEST(Plugging, CameraConnectedAfterTheContextWasMade)
{
    scoped_environment env({{"PVX3_CONNECT_AFTER_MS", "300"}});
    pvx3::context* ctx = pvx3::pvx3_create_context(nullptr);
    EXPECT_EQ(ctx->query_devices(nullptr), 0);
    EXPECT_EQ(ctx->get_device(nullptr), nullptr);
    ASSERT_TRUE(wait_for_count(ctx, 1, 5000));
    EXPECT_NE(ctx->get_device(nullptr), nullptr);
}

TEST(Plugging, NoCameraUntilOneIsPluggedIn)
{
    scoped_environment env({{"PVX3_NO_CAMERA", "1"}});
    pvx3::context* ctx = pvx3::pvx3_create_context(nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ctx->query_devices(nullptr), 0);
    EXPECT_FALSE(pvx3::testing::unplug_camera(ctx));
    ASSERT_TRUE(pvx3::testing::plug_camera(ctx));
    EXPECT_EQ(ctx->query_devices(nullptr), 1);
    EXPECT_NE(ctx->get_device(nullptr), nullptr);
}

TEST(Dump, AFullDiskLeavesNoTruncatedFile)
{
    scoped_environment env;
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 640, 480}}), 0);
    frameset_ptr set = cam.next();
    ASSERT_TRUE(set);
    char folder[] = "/tmp/pvx3_dumpXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string base = std::string(folder) + "/IR[1]";
    pvx3::pvx3_error err;
    {
        file_size_limit limit(4096);
        EXPECT_EQ(set->get_ir_frame(nullptr)->dump(base.c_str(), &err), pvx3::PVX3_ERROR_IO);
    }
    for (const char* suffix : {".png", ".png.part", ".json", ".json.part"})
        EXPECT_NE(access((base + suffix).c_str(), F_OK), 0) << suffix;
    // With room the same dump is whole.
    EXPECT_EQ(set->get_ir_frame(nullptr)->dump(base.c_str(), &err), 0) << err.message;
    EXPECT_EQ(access((base + ".png").c_str(), F_OK), 0);
    EXPECT_NE(access((base + ".png.part").c_str(), F_OK), 0);
    std::remove((base + ".png").c_str());
    std::remove((base + ".json").c_str());
    rmdir(folder);
}

}  // namespace
