// The files of `export` are those the viewer saves from the camera: the
// colour-coded depth equals the SDK's render data, the point cloud the SDK's
// point-cloud frame (through the reconstruction library), pixel for pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <pcl/io/pcd_io.h>
#include <pcl/point_types.h>

#include "frame_files.h"
#include "recording/pvx3_capture.h"
#include "recording/reader.h"
#include "recording/writer.h"
#include "recording_test_support.h"
#include "sdk_test_support.h"

using recording::stream;

namespace {

struct orientation_case {
    const char* name;
    bool flip_vertical, flip_horizontal;
};
void PrintTo(const orientation_case& c, std::ostream* os) { *os << c.name; }

class ExportFiles : public ::testing::TestWithParam<orientation_case> { };

TEST_P(ExportFiles, ColourDepthAndCloudEqualWhatTheSdkGivesTheViewer)
{
    const orientation_case c = GetParam();
    recording_test::scratch_folder dir;
    sdk_test::scoped_environment env;
    sdk_test::camera cam;
    ASSERT_TRUE(cam.dev && cam.sensor);
    cam.sensor->set_option(pvx3::PVX3_OPTION_FLIP_VERTICAL, c.flip_vertical, nullptr);
    cam.sensor->set_option(pvx3::PVX3_OPTION_FLIP_HORIZONTAL, c.flip_horizontal, nullptr);
    cam.sensor->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, 5000, 500, nullptr);
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    sdk_test::frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    pvx3::frame* depth = fs->get_depth_frame(nullptr);
    ASSERT_TRUE(depth);
    const auto* render = static_cast<const uint8_t*>(depth->get_render_data(nullptr));
    pvx3::frame* cloud_frame = cam.pipe->get_process_engine(nullptr)->depth_to_point_cloud(depth, nullptr);
    ASSERT_TRUE(cloud_frame);
    std::unique_ptr<float[]> sdk_xyz(static_cast<float*>(cloud_frame->get_render_data(nullptr)));

    // Record the frame set, read it back, export it.
    const std::string path = dir.file("one.bag");
    std::string error;
    {
        auto w = recording::writer::create(path, {}, error);
        ASSERT_TRUE(w) << error;
        const auto cal = recording::capture_calibration(cam.dev, 640, 480);
        ASSERT_TRUE(cal);
        w->set_calibration(*cal);
        const recording::camera_settings s = recording::capture_settings(cam.sensor, 640, 480, 0, 0);
        w->set_settings(s);
        recording::frame_set_view v;
        ASSERT_TRUE(recording::view_frame_set(*fs, recording::kAllStreamBits, recording::lenses_for(cal, s), v));
        ASSERT_TRUE(w->submit(v));
        ASSERT_TRUE(w->close(error)) << error;
    }
    auto r = recording::reader::open(path, error);
    ASSERT_TRUE(r) << error;
    recording::frame_set f;
    ASSERT_TRUE(r->read(0, f, error)) << error;
    auto engine = recording::reprocessor::create(error);
    ASSERT_TRUE(engine) << error;
    cli::frame_exporter exporter(dir.path(), "one.bag", {}, engine.get());
    std::vector<std::string> written;
    ASSERT_TRUE(exporter.write(f, r->settings_at(0), r->calibration_at(0), {true, false, false, true}, "", written,
                               error))
        << error;
    const std::string n = std::to_string(f.frame_number);

    const cv::Mat coloured = cv::imread(dir.file("depth[" + n + "].png"), cv::IMREAD_COLOR);
    ASSERT_EQ(coloured.size(), cv::Size(640, 480));
    size_t colour_mismatch = 0;
    for (int i = 0; i < 640 * 480; ++i) {
        const cv::Vec3b bgr = coloured.at<cv::Vec3b>(i / 640, i % 640);
        colour_mismatch += bgr[2] != render[3 * i] || bgr[1] != render[3 * i + 1] || bgr[0] != render[3 * i + 2];
    }
    EXPECT_EQ(colour_mismatch, 0u);

    pcl::PointCloud<pcl::PointXYZRGB> cloud;
    ASSERT_EQ(pcl::io::loadPCDFile(dir.file("PointCloud[" + n + "].pcd"), cloud), 0);
    ASSERT_EQ(cloud.width, 640u);
    ASSERT_EQ(cloud.height, 480u);
    size_t point_mismatch = 0, colour_of_point = 0;
    for (size_t i = 0; i < cloud.size(); ++i) {
        const pcl::PointXYZRGB& p = cloud[i];
        // Eight significant digits in the ASCII file.
        for (int k = 0; k < 3; ++k) {
            const float want = sdk_xyz[3 * i + size_t(k)];
            const float got = k == 0 ? p.x : k == 1 ? p.y
                                                    : p.z;
            point_mismatch += std::abs(got - want) > 1e-7f * std::max(1.0f, std::abs(want)) * 10;
        }
        colour_of_point += p.r != render[3 * i] || p.g != render[3 * i + 1] || p.b != render[3 * i + 2];
    }
    EXPECT_EQ(point_mismatch, 0u);
    EXPECT_EQ(colour_of_point, 0u);
}

INSTANTIATE_TEST_SUITE_P(Export, ExportFiles,
                         ::testing::Values(orientation_case{"Upright", false, false},
                                           orientation_case{"Flipped", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExportFiles, TheSensorTemperatureComesFromTheRawHeaderWords)
{
    recording::image raw;
    raw.width = 64;
    raw.height = 64;
    raw.step = 128;
    raw.encoding = "mono16";
    raw.data.assign(size_t(raw.step) * raw.height, 0);
    auto* w = reinterpret_cast<uint16_t*>(raw.data.data());
    w[26] = 100;  // 25 degrees, shifted left by 2
    w[28] = 512;  // 128 / 256 degrees
    EXPECT_DOUBLE_EQ(*cli::raw_temperature(raw, 4), 25.5);
    w[188] = 4;
    w[190] = 214;  // code 309
    EXPECT_NEAR(*cli::raw_temperature(raw, 1), 25 + 13 / 5.4, 1e-9);
    EXPECT_FALSE(cli::raw_temperature(raw, 3));
}

}  // namespace
