// Depth registered to the colour image lands on the objects the colour camera
// sees there (ground truth from the colour camera's own ray cast), and the
// point cloud lies on the scene's surfaces.
#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

#include "sdk_test_support.h"

using namespace sdk_test;
namespace pt = pvx3::testing;

namespace {

struct flip_case {
    const char* name;
    bool vertical, horizontal;
};

void PrintTo(const flip_case& c, std::ostream* os) { *os << c.name; }


class Registration : public ::testing::TestWithParam<flip_case> { };

// Mirrors a truth image as the camera mirrors its streams.
pt::truth_image mirrored(const pt::truth_image& t, bool vertical, bool horizontal)
{
    pt::truth_image m = t;
    for (int v = 0; v < t.height; ++v)
        for (int u = 0; u < t.width; ++u) {
            const int sv = vertical ? t.height - 1 - v : v, su = horizontal ? t.width - 1 - u : u;
            m.depth_mm[size_t(v) * t.width + u] = t.depth_mm[size_t(sv) * t.width + su];
            m.object[size_t(v) * t.width + u] = t.object[size_t(sv) * t.width + su];
        }
    return m;
}

TEST_P(Registration, DepthLandsOnTheTexturedObjectsWithinThreePixels)
{
    const flip_case c = GetParam();
    scoped_environment env;
    camera cam;
    ASSERT_NE(cam.sensor, nullptr);
    cam.sensor->set_option(pvx3::PVX3_OPTION_FLIP_VERTICAL, c.vertical, nullptr);
    cam.sensor->set_option(pvx3::PVX3_OPTION_FLIP_HORIZONTAL, c.horizontal, nullptr);
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}, {pvx3::PVX3_STREAM_RGB, 1920, 1080}}), 0);
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    pvx3::frame* depth = fs->get_depth_frame(nullptr);
    pvx3::frame* rgb = fs->get_rgb_frame(nullptr);
    ASSERT_NE(depth, nullptr);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(fs->get_ir_frame(nullptr), nullptr);  // IR was not enabled

    pvx3::pvx3_error err;
    frameset_ptr reg(cam.pipe->get_process_engine(nullptr)->depth_to_rgb(depth, rgb, &err));
    ASSERT_TRUE(reg) << err.message;
    pvx3::frame* rdepth = reg->get_depth_frame(nullptr);
    pvx3::frame* rcolour = reg->get_rgb_frame(nullptr);
    ASSERT_NE(rdepth, nullptr);
    ASSERT_NE(rcolour, nullptr);
    ASSERT_EQ(rdepth->get_width(nullptr), 1920);
    ASSERT_EQ(rdepth->get_height(nullptr), 1080);
    EXPECT_EQ(rcolour->get_data_size(nullptr), size_t(1920) * 1080 * 3);

    pt::frame_conditions cond;
    ASSERT_TRUE(pt::conditions_of(depth, cond));
    const pt::truth_image truth = mirrored(pt::colour_truth(cond.scene_time_s), c.vertical, c.horizontal);
    const std::vector<uint16_t> d = pixels16(rdepth);
    const int w = 1920, h = 1080, r = 3;
    long checked = 0, misplaced = 0;
    for (int v = r; v < h - r; ++v)
        for (int u = r; u < w - r; ++u) {
            const uint16_t z = d[size_t(v) * w + u];
            if (z <= 1)
                continue;
            bool near_textured = false;
            float best = 1e9f;
            for (int dv = -r; dv <= r; ++dv)
                for (int du = -r; du <= r; ++du) {
                    const size_t q = size_t(v + dv) * w + u + du;
                    const int16_t o = truth.object[q];
                    near_textured = near_textured || o == pt::kPosterBox || o == pt::kCheckerBoard;
                    best = std::min(best, std::abs(truth.depth_mm[q] - float(z)));
                }
            if (!near_textured)
                continue;
            ++checked;
            // Within 3 pixels the colour camera sees a surface at that depth.
            if (best > 60.0f)
                ++misplaced;
        }
    std::printf("registered pixels near textured objects: %ld, misplaced: %ld\n", checked, misplaced);
    EXPECT_GT(checked, 50000);
    EXPECT_LT(double(misplaced) / double(checked), 0.01);
}

INSTANTIATE_TEST_SUITE_P(Flips, Registration,
                         ::testing::Values(flip_case{"Upright", false, false}, flip_case{"Mirrored", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PointCloud, PointsLieOnTheSceneAlongEachPixelsRay)
{
    scoped_environment env;
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    pvx3::frame* depth = fs->get_depth_frame(nullptr);
    ASSERT_NE(depth, nullptr);
    pvx3::frame* cloud = cam.pipe->get_process_engine(nullptr)->depth_to_point_cloud(depth, nullptr);
    ASSERT_NE(cloud, nullptr);
    EXPECT_EQ(cloud->get_stream_type(nullptr), pvx3::PVX3_STREAM_POINT_CLOUD);
    EXPECT_EQ(cloud->get_data(nullptr), nullptr);
    std::unique_ptr<float[]> xyz(static_cast<float*>(cloud->get_render_data(nullptr)));  // caller frees
    ASSERT_TRUE(xyz);

    pt::frame_conditions cond;
    ASSERT_TRUE(pt::conditions_of(depth, cond));
    const pt::truth_image truth = pt::depth_truth(640, 480, cond.scene_time_s);
    // Expected ray of each pixel from OpenCV's undistortion of the frame's lens.
    const cv::Matx33d k(cond.lens[0], 0, cond.lens[2], 0, cond.lens[1], cond.lens[3], 0, 0, 1);
    const std::vector<double> dist = {cond.lens[4], cond.lens[5], cond.lens[6], cond.lens[7], cond.lens[8]};
    std::vector<cv::Point2f> pixels, rays;
    for (int v = 100; v < 380; v += 7)
        for (int u = 100; u < 540; u += 7)
            pixels.emplace_back(float(u), float(v));
    cv::undistortPoints(pixels, rays, k, dist, cv::noArray(), cv::noArray(),
                        cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 50, 1e-9));
    const std::vector<uint16_t> d = pixels16(depth);
    int good = 0, total = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const size_t p = size_t(pixels[i].y) * 640 + size_t(pixels[i].x);
        if (d[p] <= 1)
            continue;
        ++total;
        const float* pt3 = &xyz[3 * p];
        EXPECT_FLOAT_EQ(pt3[2], float(d[p]));
        const double z = truth.depth_mm[p];
        const double ex = rays[i].x * z, ey = rays[i].y * z;
        if (std::abs(pt3[0] - ex) < 25 && std::abs(pt3[1] - ey) < 25 && std::abs(pt3[2] - z) < 40)
            ++good;
    }
    ASSERT_GT(total, 1000);
    EXPECT_GT(double(good) / total, 0.97);
}

}  // namespace
