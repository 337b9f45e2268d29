// Sensor options: integration time (amplitude, saturation, refusal while the
// sensor settles), distance range (render colours), flips, filter.
#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sdk_test_support.h"

using namespace sdk_test;
namespace pt = pvx3::testing;

namespace {

// Waits for frame sets until one was taken at least `us` after the start.
frameset_ptr frame_after(camera& cam, uint64_t us)
{
    for (int i = 0; i < 200; ++i) {
        frameset_ptr fs = cam.next();
        if (!fs)
            return fs;
        pvx3::frame* f = fs->get_depth_frame(nullptr);
        if (!f)
            f = fs->get_ir_frame(nullptr);
        if (f && f->get_timestamp_us(nullptr) >= us)
            return fs;
    }
    return nullptr;
}

// Mean of the IR image over the pixels where the truth sees `object`.
double mean_ir_on(pvx3::frame* ir, pt::scene_object object, int* saturated = nullptr)
{
    pt::frame_conditions cond;
    pt::conditions_of(ir, cond);
    const pt::truth_image t = pt::depth_truth(640, 480, cond.scene_time_s);
    const std::vector<uint16_t> a = pixels16(ir);
    double sum = 0;
    long n = 0;
    int sat = 0;
    for (size_t p = 2 * 640; p < a.size(); ++p)
        if (t.object[p] == object) {
            sum += a[p];
            ++n;
            sat += a[p] >= 1023;
        }
    if (saturated)
        *saturated = sat;
    return n ? sum / n : 0;
}

TEST(IntegrationTime, RefusedWhileSettlingThenScalesAmplitude)
{
    scoped_environment env;
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 640, 480}, {pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    uint16_t range_max = 0, range_min = 0, value = 0;
    ASSERT_EQ(cam.sensor->get_option_range(pvx3::PVX3_OPTION_INTEGRATION_TIME_RANGE, range_max, range_min, nullptr), 0);
    EXPECT_EQ(range_max, 3000);
    EXPECT_EQ(range_min, 100);
    ASSERT_EQ(cam.sensor->get_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, value, nullptr), 0);
    EXPECT_EQ(value, 1000);

    pvx3::pvx3_error err;
    EXPECT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, 2000, &err), -1);
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_NOT_NOW);
    EXPECT_FALSE(err.message.empty());

    frameset_ptr before = frame_after(cam, 500000);
    ASSERT_TRUE(before);
    const double a1 = mean_ir_on(before->get_ir_frame(nullptr), pt::kCheckerBoard);
    EXPECT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, 2000, nullptr), 0);
    EXPECT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, 50, nullptr), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    frameset_ptr after = cam.next();  // the frame set produced before the change may still be queued
    after = cam.next();
    ASSERT_TRUE(after);
    pt::frame_conditions cond;
    ASSERT_TRUE(pt::conditions_of(after->get_ir_frame(nullptr), cond));
    EXPECT_EQ(cond.integration_us, 2000);
    const double a2 = mean_ir_on(after->get_ir_frame(nullptr), pt::kCheckerBoard);
    EXPECT_NEAR(a2 / a1, 2.0, 0.1) << a1 << " -> " << a2;
}

TEST(IntegrationTime, LongIntegrationSaturatesTheNearCard)
{
    scoped_environment env({{"PVX3_SETTLE_MS", "0"}});
    camera cam;
    ASSERT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, 3000, nullptr), 0);
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 640, 480}, {pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    pt::frame_conditions cond;
    ASSERT_TRUE(pt::conditions_of(fs->get_depth_frame(nullptr), cond));
    const pt::truth_image t = pt::depth_truth(640, 480, cond.scene_time_s);
    const std::vector<uint16_t> d = pixels16(fs->get_depth_frame(nullptr));
    long card = 0, saturated = 0;
    for (size_t p = 4 * 640; p < d.size(); ++p)
        if (t.object[p] == pt::kNearPanel) {
            ++card;
            saturated += d[p] == 1;
        }
    ASSERT_GT(card, 1000);
    EXPECT_GT(double(saturated) / card, 0.9);
    int sat_ir = 0;
    mean_ir_on(fs->get_ir_frame(nullptr), pt::kNearPanel, &sat_ir);
    EXPECT_GT(sat_ir, card / 2);
}

TEST(IntegrationTime, RefusedAlwaysWhenConfiguredSo)
{
    scoped_environment env({{"PVX3_REFUSE_SET_OPTION", "1"}});
    camera cam;
    EXPECT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, 1500, nullptr), -1);
    uint16_t value = 0;
    cam.sensor->get_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, value, nullptr);
    EXPECT_EQ(value, 1000);
    EXPECT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_FILTER, 0, nullptr), 0);  // other options still work
}

TEST(DistanceRange, DrivesTheRenderColours)
{
    scoped_environment env;
    camera cam;
    uint16_t far_mm = 0, near_mm = 0;
    ASSERT_EQ(cam.sensor->get_option_range(pvx3::PVX3_OPTION_DISTANCE_LIMITS, far_mm, near_mm, nullptr), 0);
    EXPECT_EQ(far_mm, 7500);
    EXPECT_EQ(near_mm, 0);
    EXPECT_EQ(cam.sensor->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, 1000, 2000, nullptr),
              pvx3::PVX3_ERROR_INVALID_ARGUMENT);  // near beyond far
    ASSERT_EQ(cam.sensor->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, 5000, 1000, nullptr), 0);
    ASSERT_EQ(cam.sensor->get_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, far_mm, near_mm, nullptr), 0);
    EXPECT_EQ(far_mm, 5000);
    EXPECT_EQ(near_mm, 1000);

    uint8_t* table = nullptr;
    int count = 0;
    ASSERT_EQ(pvx3::pvx3_get_colormap_table(&table, &count, nullptr), 0);
    std::unique_ptr<uint8_t[]> owned(table);  // caller frees with delete[]
    ASSERT_EQ(count, 360);

    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    frameset_ptr first = cam.next();
    ASSERT_TRUE(first);
    pvx3::frame* depth = first->get_depth_frame(nullptr);
    const std::vector<uint16_t> d = pixels16(depth);
    const auto* rgb = static_cast<const uint8_t*>(depth->get_render_data(nullptr));
    ASSERT_NE(rgb, nullptr);
    int checked = 0;
    for (size_t p = 0; p < d.size(); p += 97) {
        const uint8_t* px = rgb + 3 * p;
        if (d[p] >= 1000 && d[p] <= 5000) {
            // Near limit -> entry 0, far limit -> entry 359, linear between.
            const int idx = int(std::lround((d[p] - 1000) * 359.0 / 4000.0));
            const uint8_t* e = table + 3 * idx;
            EXPECT_TRUE(std::abs(px[0] - e[0]) + std::abs(px[1] - e[1]) + std::abs(px[2] - e[2]) <= 12)
                << d[p] << " mm";
            ++checked;
        } else if (d[p] == 0 || (d[p] > 1 && (d[p] < 1000 || d[p] > 5000))) {
            EXPECT_EQ(px[0] + px[1] + px[2], 0) << d[p] << " mm is outside the range";
        }
    }
    EXPECT_GT(checked, 1000);

    // Another range recolours the next frames.
    ASSERT_EQ(cam.sensor->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, 7500, 0, nullptr), 0);
    frameset_ptr second = cam.next();
    second = cam.next();
    ASSERT_TRUE(second);
    pvx3::frame* depth2 = second->get_depth_frame(nullptr);
    const std::vector<uint16_t> d2 = pixels16(depth2);
    const auto* rgb2 = static_cast<const uint8_t*>(depth2->get_render_data(nullptr));
    for (size_t p = 0; p < d2.size(); p += 1013)
        if (d2[p] > 1) {
            const int idx = int(std::lround((d2[p] - 2) * 359.0 / 7498.0));
            EXPECT_LE(std::abs(rgb2[3 * p] - table[3 * idx]) + std::abs(rgb2[3 * p + 1] - table[3 * idx + 1])
                          + std::abs(rgb2[3 * p + 2] - table[3 * idx + 2]),
                      12);
        }
}

struct flip_case {
    const char* name;
    bool vertical, horizontal;
};

void PrintTo(const flip_case& c, std::ostream* os) { *os << c.name; }


class Flips : public ::testing::TestWithParam<flip_case> { };

// Every stream of a mirrored camera is the mirror image of the upright one
// taken at the same scene time (colour exactly, depth and IR up to noise).
TEST_P(Flips, MirrorEveryStream)
{
    const flip_case c = GetParam();
    scoped_environment env;
    camera upright, mirrored;
    mirrored.sensor->set_option(pvx3::PVX3_OPTION_FLIP_VERTICAL, c.vertical, nullptr);
    mirrored.sensor->set_option(pvx3::PVX3_OPTION_FLIP_HORIZONTAL, c.horizontal, nullptr);
    uint16_t v = 9;
    mirrored.sensor->get_option(pvx3::PVX3_OPTION_FLIP_VERTICAL, v, nullptr);
    EXPECT_EQ(v, c.vertical ? 1 : 0);
    const std::vector<pvx3::pvx3_stream_format> streams = {
        {pvx3::PVX3_STREAM_DEPTH, 640, 480}, {pvx3::PVX3_STREAM_IR, 640, 480}, {pvx3::PVX3_STREAM_RGB, 1280, 720}};
    ASSERT_EQ(upright.start(streams), 0);
    ASSERT_EQ(mirrored.start(streams), 0);
    frameset_ptr a = upright.next(), b = mirrored.next();
    ASSERT_TRUE(a && b);

    auto source = [&](int w, int h, int x, int y) {
        return size_t(c.vertical ? h - 1 - y : y) * w + size_t(c.horizontal ? w - 1 - x : x);
    };
    // Colour: exact, in pixels (YUYV pairs keep chroma, so compare luma).
    const auto* ya = static_cast<const uint8_t*>(a->get_rgb_frame(nullptr)->get_data(nullptr));
    const auto* yb = static_cast<const uint8_t*>(b->get_rgb_frame(nullptr)->get_data(nullptr));
    long colour_diff = 0;
    for (int y = 0; y < 720; y += 3)
        for (int x = 0; x < 1280; ++x)
            colour_diff += ya[2 * source(1280, 720, x, y)] != yb[2 * (size_t(y) * 1280 + x)];
    EXPECT_EQ(colour_diff, 0);

    // Depth and IR: the mirrored image matches the mirror of the upright one.
    for (int stream : {pvx3::PVX3_STREAM_DEPTH, pvx3::PVX3_STREAM_IR}) {
        pvx3::frame* fa = stream == pvx3::PVX3_STREAM_DEPTH ? a->get_depth_frame(nullptr) : a->get_ir_frame(nullptr);
        pvx3::frame* fb = stream == pvx3::PVX3_STREAM_DEPTH ? b->get_depth_frame(nullptr) : b->get_ir_frame(nullptr);
        const std::vector<uint16_t> da = pixels16(fa), db = pixels16(fb);
        long close = 0, total = 0;
        for (int y = 4; y < 476; ++y)
            for (int x = 2; x < 638; ++x) {
                const int va = da[source(640, 480, x, y)], vb = db[size_t(y) * 640 + x];
                if (va <= 1 || vb <= 1)
                    continue;
                ++total;
                const int tol = stream == pvx3::PVX3_STREAM_DEPTH ? std::max(30, va / 50) : std::max(8, va / 5);
                close += std::abs(va - vb) <= tol;
            }
        EXPECT_GT(double(close) / total, 0.9) << "stream " << stream;
    }
}

INSTANTIATE_TEST_SUITE_P(Options, Flips,
                         ::testing::Values(flip_case{"Vertical", true, false}, flip_case{"Horizontal", false, true},
                                           flip_case{"Both", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Mean absolute difference between a pixel and its right neighbour, over
// pixels where both are valid: the filter smooths the noise away.
double roughness(const std::vector<uint16_t>& d)
{
    double sum = 0;
    long n = 0;
    for (size_t p = 4 * 640; p + 1 < d.size(); ++p)
        if (d[p] > 1 && d[p + 1] > 1 && (p + 1) % 640 != 0 && std::abs(d[p] - d[p + 1]) < 200) {
            sum += std::abs(d[p] - d[p + 1]);
            ++n;
        }
    return sum / n;
}

TEST(Filter, SwitchesTheLibraryFilters)
{
    scoped_environment env;
    camera on, off;
    uint16_t value = 0;
    ASSERT_EQ(on.sensor->get_option(pvx3::PVX3_OPTION_FILTER, value, nullptr), 0);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(off.sensor->set_option(pvx3::PVX3_OPTION_FILTER, 0, nullptr), 0);
    ASSERT_EQ(on.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    frameset_ptr a = on.next();
    on.pipe->stop(nullptr);
    ASSERT_EQ(off.start({{pvx3::PVX3_STREAM_DEPTH, 640, 480}}), 0);
    frameset_ptr b = off.next();
    ASSERT_TRUE(a && b);
    const double filtered = roughness(pixels16(a->get_depth_frame(nullptr)));
    const double raw = roughness(pixels16(b->get_depth_frame(nullptr)));
    EXPECT_LT(filtered * 1.5, raw) << filtered << " vs " << raw;
}

// The filter option lists its modes through its range (0 to 2): a host
// offers the noise-aware mode only where the camera reports 2.
TEST(Filter, RangeListsTheModesAndOthersAreRefused)
{
    scoped_environment env;
    camera cam;
    uint16_t high = 0, low = 9;
    ASSERT_EQ(cam.sensor->get_option_range(pvx3::PVX3_OPTION_FILTER, high, low, nullptr), 0);
    EXPECT_EQ(high, pvx3::PVX3_FILTER_NOISE_AWARE);
    EXPECT_EQ(low, pvx3::PVX3_FILTER_OFF);
    uint16_t value = 0;
    for (const uint16_t mode : {2, 0, 1}) {
        EXPECT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_FILTER, mode, nullptr), 0);
        ASSERT_EQ(cam.sensor->get_option(pvx3::PVX3_OPTION_FILTER, value, nullptr), 0);
        EXPECT_EQ(value, mode);
    }
    pvx3::pvx3_error err;
    EXPECT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_FILTER, 3, &err), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(cam.sensor->get_option(pvx3::PVX3_OPTION_FILTER, value, nullptr), 0);
    EXPECT_EQ(value, pvx3::PVX3_FILTER_STANDARD) << "a refused mode leaves the last one";
}

// A camera without the noise-aware mode says so by its range (1 to 0) and
// refuses 2, keeping the mode it had.
TEST(Filter, OlderCameraOffersOnlyOffAndStandard)
{
    scoped_environment env({{"PVX3_NO_NOISE_AWARE_FILTER", "1"}});
    camera cam;
    uint16_t high = 9, low = 9;
    ASSERT_EQ(cam.sensor->get_option_range(pvx3::PVX3_OPTION_FILTER, high, low, nullptr), 0);
    EXPECT_EQ(high, pvx3::PVX3_FILTER_STANDARD);
    EXPECT_EQ(low, pvx3::PVX3_FILTER_OFF);
    uint16_t value = 0;
    EXPECT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_FILTER, 0, nullptr), 0);
    pvx3::pvx3_error err;
    EXPECT_EQ(cam.sensor->set_option(pvx3::PVX3_OPTION_FILTER, pvx3::PVX3_FILTER_NOISE_AWARE, &err),
              pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(cam.sensor->get_option(pvx3::PVX3_OPTION_FILTER, value, nullptr), 0);
    EXPECT_EQ(value, pvx3::PVX3_FILTER_OFF);
}

TEST(Options, UnknownOptionsAndRangesAreRefused)
{
    scoped_environment env;
    camera cam;
    uint16_t a = 0, b = 0;
    EXPECT_EQ(cam.sensor->get_option(4, a, nullptr), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(cam.sensor->set_option(5, 1, nullptr), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(cam.sensor->get_option_range(9, a, b, nullptr), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(cam.sensor->set_option_range(pvx3::PVX3_OPTION_INTEGRATION_TIME_RANGE, 5000, 1, nullptr),
              pvx3::PVX3_ERROR_UNSUPPORTED);
    EXPECT_EQ(cam.sensor->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, 9000, 0, nullptr),
              pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(cam.sensor->get_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, a, b, nullptr), 0);
    EXPECT_EQ(a, 6000);
    EXPECT_EQ(b, 300);
}

}  // namespace
