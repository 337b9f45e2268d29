// The noise-aware filter mode of the virtual camera against its scene's
// ground truth: share of valid pixels, median error, tails and every object's
// mean error, on the static scene (truth 0.5 to 5.5 m, the moving ball left
// out) from row 2 on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "sdk_test_support.h"

using namespace sdk_test;
namespace pt = pvx3::testing;

namespace {

struct noise_aware_case {
    const char* name;
    int width, height;
    const char* warmup_s;  // sensor warm-up time constant
    double min_valid;      // share of the pixels with depth
    double max_median_mm;  // median |error|
    double max_bias_mm;    // |mean error| of every object
    double max_over_50mm;  // share of valid pixels off by more than 50 mm
};

void PrintTo(const noise_aware_case& c, std::ostream* os) { *os << c.name; }

class NoiseAwareAccuracy : public ::testing::TestWithParam<noise_aware_case> { };

TEST_P(NoiseAwareAccuracy, MatchesGroundTruth)
{
    const noise_aware_case c = GetParam();
    scoped_environment env({{"PVX3_WARMUP_S", c.warmup_s}});
    camera cam;
    ASSERT_NE(cam.sensor, nullptr);
    ASSERT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_FILTER, pvx3::PVX3_FILTER_NOISE_AWARE, nullptr), 0);
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, c.width, c.height}}), 0);

    const int frames = 20;
    const size_t n = size_t(c.width) * c.height;
    std::vector<double> sum(pt::kObjectCount, 0.0);
    std::vector<long> count(pt::kObjectCount, 0);
    long seen = 0, valid = 0, over50 = 0, over1000 = 0;
    std::vector<float> abs_errors;
    for (int f = 0; f < frames; ++f) {
        frameset_ptr fs = cam.next();
        ASSERT_TRUE(fs);
        pvx3::frame* depth = fs->get_depth_frame(nullptr);
        ASSERT_NE(depth, nullptr);
        pt::frame_conditions cond;
        ASSERT_TRUE(pt::conditions_of(depth, cond));
        const pt::truth_image truth = pt::depth_truth(c.width, c.height, cond.scene_time_s);
        const std::vector<uint16_t> d = pixels16(depth);
        for (size_t p = size_t(2) * c.width; p < n; ++p) {
            const float z = truth.depth_mm[p];
            const int object = truth.object[p];
            if (z < 500 || z > 5500 || object == pt::kMovingSphere || object == pt::kNoObject)
                continue;
            ++seen;
            if (d[p] <= 1)
                continue;
            ++valid;
            const double e = double(d[p]) - z;
            abs_errors.push_back(float(std::abs(e)));
            over50 += std::abs(e) > 50;
            over1000 += std::abs(e) > 1000;
            sum[object] += e;
            ++count[object];
        }
    }
    ASSERT_GT(valid, 0);
    const double valid_share = double(valid) / double(seen);
    std::nth_element(abs_errors.begin(), abs_errors.begin() + abs_errors.size() / 2, abs_errors.end());
    const double median = abs_errors[abs_errors.size() / 2];
    std::printf("valid %.4f, median |error| %.2f mm, >50 mm %.4f %%, >1 m %.5f %%\n", valid_share, median,
                100.0 * over50 / valid, 100.0 * over1000 / valid);
    EXPECT_GE(valid_share, c.min_valid);
    EXPECT_LE(median, c.max_median_mm);
    EXPECT_LE(double(over50) / valid, c.max_over_50mm);
    EXPECT_LE(double(over1000) / valid, 2e-5);
    for (int o = 1; o < pt::kObjectCount; ++o) {
        if (count[o] < 1000)
            continue;
        const double mean = sum[o] / double(count[o]);
        std::printf("object %2d: %8ld pixels, mean error %+.2f mm\n", o, count[o], mean);
        EXPECT_LE(std::abs(mean), c.max_bias_mm) << "object " << o;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, NoiseAwareAccuracy,
    // Binned pixels are twice as large: a window spans twice the surface, so
    // bent surfaces (the balls, the post) keep a little more bias.
    ::testing::Values(noise_aware_case{"Vga", 640, 480, "90", 0.985, 2.5, 0.5, 5e-4},
                      noise_aware_case{"VgaWarmingFast", 640, 480, "0.3", 0.985, 2.5, 0.5, 5e-4},
                      noise_aware_case{"Qvga", 320, 240, "90", 0.985, 2.5, 1.0, 1e-3}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
