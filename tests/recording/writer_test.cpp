// The writer's queue and time line, with hand-made frame sets: whole raw
// frames and whole frame sets dropped and counted when the disk falls behind,
// camera restarts as sessions, settings in effect from the frame set after a
// change, and the calibration kept bit for bit.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

#include "recording/reader.h"
#include "recording/writer.h"
#include "recording_test_support.h"

using namespace recording_test;
using recording::bit;
using recording::stream;

namespace {

struct synthetic_frames {
    std::vector<uint16_t> depth, raw;
    int w = 64, h = 48;

    explicit synthetic_frames(int width, int height, uint32_t seed) : w(width), h(height)
    {
        std::mt19937 gen(seed);
        depth.resize(size_t(w) * h);
        raw.resize(size_t(16) * w * h);
        for (uint16_t& v : depth)
            v = static_cast<uint16_t>(gen() % 7500);
        for (uint16_t& v : raw)
            v = static_cast<uint16_t>(gen() & 1023);  // 10-bit noise: compresses badly
    }

    recording::frame_set_view view(uint64_t number, uint64_t timestamp_us, bool with_raw)
    {
        depth[0] = static_cast<uint16_t>(number);  // tells the frame sets apart
        recording::frame_set_view v;
        v.frame_number = number;
        v.timestamp_us = timestamp_us;
        v[stream::depth] = {depth.data(), w, h, recording::encoding::kDepth, {}};
        if (with_raw)
            v[stream::raw_phase] = {raw.data(), 2 * w, 8 * h, recording::encoding::kMono16, {}};
        return v;
    }
};

std::unique_ptr<recording::reader> open_ok(const std::string& path)
{
    std::string error;
    std::unique_ptr<recording::reader> r = recording::reader::open(path, error);
    EXPECT_TRUE(r) << error;
    return r;
}

TEST(Writer, RawFramesThatDoNotFitTheQueueAreDroppedWholeAndCounted)
{
    scratch_folder dir;
    const std::string path = dir.file("drops.bag");
    recording::writer_options o;
    o.compress = recording::compression::bz2;  // a slow "disk"
    o.queue_bytes = 4u << 20;
    o.raw_queue_bytes = 1536u << 10;  // about two raw frames of 160 x 120
    synthetic_frames frames(160, 120, 7);
    std::string error;
    auto w = recording::writer::create(path, o, error);
    ASSERT_TRUE(w) << error;
    const int submitted = 20;
    for (int i = 0; i < submitted; ++i)
        w->submit(frames.view(uint64_t(i), uint64_t(i) * 33333, true));
    ASSERT_TRUE(w->close(error)) << error;
    const recording::writer_status s = w->status();
    EXPECT_EQ(s.frame_sets_submitted, uint64_t(submitted));
    EXPECT_GT(s.raw_frames_dropped, 0u);
    EXPECT_EQ(s.raw_frames_written + s.raw_frames_dropped, uint64_t(submitted));
    EXPECT_EQ(s.frame_sets_written + s.frame_sets_dropped, uint64_t(submitted));
    // Raw frames go first: the processed streams keep their room.
    EXPECT_LT(s.frame_sets_dropped, s.raw_frames_dropped);

    auto r = open_ok(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->size(), size_t(s.frame_sets_written));
    EXPECT_EQ(r->count(stream::raw_phase), size_t(s.raw_frames_written));
    ASSERT_TRUE(r->summary());
    EXPECT_EQ(r->summary()->raw_frames_dropped, s.raw_frames_dropped);
    // What was written is whole.
    for (size_t i = 0; i < r->size(); ++i) {
        recording::frame_set f;
        ASSERT_TRUE(r->read(i, f, error)) << error;
        ASSERT_TRUE(f[stream::depth]);
        EXPECT_EQ(f[stream::depth]->pixels16()[0], uint16_t(f.frame_number));
        if (f[stream::raw_phase]) {
            EXPECT_EQ(f[stream::raw_phase]->data.size(), frames.raw.size() * 2);
            EXPECT_EQ(std::memcmp(f[stream::raw_phase]->data.data(), frames.raw.data(), frames.raw.size() * 2), 0);
        }
    }
}

TEST(Writer, WholeFrameSetsAreDroppedWhenEvenTheProcessedStreamsDoNotFit)
{
    scratch_folder dir;
    const std::string path = dir.file("full.bag");
    recording::writer_options o;
    o.compress = recording::compression::bz2;
    o.queue_bytes = 1u << 20;  // room for one 614 kB depth image
    o.raw_queue_bytes = 1u << 20;
    synthetic_frames frames(640, 480, 8);
    std::string error;
    auto w = recording::writer::create(path, o, error);
    ASSERT_TRUE(w) << error;
    for (int i = 0; i < 40; ++i)
        w->submit(frames.view(uint64_t(i), uint64_t(i) * 33333, false));
    ASSERT_TRUE(w->close(error)) << error;
    const recording::writer_status s = w->status();
    EXPECT_GT(s.frame_sets_dropped, 0u);
    EXPECT_EQ(s.frame_sets_written + s.frame_sets_dropped, 40u);
    auto r = open_ok(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->size(), size_t(s.frame_sets_written));
}

TEST(Writer, ACameraRestartOpensASessionWhoseTimesStayTheCamerasOwn)
{
    scratch_folder dir;
    const std::string path = dir.file("sessions.bag");
    synthetic_frames frames(32, 24, 1);
    std::string error;
    auto w = recording::writer::create(path, {}, error);
    ASSERT_TRUE(w) << error;
    recording::camera_settings settings;
    settings.integration_time_us = 1000;
    w->set_settings(settings);
    // Session 1: frames 0..4; the stream restarts: frames 0..2 again from time 0.
    const std::vector<std::pair<uint64_t, uint64_t>> sent = {{0, 0}, {1, 33333}, {2, 66667}, {4, 133333}, {5, 166667}, {0, 0}, {1, 33333}, {2, 66667}};
    for (const auto& [n, t] : sent)
        ASSERT_TRUE(w->submit(frames.view(n, t, false)));
    ASSERT_TRUE(w->close(error)) << error;

    auto r = open_ok(path);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        recording::frame_set f;
        ASSERT_TRUE(r->read(i, f, error)) << error;
        EXPECT_EQ(f.frame_number, sent[i].first) << i;
        EXPECT_EQ(f.timestamp_us, sent[i].second) << i;
        EXPECT_EQ(f.session, i < 5 ? 1 : 2) << i;
        if (i > 0) {
            EXPECT_GT(r->stamp_ns(i), r->stamp_ns(i - 1));
        }
        if (i > 0 && i != 5) {
            EXPECT_EQ(r->stamp_ns(i) - r->stamp_ns(i - 1), int64_t(sent[i].second - sent[i - 1].second) * 1000);
        }
    }
    ASSERT_TRUE(r->summary());
    const auto& numbers = r->summary()->frame_numbers;
    ASSERT_EQ(numbers.size(), 2u);
    EXPECT_EQ(numbers[0].second, (std::vector<std::pair<uint64_t, uint64_t>>{{0, 2}, {4, 5}}));
    EXPECT_EQ(numbers[1].second, (std::vector<std::pair<uint64_t, uint64_t>>{{0, 2}}));
    EXPECT_EQ(r->settings_at(6).integration_time_us, 1000);
}

TEST(Writer, ASettingsChangeAppliesFromTheNextFrameSet)
{
    scratch_folder dir;
    const std::string path = dir.file("settings.bag");
    synthetic_frames frames(32, 24, 2);
    std::string error;
    auto w = recording::writer::create(path, {}, error);
    ASSERT_TRUE(w) << error;
    recording::camera_settings a;
    a.integration_time_us = 1000;
    a.near_mm = 300;
    a.far_mm = 6000;
    a.filter = 1;
    a.depth_width = 32;
    a.depth_height = 24;
    recording::camera_settings b = a;
    b.integration_time_us = 2500;
    b.flip_vertical = true;
    w->set_settings(a);
    for (uint64_t n = 0; n < 3; ++n)
        w->submit(frames.view(n, n * 33333, false));
    w->set_settings(b);
    w->set_settings(b);  // unchanged: not recorded again
    for (uint64_t n = 3; n < 6; ++n)
        w->submit(frames.view(n, n * 33333, false));
    ASSERT_TRUE(w->close(error)) << error;

    auto r = open_ok(path);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->size(), 6u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(r->settings_at(i), i < 3 ? a : b) << i;
    std::vector<std::vector<std::string>> changed;
    for (const recording::settings_change& c : r->settings_changes())
        changed.push_back(c.changed);
    // First record, the session opening, the change.
    ASSERT_EQ(changed.size(), 3u);
    EXPECT_EQ(changed[2], (std::vector<std::string>{"integration_time_us", "flip_vertical"}));
}

TEST(Writer, TheCalibrationComesBackBitForBit)
{
    scratch_folder dir;
    const std::string path = dir.file("calibration.bag");
    recording::calibration c;
    c.device_type = 4;
    c.mode = 0;
    c.width = 640;
    c.height = 480;
    c.frequency1 = 80000000;
    c.frequency2 = 100000000;
    c.serial_number = "SER\"IAL\\1";
    c.words.resize(recording::kCalibrationWords);
    std::mt19937 gen(3);
    for (uint32_t& w : c.words) {
        float f = std::ldexp(float(gen() % 100000) / 7.0f, int(gen() % 40) - 20);
        std::memcpy(&w, &f, sizeof w);
    }
    // Awkward floats (F[0..4]) and integer fields (F[9], F[10], F[27]).
    const float odd[] = {-0.0f, FLT_MIN / 4, FLT_MAX, 1.0f / 3.0f, -FLT_EPSILON};
    for (int i = 0; i < 5; ++i)
        std::memcpy(&c.words[size_t(i)], &odd[i], sizeof(float));
    c.words[9] = 640;
    c.words[10] = 480;
    c.words[27] = static_cast<uint32_t>(-5);
    std::string error;
    auto w = recording::writer::create(path, {}, error);
    ASSERT_TRUE(w) << error;
    w->set_calibration(c);
    ASSERT_TRUE(w->close(error)) << error;
    auto r = open_ok(path);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->calibration_count(), 1u);
    const std::optional<recording::calibration> back = r->calibration_at(0);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->serial_number, c.serial_number);
    ASSERT_EQ(back->words.size(), c.words.size());
    for (size_t i = 0; i < c.words.size(); ++i)
        ASSERT_EQ(back->words[i], c.words[i]) << "F[" << i << "]";
    EXPECT_TRUE(*back == c);
}

}  // namespace
