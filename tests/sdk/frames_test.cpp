// Frame contents, metadata and dumps, and the ownership rules of the header:
// every buffer the SDK hands over can be released as documented (run under
// AddressSanitizer to check).
#include <gtest/gtest.h>

#include <ostream>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "sdk_test_support.h"

using namespace sdk_test;

namespace {

std::string temp_folder()
{
    char pattern[] = "/tmp/pvx3_dump_XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "";
}

std::string read_text(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct dump_case {
    const char* name;
    int stream;
};

void PrintTo(const dump_case& c, std::ostream* os) { *os << c.name; }


class Dump : public ::testing::TestWithParam<dump_case> { };

TEST_P(Dump, WritesLosslessPngAndMetadata)
{
    const dump_case c = GetParam();
    scoped_environment env;
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 320, 240}, {pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    cam.next();
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    pvx3::frame* f = c.stream == pvx3::PVX3_STREAM_DEPTH ? fs->get_depth_frame(nullptr) : fs->get_ir_frame(nullptr);
    ASSERT_NE(f, nullptr);
    const std::string dir = temp_folder();
    ASSERT_FALSE(dir.empty());
    const std::string base = dir + "/Depth[1]";
    ASSERT_EQ(f->dump(base.c_str(), nullptr), 0);

    const cv::Mat png = cv::imread(base + ".png", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(png.type(), CV_16UC1);
    ASSERT_EQ(png.cols, 320);
    ASSERT_EQ(png.rows, 240);
    const std::vector<uint16_t> expected = pixels16(f);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), png.ptr<uint16_t>()));

    const std::string json = read_text(base + ".json");
    for (const std::string key : {"\"frame_number\": 1", "\"width\": 320", "\"height\": 240",
                                  "\"sdk_version\": \"v0.6.0.3\"", "\"integration_time_us\": 1000",
                                  "\"temperature_c\":", "\"timestamp_us\": 33333", "\"fx\":"})
        EXPECT_NE(json.find(key), std::string::npos) << key << " missing in\n"
                                                     << json;
    EXPECT_NE(json.find(c.stream == pvx3::PVX3_STREAM_DEPTH ? "\"unit\": \"millimetre\"" : "\"stream\": \"ir\""),
              std::string::npos);

    pvx3::pvx3_error err;
    EXPECT_EQ(f->dump((dir + "/missing/sub/IR[1]").c_str(), &err), pvx3::PVX3_ERROR_IO);
    EXPECT_FALSE(err.message.empty());
    std::remove((base + ".png").c_str());
    std::remove((base + ".json").c_str());
    rmdir(dir.c_str());
}

INSTANTIATE_TEST_SUITE_P(Frames, Dump,
                         ::testing::Values(dump_case{"Depth", pvx3::PVX3_STREAM_DEPTH},
                                           dump_case{"Ir", pvx3::PVX3_STREAM_IR}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Frames, ColourIsPackedYuyvOfTheScene)
{
    scoped_environment env;
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_RGB, 1920, 1080}}), 0);
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    pvx3::frame* rgb = fs->get_rgb_frame(nullptr);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(fs->get_depth_frame(nullptr), nullptr);
    EXPECT_EQ(rgb->get_data_size(nullptr), size_t(1920) * 1080 * 2);
    EXPECT_EQ(rgb->get_render_data(nullptr), nullptr);
    pvx3::pvx3_error err;
    EXPECT_EQ(rgb->dump("/tmp/never", &err), pvx3::PVX3_ERROR_UNSUPPORTED);
    const cv::Mat yuyv(1080, 1920, CV_8UC2, const_cast<void*>(rgb->get_data(nullptr)));
    cv::Mat bgr;
    cv::cvtColor(yuyv, bgr, cv::COLOR_YUV2BGR_YUY2);
    // The scene is lit and coloured: a wide spread of values, no blank image.
    cv::Scalar mean, dev;
    cv::meanStdDev(bgr, mean, dev);
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_GT(mean[ch], 40) << ch;
        EXPECT_GT(dev[ch], 20) << ch;
    }
}

TEST(Frames, MovingObjectChangesTheLiveView)
{
    scoped_environment env;
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_RGB, 1280, 720}, {pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    frameset_ptr a = cam.next();
    for (int i = 0; i < 14; ++i)
        cam.next();
    frameset_ptr b = cam.next();
    ASSERT_TRUE(a && b);
    const auto* ca = static_cast<const uint8_t*>(a->get_rgb_frame(nullptr)->get_data(nullptr));
    const auto* cb = static_cast<const uint8_t*>(b->get_rgb_frame(nullptr)->get_data(nullptr));
    long changed = 0;
    for (size_t i = 0; i < size_t(1280) * 720 * 2; ++i)
        changed += ca[i] != cb[i];
    EXPECT_GT(changed, 2000);             // the swinging ball moved
    EXPECT_LT(changed, 1280L * 720 / 2);  // the rest of the room stayed
}

// The engine reuses a cloud's storage for the next: a cloud of an earlier
// depth frame computed again after another is the same, point for point
// (pixels without depth included, which stay (0, 0, 0)).
TEST(PointCloud, EachCallHoldsOnlyItsOwnFramesPoints)
{
    scoped_environment env;
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    frameset_ptr first = cam.next();
    frameset_ptr second = cam.next();
    ASSERT_TRUE(first && second);
    pvx3::process_engine* engine = cam.pipe->get_process_engine(nullptr);
    auto points = [&](const frameset_ptr& fs) {
        pvx3::frame* cloud = engine->depth_to_point_cloud(fs->get_depth_frame(nullptr), nullptr);
        std::vector<float> out;
        if (!cloud)
            return out;
        float* xyz = static_cast<float*>(cloud->get_render_data(nullptr));
        out.assign(xyz, xyz + size_t(640) * 480 * 3);
        delete[] xyz;
        return out;
    };
    const std::vector<float> a = points(first);
    const std::vector<float> b = points(second);
    const std::vector<float> again = points(first);
    ASSERT_EQ(a.size(), size_t(640) * 480 * 3);
    EXPECT_NE(a, b) << "two frames of a live camera differ";
    EXPECT_EQ(again, a);
}

TEST(Ownership, EveryHandedOverBufferIsReleasedAsDocumented)
{
    scoped_environment env;
    uint8_t* table = nullptr;
    int count = 0;
    ASSERT_EQ(pvx3::pvx3_get_colormap_table(&table, &count, nullptr), 0);
    ASSERT_EQ(count, 360);
    EXPECT_EQ(table[0], 128);            // near end dark red
    EXPECT_EQ(table[3 * 359 + 2], 143);  // far end dark blue
    delete[] table;
    EXPECT_EQ(pvx3::pvx3_get_colormap_table(nullptr, &count, nullptr), pvx3::PVX3_ERROR_INVALID_ARGUMENT);

    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}, {pvx3::PVX3_STREAM_RGB, 1920, 1080}}), 0);
    for (int i = 0; i < 3; ++i) {
        pvx3::frameset* fs = cam.pipe->wait_for_frames(60000, nullptr);
        ASSERT_NE(fs, nullptr);
        pvx3::process_engine* engine = cam.pipe->get_process_engine(nullptr);
        pvx3::frame* cloud = engine->depth_to_point_cloud(fs->get_depth_frame(nullptr), nullptr);
        ASSERT_NE(cloud, nullptr);
        float* xyz = static_cast<float*>(cloud->get_render_data(nullptr));
        delete[] xyz;
        pvx3::frameset* reg = engine->depth_to_rgb(fs->get_depth_frame(nullptr), fs->get_rgb_frame(nullptr), nullptr);
        ASSERT_NE(reg, nullptr);
        // Render data of a depth frame belongs to the frame.
        EXPECT_NE(reg->get_depth_frame(nullptr)->get_render_data(nullptr), nullptr);
        delete reg;
        delete fs;
    }
    // Frames outlive the pipeline's own reference when the caller keeps the set.
    frameset_ptr kept = cam.next();
    cam.pipe->stop(nullptr);
    ASSERT_TRUE(kept);
    EXPECT_EQ(pixels16(kept->get_depth_frame(nullptr)).size(), size_t(640) * 480);

    // Engine inputs are checked.
    pvx3::pvx3_error err;
    EXPECT_EQ(cam.pipe->get_process_engine(nullptr)->depth_to_point_cloud(nullptr, &err), nullptr);
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(cam.pipe->get_process_engine(nullptr)->depth_to_rgb(kept->get_depth_frame(nullptr), nullptr, &err),
              nullptr);
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_INVALID_ARGUMENT);
}

}  // namespace

// Pipelines live until the process ends and a viewer makes one at every
// module open; each kept its own engine and with it the last point cloud
// (25 MB at colour size), so memory grew with every reopen. The pipelines of
// one camera share its engine: the cloud of a later open takes the place of
// the earlier one.
TEST(PointCloud, ReopeningTheCameraKeepsOneEngineAndOneCloud)
{
    scoped_environment env;
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    pvx3::process_engine* first = cam.pipe->get_process_engine(nullptr);
    pvx3::frame* cloud = first->depth_to_point_cloud(fs->get_depth_frame(nullptr), nullptr);
    ASSERT_NE(cloud, nullptr);
    const void* storage = cloud->get_data(nullptr);
    cam.pipe->stop(nullptr);

    for (int open = 0; open < 3; ++open) {
        pvx3::pipeline* again = pvx3::pvx3_create_pipeline(cam.ctx, nullptr);
        ASSERT_NE(again, nullptr);
        ASSERT_NE(again, cam.pipe);
        pvx3::process_engine* engine = again->get_process_engine(nullptr);
        EXPECT_EQ(engine, first) << "open " << open;
        ASSERT_EQ(again->start(cam.cfg, nullptr), 0);
        frameset_ptr next(again->wait_for_frames(60000, nullptr));
        ASSERT_TRUE(next);
        pvx3::frame* later = engine->depth_to_point_cloud(next->get_depth_frame(nullptr), nullptr);
        ASSERT_NE(later, nullptr);
        // The same point storage, handed on from open to open.
        EXPECT_EQ(later->get_data(nullptr), storage) << "open " << open;
        again->stop(nullptr);
    }
}
