// A recording of the virtual camera read back: every image bit for bit,
// frame numbers and capture times as the SDK stated them, camera info equal
// to the SDK's intrinsics (mirrored with the image), the settings, the
// calibration and the device information.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "recording/reader.h"
#include "recording_test_support.h"

using namespace recording_test;
using recording::bit;
using recording::stream;

namespace {

// The intrinsics recorded are the calibration's single-precision values,
// the SDK states them in double precision: equal to float precision.
void expect_same_lens(const recording::lens_model& got, const double sdk[9], int w, int h, bool flip_v, bool flip_h,
                      const char* what)
{
    double e[9];
    std::copy(sdk, sdk + 9, e);
    if (flip_h) {
        e[2] = (w - 1) - e[2];
        e[7] = -e[7];
    }
    if (flip_v) {
        e[3] = (h - 1) - e[3];
        e[6] = -e[6];
    }
    const double g[9] = {got.fx, got.fy, got.cx, got.cy, got.k1, got.k2, got.p1, got.p2, got.k3};
    const char* names[9] = {"fx", "fy", "cx", "cy", "k1", "k2", "p1", "p2", "k3"};
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(g[i], e[i], 2e-7 * std::max(1.0, std::abs(e[i]))) << what << " " << names[i];
}

class RoundTrip : public ::testing::TestWithParam<capture_case> { };

TEST_P(RoundTrip, ImagesNumbersTimesAndCameraInfoComeBackAsTheSdkHandedThemOut)
{
    const capture_case c = GetParam();
    scratch_folder dir;
    const std::string path = dir.file("round_trip.bag");
    recording::writer_options options;
    options.compress = c.compress;
    options.producer = "round trip test";
    const int count = 5;
    const capture_result cap = capture(path, c, count, options);
    ASSERT_TRUE(cap.closed) << cap.close_error;
    ASSERT_EQ(cap.frames.size(), size_t(count));
    EXPECT_EQ(cap.status.frame_sets_written, uint64_t(count));
    EXPECT_EQ(cap.status.frame_sets_dropped, 0u);

    std::string error;
    std::unique_ptr<recording::reader> r = recording::reader::open(path, error);
    ASSERT_TRUE(r) << error;
    ASSERT_EQ(r->size(), size_t(count));
    EXPECT_EQ(r->streams(), c.streams);
    EXPECT_EQ(r->header().compression, recording::compression_name(c.compress));
    EXPECT_EQ(r->header().producer, "round trip test");
    ASSERT_TRUE(r->summary());
    EXPECT_EQ(r->summary()->frame_sets_written, uint64_t(count));

    const char* encodings[recording::kStreamCount] = {"16UC1", "mono16", "yuv422_yuy2", "mono16"};
    recording::frame_set first;
    for (size_t i = 0; i < cap.frames.size(); ++i) {
        SCOPED_TRACE("frame set " + std::to_string(i));
        const sdk_frame_set& sdk = cap.frames[i];
        recording::frame_set f;
        ASSERT_TRUE(r->read(i, f, error)) << error;
        EXPECT_EQ(f.frame_number, sdk.number);
        EXPECT_EQ(f.timestamp_us, sdk.timestamp_us);
        EXPECT_EQ(f.session, 1);
        if (i == 0)
            first = f;
        EXPECT_EQ(f.stamp_ns - first.stamp_ns, int64_t(sdk.timestamp_us - cap.frames[0].timestamp_us) * 1000);
        for (stream s : recording::kAllStreams) {
            const int k = static_cast<int>(s);
            ASSERT_EQ(bool(f[s]), bool(c.streams & bit(s))) << recording::stream_name(s);
            if (!f[s])
                continue;
            EXPECT_EQ(f[s]->encoding, encodings[k]);
            EXPECT_EQ(f[s]->width, sdk.width[k]);
            EXPECT_EQ(f[s]->height, sdk.height[k]);
            EXPECT_TRUE(f[s]->data == sdk.pixels[k]) << recording::stream_name(s) << " pixels differ";
        }
        if (f[stream::raw_phase]) {
            EXPECT_EQ(f[stream::raw_phase]->width, 2 * c.width);
            EXPECT_EQ(f[stream::raw_phase]->height, 8 * c.height);
        }
        if (f[stream::depth])
            expect_same_lens(f[stream::depth]->lens, sdk.depth_lens, c.width, c.height, c.flip_vertical,
                             c.flip_horizontal, "depth");
        if (f[stream::ir])
            expect_same_lens(f[stream::ir]->lens, sdk.depth_lens, c.width, c.height, c.flip_vertical,
                             c.flip_horizontal, "ir");
        if (f[stream::colour])
            expect_same_lens(f[stream::colour]->lens, sdk.colour_lens, c.colour_width, c.colour_height,
                             c.flip_vertical, c.flip_horizontal, "colour");
    }
    EXPECT_EQ(r->settings_at(0), cap.settings);
    EXPECT_EQ(r->settings_at(0).flip_horizontal, c.flip_horizontal);
    ASSERT_EQ(bool(r->calibration_at(0)), bool(cap.calibration));
    if (cap.calibration) {
        EXPECT_TRUE(*r->calibration_at(0) == *cap.calibration);
    }
    ASSERT_TRUE(r->device());
    EXPECT_EQ(r->device()->module_name, "DUAL-T4");
    EXPECT_EQ(r->device()->serial_number, "VT4C0A1B2C3");
    EXPECT_TRUE(r->device()->has_raw_phase);
}

const recording::stream_mask kProcessed = bit(stream::depth) | bit(stream::ir) | bit(stream::colour);

INSTANTIATE_TEST_SUITE_P(
    Recording, RoundTrip,
    ::testing::Values(
        capture_case{"AllStreamsLz4", 640, 480, 1920, 1080, false, false, recording::compression::lz4,
                     recording::kAllStreamBits},
        capture_case{"Binned320Uncompressed", 320, 240, 1920, 1080, false, false, recording::compression::none,
                     recording::kAllStreamBits},
        capture_case{"FlippedColour720", 640, 480, 1280, 720, true, true, recording::compression::lz4, kProcessed},
        capture_case{"DepthOnlyMirroredBz2", 640, 480, 1920, 1080, false, true, recording::compression::bz2,
                     bit(stream::depth)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
