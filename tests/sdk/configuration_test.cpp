// The SDK's configuration variables: camera presence and modules, device
// information, and the faults (dropped frames, slow source, lost device,
// missing reconstruction library).
#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <chrono>
#include <string>

#include "sdk_test_support.h"

using namespace sdk_test;

namespace {

TEST(Configuration, NoCamera)
{
    scoped_environment env({{"PVX3_NO_CAMERA", "1"}});
    camera cam;
    pvx3::pvx3_error err;
    EXPECT_EQ(cam.ctx->query_devices(nullptr), 0);
    EXPECT_EQ(cam.ctx->get_device(&err), nullptr);
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_NO_DEVICE);
    ASSERT_NE(cam.cfg, nullptr);
    ASSERT_NE(cam.pipe, nullptr);
    EXPECT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}}), pvx3::PVX3_ERROR_NO_DEVICE);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(cam.pipe->wait_for_frames(15000, &err), nullptr);
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_NOT_STREAMING);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
}

struct module_case {
    const char* name;
    const char* variable;
    std::vector<int> streams;
    bool has_sensor;
};

void PrintTo(const module_case& c, std::ostream* os) { *os << c.name; }


class Modules : public ::testing::TestWithParam<module_case> { };

TEST_P(Modules, ReportTheirStreamsAndFormats)
{
    const module_case c = GetParam();
    scoped_environment env = c.variable ? scoped_environment({{c.variable, "1"}}) : scoped_environment();
    camera cam;
    ASSERT_NE(cam.dev, nullptr);
    EXPECT_EQ(cam.dev->get_support_stream(nullptr), c.streams);
    EXPECT_EQ(cam.sensor != nullptr, c.has_sensor);
    for (const pvx3::pvx3_stream_format& f : cam.dev->get_support_format(nullptr)) {
        EXPECT_NE(std::find(c.streams.begin(), c.streams.end(), f.type), c.streams.end());
        const bool known = (f.type == pvx3::PVX3_STREAM_RGB && ((f.width == 1920 && f.height == 1080) || (f.width == 1280 && f.height == 720)))
                           || (f.type != pvx3::PVX3_STREAM_RGB && ((f.width == 640 && f.height == 480) || (f.width == 320 && f.height == 240)));
        EXPECT_TRUE(known) << f.type << ": " << f.width << " x " << f.height;
    }
    // A start asking for streams the camera lacks opens those it has.
    const int rc = cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}, {pvx3::PVX3_STREAM_RGB, 1920, 1080}});
    ASSERT_EQ(rc, 0);
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    const bool tof = std::find(c.streams.begin(), c.streams.end(), 2) != c.streams.end();
    const bool rgb = std::find(c.streams.begin(), c.streams.end(), 3) != c.streams.end();
    EXPECT_EQ(fs->get_depth_frame(nullptr) != nullptr, tof);
    EXPECT_EQ(fs->get_rgb_frame(nullptr) != nullptr, rgb);
}

INSTANTIATE_TEST_SUITE_P(Configuration, Modules,
                         ::testing::Values(module_case{"Dual", nullptr, {2, 3, 4, 6}, true},
                                           module_case{"WithoutColour", "PVX3_NO_RGB", {2, 4, 6}, true},
                                           module_case{"WithoutRawFrames", "PVX3_NO_RAW_FRAMES", {2, 3, 4}, true},
                                           module_case{"WithoutToF", "PVX3_NO_TOF", {3}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Configuration, DeviceInformationAndVersion)
{
    {
        scoped_environment env;
        camera cam;
        EXPECT_STREQ(pvx3::pvx3_get_device_info(cam.dev, 0, nullptr), "DUAL-T4");
        EXPECT_STREQ(pvx3::pvx3_get_device_info(cam.dev, 2, nullptr), "v1.3.2");
        EXPECT_STREQ(pvx3::pvx3_get_device_info(cam.dev, 4, nullptr), "v1.3.2");
        EXPECT_NE(pvx3::pvx3_get_device_info(cam.dev, 1, nullptr), nullptr);
        pvx3::pvx3_error err;
        EXPECT_EQ(pvx3::pvx3_get_device_info(cam.dev, 7, &err), nullptr);
        EXPECT_EQ(err.code, pvx3::PVX3_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(pvx3::pvx3_get_device_info(nullptr, 0, &err), nullptr);
    }
    scoped_environment env({{"PVX3_MODULE_NAME", "QZ20-B"},
                            {"PVX3_PRODUCT_NUMBER", "PN-77"},
                            {"PVX3_FIRMWARE_VERSION", "v2.0.1"},
                            {"PVX3_RECOMMENDED_FIRMWARE_VERSION", "v2.1.0"},
                            {"PVX3_SERIAL_NUMBER", "SN42"}});
    camera cam;
    EXPECT_STREQ(pvx3::pvx3_get_device_info(cam.dev, pvx3::PVX3_CAMERA_INFO_MODULE_NAME, nullptr), "QZ20-B");
    EXPECT_STREQ(pvx3::pvx3_get_device_info(cam.dev, pvx3::PVX3_CAMERA_INFO_PRODUCT_NUMBER, nullptr), "PN-77");
    EXPECT_STREQ(pvx3::pvx3_get_device_info(cam.dev, pvx3::PVX3_CAMERA_INFO_FIRMWARE_VERSION, nullptr), "v2.0.1");
    EXPECT_STREQ(pvx3::pvx3_get_device_info(cam.dev, pvx3::PVX3_CAMERA_INFO_RECOMMENDED_FIRMWARE_VERSION, nullptr),
                 "v2.1.0");
    EXPECT_STREQ(pvx3::pvx3_get_device_info(cam.dev, pvx3::PVX3_CAMERA_INFO_SERIAL_NUMBER, nullptr), "SN42");
    EXPECT_STREQ(pvx3::pvx3_get_version(nullptr), "v0.6.0.3");
}

TEST(Configuration, DroppedFramesLeaveGapsInTheSequence)
{
    scoped_environment env({{"PVX3_DROP_EVERY", "3"}});
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    std::vector<uint64_t> numbers;
    for (int i = 0; i < 6; ++i) {
        frameset_ptr fs = cam.next();
        ASSERT_TRUE(fs);
        numbers.push_back(fs->get_ir_frame(nullptr)->get_frame_number(nullptr));
    }
    EXPECT_EQ(numbers, (std::vector<uint64_t>{0, 1, 3, 4, 6, 7}));
}

TEST(Configuration, SlowSourceSpacesItsFrames)
{
    scoped_environment env({{"PVX3_FRAME_DELAY_MS", "300"}});
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    frameset_ptr a = cam.next(), b = cam.next();
    ASSERT_TRUE(a && b);
    const uint64_t ta = a->get_ir_frame(nullptr)->get_timestamp_us(nullptr);
    const uint64_t tb = b->get_ir_frame(nullptr)->get_timestamp_us(nullptr);
    EXPECT_NEAR(double(tb - ta), 333333.0, 2.0);
    // A wait much shorter than the spacing times out, after its timeout.
    pvx3::pvx3_error err;
    const auto t0 = std::chrono::steady_clock::now();
    frameset_ptr none(cam.pipe->wait_for_frames(20, &err));
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_FALSE(none);
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_TIMEOUT);
    EXPECT_GE(waited, std::chrono::milliseconds(20));
}

TEST(Configuration, DeviceLostAfterItsFrames)
{
    scoped_environment env({{"PVX3_LOST_AFTER", "4"}});
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(cam.next()) << i;
    pvx3::pvx3_error err;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(cam.pipe->wait_for_frames(15000, &err), nullptr);
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_NO_DEVICE);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_EQ(cam.ctx->query_devices(nullptr), 0);
    EXPECT_EQ(cam.ctx->get_device(nullptr), nullptr);
    uint16_t v = 0;
    EXPECT_EQ(cam.sensor->get_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, v, nullptr), pvx3::PVX3_ERROR_NO_DEVICE);
    EXPECT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), pvx3::PVX3_ERROR_NO_DEVICE);
}

TEST(Configuration, MissingReconstructionLibraryIsReportedAtStart)
{
    scoped_environment env({{"PVX3_RECONSTRUCTION_LIBRARY", "/nonexistent/libqzreconstruction.so"}});
    camera cam;
    cam.cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480, nullptr);
    pvx3::pvx3_error err;
    EXPECT_EQ(cam.pipe->start(cam.cfg, &err), pvx3::PVX3_ERROR_LIBRARY);
    EXPECT_NE(err.message.find("qzreconstruction"), std::string::npos) << err.message;
    // Streams that need no depth computation still run.
    cam.cfg->disable_stream(pvx3::PVX3_STREAM_DEPTH, nullptr);
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 640, 480}}), 0);
    EXPECT_TRUE(cam.next());
}

TEST(Configuration, StreamConfigurationIsChecked)
{
    scoped_environment env;
    camera cam;
    EXPECT_EQ(cam.cfg->enable_stream(9, 640, 480, nullptr), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(cam.cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, 800, 600, nullptr), pvx3::PVX3_ERROR_UNSUPPORTED);
    ASSERT_EQ(cam.cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480, nullptr), 0);
    ASSERT_EQ(cam.cfg->enable_stream(pvx3::PVX3_STREAM_IR, 320, 240, nullptr), 0);
    EXPECT_EQ(cam.pipe->start(cam.cfg, nullptr), pvx3::PVX3_ERROR_INVALID_ARGUMENT);  // one sensor, one size
    EXPECT_EQ(cam.pipe->start(nullptr, nullptr), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(pvx3::pvx3_create_pipeline(nullptr, nullptr), nullptr);
    EXPECT_EQ(pvx3::pvx3_create_config(nullptr, nullptr), nullptr);
}

}  // namespace

namespace {

// IR of frame set 0 (scene time 0) of a fresh camera under the current environment.
std::vector<uint16_t> first_ir()
{
    camera cam;
    if (cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}) != 0)
        return {};
    frameset_ptr fs = cam.next();
    return fs ? pixels16(fs->get_ir_frame(nullptr)) : std::vector<uint16_t>{};
}

TEST(Configuration, SeedMakesTheNoiseRepeatable)
{
    std::vector<uint16_t> a, b, c;
    {
        scoped_environment env({{"PVX3_SEED", "11"}});
        a = first_ir();
        b = first_ir();
    }
    {
        scoped_environment env({{"PVX3_SEED", "12"}});
        c = first_ir();
    }
    ASSERT_EQ(a.size(), size_t(320) * 240);
    EXPECT_EQ(a, b);
    ASSERT_EQ(c.size(), a.size());
    long differ = 0;
    for (size_t i = 0; i < a.size(); ++i)
        differ += a[i] != c[i];
    EXPECT_GT(differ, long(a.size() / 4));
}

TEST(Configuration, AmbientTemperatureIsWhereTheSensorStarts)
{
    scoped_environment env({{"PVX3_AMBIENT_C", "40"}, {"PVX3_WARMUP_S", "1000"}});
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    pvx3::testing::frame_conditions cond;
    ASSERT_TRUE(pvx3::testing::conditions_of(fs->get_ir_frame(nullptr), cond));
    EXPECT_NEAR(cond.temperature_c, 40.0, 0.05);
}

}  // namespace
