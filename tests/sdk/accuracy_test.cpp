// Depth accuracy of the virtual camera against its scene's ground truth: the
// raw frames must carry exactly the errors that the reconstruction library's
// corrections remove (offsets, cyclic error, fitting surface, temperature).
#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sdk_test_support.h"

using namespace sdk_test;
namespace pt = pvx3::testing;

namespace {

struct accuracy_case {
    const char* name;
    int width, height;
    const char* warmup_s;  // sensor warm-up time constant
    double min_valid;      // share of pixels on surfaces at 0.5 to 6 m with depth
};

void PrintTo(const accuracy_case& c, std::ostream* os) { *os << c.name; }


class DepthAccuracy : public ::testing::TestWithParam<accuracy_case> { };

TEST_P(DepthAccuracy, MatchesGroundTruth)
{
    const accuracy_case c = GetParam();
    scoped_environment env({{"PVX3_WARMUP_S", c.warmup_s}});
    camera cam;
    ASSERT_NE(cam.dev, nullptr);
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, c.width, c.height}}), 0);

    const int frames = 30;
    const size_t n = size_t(c.width) * c.height;
    std::vector<double> sum_error(pt::kObjectCount, 0.0);
    std::vector<long> count(pt::kObjectCount, 0);
    long seen = 0, valid = 0;
    std::vector<float> abs_errors;
    double first_temp = 0, last_temp = 0;
    for (int f = 0; f < frames; ++f) {
        frameset_ptr fs = cam.next();
        ASSERT_TRUE(fs);
        pvx3::frame* depth = fs->get_depth_frame(nullptr);
        ASSERT_NE(depth, nullptr);
        pt::frame_conditions cond;
        ASSERT_TRUE(pt::conditions_of(depth, cond));
        (f == 0 ? first_temp : last_temp) = cond.temperature_c;
        const pt::truth_image truth = pt::depth_truth(c.width, c.height, cond.scene_time_s);
        const std::vector<uint16_t> d = pixels16(depth);
        for (size_t p = 0; p < n; ++p) {
            const float z = truth.depth_mm[p];
            if (z < 500 || z > 6000 || p < size_t(2) * c.width)  // rows 0 and 1 carry no depth
                continue;
            ++seen;
            if (d[p] <= 1)
                continue;
            ++valid;
            const double e = double(d[p]) - z;
            abs_errors.push_back(float(std::abs(e)));
            sum_error[truth.object[p]] += e;
            ++count[truth.object[p]];
        }
    }
    const double valid_share = double(valid) / double(seen);
    std::nth_element(abs_errors.begin(), abs_errors.begin() + abs_errors.size() / 2, abs_errors.end());
    const double median = abs_errors[abs_errors.size() / 2];
    std::printf("valid %.4f median |error| %.2f mm, temperature %.2f -> %.2f C\n", valid_share, median,
                first_temp, last_temp);
    EXPECT_GE(valid_share, c.min_valid);
    EXPECT_LE(median, 10.0);
    for (int o = 1; o < pt::kObjectCount; ++o) {
        if (count[o] < 200)
            continue;
        const double mean = sum_error[o] / double(count[o]);
        std::printf("object %2d: %8ld samples, mean error %+.2f mm\n", o, count[o], mean);
        EXPECT_LE(std::abs(mean), 3.0) << "object " << o;
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, DepthAccuracy,
                         // Binned, neighbouring pixels lie twice as far apart, so the
                         // library's block-deviation filter drops steep floor and
                         // ceiling pixels far away: fewer valid pixels, same accuracy.
                         ::testing::Values(accuracy_case{"Vga", 640, 480, "90", 0.95},
                                           accuracy_case{"VgaWarmingFast", 640, 480, "0.3", 0.95},
                                           accuracy_case{"Qvga", 320, 240, "90", 0.80}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
