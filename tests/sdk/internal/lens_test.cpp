// The lens model against OpenCV's independent implementation of the same
// distortion model, and round trips pixel -> ray -> pixel.
#include <gtest/gtest.h>

#include <ostream>

#include <cmath>

#include <opencv2/calib3d.hpp>

#include "calibration.h"
#include "lens.h"

namespace {

using pvx3::detail::lens_model;

struct lens_case {
    const char* name;
    lens_model lens;
};

void PrintTo(const lens_case& c, std::ostream* os) { *os << c.name; }


class Lens : public ::testing::TestWithParam<lens_case> { };

TEST_P(Lens, RayOfAPixelProjectsBackOntoIt)
{
    const lens_model& l = GetParam().lens;
    double worst = 0;
    for (int v = 0; v < l.height; v += 37)
        for (int u = 0; u < l.width; u += 41) {
            double x, y, pu, pv;
            l.pixel_to_ray(u, v, x, y);
            ASSERT_TRUE(l.project(x * 2000, y * 2000, 2000, pu, pv));
            worst = std::max({worst, std::abs(pu - u), std::abs(pv - v)});
        }
    EXPECT_LT(worst, 1e-6) << "largest round-trip error in pixels";
}

TEST_P(Lens, ProjectionAgreesWithOpenCv)
{
    const lens_model& l = GetParam().lens;
    const cv::Matx33d k(l.fx, 0, l.cx, 0, l.fy, l.cy, 0, 0, 1);
    const std::vector<double> dist = {l.k1, l.k2, l.p1, l.p2, l.k3};
    std::vector<cv::Point3d> points;
    for (double x = -1500; x <= 1500; x += 500)
        for (double y = -1000; y <= 1000; y += 400)
            points.emplace_back(x, y, 1800 + x * 0.2);
    std::vector<cv::Point2d> expected;
    cv::projectPoints(points, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), k, dist, expected);
    for (size_t i = 0; i < points.size(); ++i) {
        double u, v;
        ASSERT_TRUE(l.project(points[i].x, points[i].y, points[i].z, u, v));
        EXPECT_NEAR(u, expected[i].x, 1e-6);
        EXPECT_NEAR(v, expected[i].y, 1e-6);
    }
    double u, v;
    EXPECT_FALSE(l.project(1, 1, -5, u, v));  // behind the camera
}

lens_model depth_lens() { return pvx3::detail::make_factory_calibration("x").depth; }
lens_model colour_lens() { return pvx3::detail::make_factory_calibration("x").colour; }
lens_model strong_barrel()
{
    lens_model l = depth_lens();
    l.k1 = -0.25;
    l.k2 = 0.08;
    return l;
}

// A lens whose distortion folds back before the image corners: there the
// radius r (1 + k1 r^2 + k2 r^4 + k3 r^6) peaks at about 0.91 while the corners
// lie at 1.07, so no ray maps onto them. The inverse must stay finite and end
// near the fold instead of diverging.
TEST(Lens, BeyondTheFoldTheRayStaysBounded)
{
    lens_model l = depth_lens();
    l.k1 = -0.32;
    l.k2 = 0.15;
    l.k3 = -0.04;
    double x, y;
    l.pixel_to_ray(0, 0, x, y);
    EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
    EXPECT_LT(std::hypot(x, y), 1.6);
    l.pixel_to_ray(320, 240, x, y);  // the centre still inverts exactly
    double u, v;
    ASSERT_TRUE(l.project(x, y, 1, u, v));
    EXPECT_NEAR(u, 320, 1e-6);
    EXPECT_NEAR(v, 240, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Models, Lens,
                         ::testing::Values(lens_case{"Depth", depth_lens()}, lens_case{"Colour", colour_lens()},
                                           lens_case{"StrongBarrel", strong_barrel()}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Lens, ScaledModelKeepsPixelCentresOnTheSameRays)
{
    const lens_model full = colour_lens();
    const lens_model third = full.scaled(2.0 / 3.0, 1280, 720);
    // Pixel centre u' of the 1280 image covers u = (u' + 0.5) * 1.5 - 0.5 of the full one.
    double x1, y1, x2, y2;
    third.pixel_to_ray(100, 200, x1, y1);
    full.pixel_to_ray(100.5 * 1.5 - 0.5, 200.5 * 1.5 - 0.5, x2, y2);
    EXPECT_NEAR(x1, x2, 1e-9);
    EXPECT_NEAR(y1, y2, 1e-9);
}

}  // namespace
