// Depth recomputed from recorded raw phase frames: with the recorded settings
// it is the recorded depth bit for bit; with the filters off it differs only
// where the filters act (the median keeps every value within its 3 x 3
// neighbourhood, the block-deviation filter only clears pixels).
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "recording/reader.h"
#include "recording/reprocessor.h"
#include "recording_test_support.h"

using namespace recording_test;
using recording::stream;

namespace {

size_t valid_pixels(const uint16_t* d, size_t n)
{
    return size_t(std::count_if(d, d + n, [](uint16_t v) { return v > 1; }));
}

class Reprocess : public ::testing::TestWithParam<capture_case> { };

TEST_P(Reprocess, RecordedSettingsGiveTheRecordedDepthAndFilterOffDiffersOnlyWhereFiltersAct)
{
    const capture_case c = GetParam();
    scratch_folder dir;
    const std::string path = dir.file("raw.bag");
    const capture_result cap = capture(path, c, 3);
    ASSERT_TRUE(cap.closed) << cap.close_error;
    std::string error;
    auto r = recording::reader::open(path, error);
    ASSERT_TRUE(r) << error;
    auto engine = recording::reprocessor::create(error);
    ASSERT_TRUE(engine) << error;
    ASSERT_EQ(r->size(), 3u);
    for (size_t i = 0; i < r->size(); ++i) {
        SCOPED_TRACE("frame set " + std::to_string(i));
        recording::frame_set f;
        ASSERT_TRUE(r->read(i, f, error)) << error;
        ASSERT_TRUE(f[stream::raw_phase] && f[stream::depth]);
        const std::optional<recording::calibration> cal = r->calibration_at(i);
        ASSERT_TRUE(cal);
        const recording::camera_settings settings = r->settings_at(i);
        EXPECT_EQ(settings.filter, 1);
        EXPECT_EQ(settings.flip_vertical, c.flip_vertical);

        std::vector<uint16_t> again;
        int w = 0, h = 0;
        ASSERT_TRUE(engine->compute(*cal, *f[stream::raw_phase], recording::options_from(settings), again, w, h,
                                    error))
            << error;
        ASSERT_EQ(w, c.width);
        ASSERT_EQ(h, c.height);
        const uint16_t* recorded = f[stream::depth]->pixels16();
        const size_t n = size_t(w) * h;
        size_t differ = 0;
        for (size_t p = 0; p < n; ++p)
            differ += again[p] != recorded[p];
        EXPECT_EQ(differ, 0u) << "pixels differ from the recorded depth";

        recording::reprocess_options off = recording::options_from(settings);
        off.filter = 0;
        std::vector<uint16_t> unfiltered;
        ASSERT_TRUE(engine->compute(*cal, *f[stream::raw_phase], off, unfiltered, w, h, error)) << error;
        EXPECT_GT(valid_pixels(unfiltered.data(), n), valid_pixels(recorded, n));
        size_t changed = 0, outside = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint16_t v = recorded[size_t(y) * w + x];
                changed += v != unfiltered[size_t(y) * w + x];
                if (v <= 1)
                    continue;  // cleared (or saturated): the filters may clear
                uint16_t lo = 65535, hi = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int yy = std::clamp(y + dy, 0, h - 1), xx = std::clamp(x + dx, 0, w - 1);
                        lo = std::min(lo, unfiltered[size_t(yy) * w + xx]);
                        hi = std::max(hi, unfiltered[size_t(yy) * w + xx]);
                    }
                outside += v < lo || v > hi;
            }
        EXPECT_GT(changed, n / 100) << "the filters should act on this scene";
        EXPECT_EQ(outside, 0u) << "valid pixels moved beyond their unfiltered 3 x 3 neighbourhood";
    }
}

const recording::stream_mask kDepthAndRaw = recording::bit(stream::depth) | recording::bit(stream::raw_phase);

INSTANTIATE_TEST_SUITE_P(
    Recording, Reprocess,
    ::testing::Values(capture_case{"Upright640", 640, 480, 1920, 1080, false, false, recording::compression::lz4,
                                   kDepthAndRaw},
                      capture_case{"FlippedBinned320", 320, 240, 1920, 1080, true, true,
                                   recording::compression::lz4, kDepthAndRaw}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Reprocess, FilterParametersAreAppliedAndPutBackAsFound)
{
    scratch_folder dir;
    const std::string path = dir.file("raw.bag");
    capture_case c;
    c.streams = kDepthAndRaw;
    const capture_result cap = capture(path, c, 1);
    ASSERT_TRUE(cap.closed) << cap.close_error;
    std::string error;
    auto r = recording::reader::open(path, error);
    ASSERT_TRUE(r) << error;
    auto engine = recording::reprocessor::create(error);
    ASSERT_TRUE(engine) << error;
    recording::frame_set f;
    ASSERT_TRUE(r->read(0, f, error)) << error;
    const auto before = engine->filter_parameters();
    recording::reprocess_options strict = recording::options_from(r->settings_at(0));
    strict.filter_parameters[4] = {20.0f};  // block deviation at its lowest threshold
    std::vector<uint16_t> depth;
    int w = 0, h = 0;
    ASSERT_TRUE(engine->compute(*r->calibration_at(0), *f[stream::raw_phase], strict, depth, w, h, error)) << error;
    EXPECT_LT(valid_pixels(depth.data(), depth.size()),
              valid_pixels(f[stream::depth]->pixels16(), size_t(w) * h));
    EXPECT_EQ(engine->filter_parameters(), before);
}

}  // namespace
