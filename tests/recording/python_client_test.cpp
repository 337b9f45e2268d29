// A real client reads a recording: Debian's python3-rosbag, run by Debian's
// own interpreter (/usr/bin/python3, whatever python3 comes first on the
// PATH), sees the topics, counts and encodings, and the same depth pixel as
// the C++ reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "recording/reader.h"
#include "recording/repair.h"
#include "recording_test_support.h"

using namespace recording_test;
using recording::stream;

namespace {

std::string run_and_read(const std::string& command, int& status)
{
    std::string out;
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p) {
        status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    status = ::pclose(p);
    return out;
}

TEST(PythonClient, DebiansRosbagReadsTopicsCountsEncodingsAndTheSameDepthPixel)
{
    scratch_folder dir;
    const std::string path = dir.file("for_python.bag");
    capture_case c;
    const int count = 3;
    const capture_result cap = capture(path, c, count);
    ASSERT_TRUE(cap.closed) << cap.close_error;

    std::string error;
    auto r = recording::reader::open(path, error);
    ASSERT_TRUE(r) << error;
    recording::frame_set f;
    ASSERT_TRUE(r->read(0, f, error)) << error;
    const int row = 240, column = 400;
    const uint16_t cpp_pixel = f[stream::depth]->pixels16()[size_t(row) * 640 + column];
    ASSERT_GT(cpp_pixel, 1) << "pick a valid pixel";

    int status = 0;
    const std::string output = run_and_read(std::string(recording::kReindexPython) + " " + TESSIVUE_READ_RECORDING_PY
                                                + " '" + path + "' " + std::to_string(row) + " "
                                                + std::to_string(column),
                                            status);
    ASSERT_EQ(status, 0) << output;
    const nlohmann::json j = nlohmann::json::parse(output, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << output;

    const std::map<std::string, std::pair<std::string, int>> expected = {
        {"/tessivue/depth/image_raw", {"sensor_msgs/Image", count}},
        {"/tessivue/depth/camera_info", {"sensor_msgs/CameraInfo", count}},
        {"/tessivue/ir/image_raw", {"sensor_msgs/Image", count}},
        {"/tessivue/ir/camera_info", {"sensor_msgs/CameraInfo", count}},
        {"/tessivue/color/image_raw", {"sensor_msgs/Image", count}},
        {"/tessivue/color/camera_info", {"sensor_msgs/CameraInfo", count}},
        {"/tessivue/raw_phase/image_raw", {"sensor_msgs/Image", count}},
        {"/tessivue/calibration", {"std_msgs/String", 1}},
        {"/tessivue/device_info", {"std_msgs/String", 1}},
        {"/tessivue/settings", {"std_msgs/String", 2}},
        {"/tessivue/recording", {"std_msgs/String", 1}},
        {"/tessivue/summary", {"std_msgs/String", 1}},
    };
    ASSERT_EQ(j["topics"].size(), expected.size()) << j["topics"].dump();
    for (const auto& [topic, type_count] : expected) {
        ASSERT_TRUE(j["topics"].contains(topic)) << topic;
        EXPECT_EQ(j["topics"][topic]["type"], type_count.first) << topic;
        EXPECT_EQ(j["topics"][topic]["count"], type_count.second) << topic;
    }
    const std::map<std::string, std::tuple<std::string, int, int>> images = {
        {"/tessivue/depth/image_raw", {"16UC1", 640, 480}},
        {"/tessivue/ir/image_raw", {"mono16", 640, 480}},
        {"/tessivue/color/image_raw", {"yuv422_yuy2", 1920, 1080}},
        {"/tessivue/raw_phase/image_raw", {"mono16", 1280, 3840}},
    };
    for (const auto& [topic, e] : images) {
        EXPECT_EQ(j["images"][topic]["encoding"], std::get<0>(e)) << topic;
        EXPECT_EQ(j["images"][topic]["width"], std::get<1>(e)) << topic;
        EXPECT_EQ(j["images"][topic]["height"], std::get<2>(e)) << topic;
        EXPECT_EQ(j["images"][topic]["seq"], f.frame_number) << topic;
    }
    EXPECT_EQ(j["depth_pixel"], cpp_pixel);
    EXPECT_EQ(j["distortion_model"], "plumb_bob");
    EXPECT_FLOAT_EQ(j["depth_K"][0].get<double>(), float(f[stream::depth]->lens.fx));
}

}  // namespace
