// Frame sets built ahead and kept around the place shown: whatever was
// built before, the frame set handed out is the one the timeline asks for,
// built with the settings as they are now, and closing a recording while a
// frame set is being built ahead is clean.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include <playback/recording_camera.h>
#include <recording/depth_colours.h>
#include <recording/reader.h>
#include <recording/reprocessor.h>

#include "recording_test_support.h"

namespace {

using recording::bit;
using recording::stream;
using recording_test::capture_result;

constexpr int kFrames = 16;

class PlaybackPrefetch : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new recording_test::scratch_folder();
        path = new std::string(folder->file("prefetch.bag"));
        recording_test::capture_case c;
        c.name = "prefetch";
        c.streams = bit(stream::depth) | bit(stream::ir) | bit(stream::raw_phase);
        captured = new capture_result(recording_test::capture(*path, c, kFrames));
    }
    static void TearDownTestSuite()
    {
        delete captured;
        delete path;
        delete folder;
    }

    void SetUp() override
    {
        ASSERT_TRUE(captured->closed) << captured->close_error;
        ASSERT_EQ(captured->frames.size(), size_t(kFrames));
        std::string error;
        camera = playback::recording_camera::open(*path, error);
        ASSERT_TRUE(camera) << error;
        config = camera->create_config();
        pipe = camera->create_pipeline();
        ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480), 0);
        ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_IR, 640, 480), 0);
    }

    std::unique_ptr<pvx3::frameset> next(unsigned timeout_ms = 2000)
    {
        return std::unique_ptr<pvx3::frameset>(pipe->wait_for_frames(timeout_ms));
    }

    // The frame set is the captured one at `index`: number, depth and IR.
    static ::testing::AssertionResult is_frame(const pvx3::frameset* set, size_t index)
    {
        if (!set)
            return ::testing::AssertionFailure() << "no frame set";
        const pvx3::frame* depth = set->get_depth_frame();
        const pvx3::frame* ir = set->get_ir_frame();
        if (!depth || !ir)
            return ::testing::AssertionFailure() << "depth or IR missing";
        const recording_test::sdk_frame_set& want = captured->frames[index];
        if (depth->get_frame_number() != want.number)
            return ::testing::AssertionFailure() << "frame number " << depth->get_frame_number() << ", expected "
                                                 << want.number << " (index " << index << ")";
        const std::vector<uint8_t>& d = want.pixels[int(stream::depth)];
        const std::vector<uint8_t>& i = want.pixels[int(stream::ir)];
        if (depth->get_data_size() != d.size() || std::memcmp(depth->get_data(), d.data(), d.size()) != 0)
            return ::testing::AssertionFailure() << "depth differs from the captured one at " << index;
        if (ir->get_data_size() != i.size() || std::memcmp(ir->get_data(), i.data(), i.size()) != 0)
            return ::testing::AssertionFailure() << "IR differs from the captured one at " << index;
        return ::testing::AssertionSuccess();
    }

    static recording_test::scratch_folder* folder;
    static std::string* path;
    static capture_result* captured;
    std::unique_ptr<playback::recording_camera> camera;
    pvx3::config* config = nullptr;
    pvx3::pipeline* pipe = nullptr;
};

recording_test::scratch_folder* PlaybackPrefetch::folder = nullptr;
std::string* PlaybackPrefetch::path = nullptr;
capture_result* PlaybackPrefetch::captured = nullptr;

// A seeded walk of steps and seeks, sometimes taking the next frame set at
// once (the neighbours still being built ahead), sometimes after the paused
// frame set came again (built ahead by then).
TEST_F(PlaybackPrefetch, StepsAndSeeksHandOutTheFrameAskedFor)
{
    camera->pause();
    ASSERT_EQ(pipe->start(config), 0);
    ASSERT_TRUE(is_frame(next().get(), 0));
    std::mt19937 random(11);
    long long at = 0;
    for (int move = 0; move < 60; ++move) {
        const int kind = int(random() % 4);
        if (kind == 3) {
            const size_t to = random() % (kFrames + 4);  // past the end too
            camera->seek(to);
            at = std::min<long long>(to, kFrames - 1);
        } else {
            const int delta = kind == 0 ? -1 : kind == 1 ? 1
                                                         : (random() % 2 ? 2 : -2);
            camera->step(delta);
            at = std::clamp<long long>(at + delta, 0, kFrames - 1);
        }
        auto set = next();
        ASSERT_TRUE(is_frame(set.get(), size_t(at))) << "move " << move;
        EXPECT_EQ(camera->where().index, size_t(at)) << "move " << move;
        if (random() % 2) {
            auto again = next();  // the paused frame set, 100 ms later
            ASSERT_TRUE(is_frame(again.get(), size_t(at))) << "move " << move << ", again";
        }
    }
}

TEST_F(PlaybackPrefetch, PlayingGoesOnFromWhereItWasSent)
{
    camera->set_speed(4);
    ASSERT_EQ(pipe->start(config), 0);
    for (size_t i = 0; i < 3; ++i)
        ASSERT_TRUE(is_frame(next().get(), i));
    // Seeks forward and back while playing: frame sets built ahead of the
    // old place are not handed out.
    for (size_t to : {size_t(10), size_t(4), size_t(5), size_t(12)}) {
        camera->seek(to);
        for (size_t k = 0; k < 3; ++k)
            ASSERT_TRUE(is_frame(next().get(), to + k)) << "after a seek to " << to;
        EXPECT_TRUE(camera->where().playing);
    }
}

TEST_F(PlaybackPrefetch, LoopWrapsRoundWithFramesBuiltAhead)
{
    camera->set_loop(true);
    camera->set_speed(4);
    camera->seek(kFrames - 3);
    ASSERT_EQ(pipe->start(config), 0);
    for (int i = 0; i < kFrames + 6; ++i)
        ASSERT_TRUE(is_frame(next().get(), size_t((kFrames - 3 + i) % kFrames))) << i;
    EXPECT_EQ(camera->where().passes, 2u);
}

// Depth of frame set `index` recomputed from its raw phase frame with the
// recorded settings and this filter option.
std::vector<uint16_t> recomputed(const std::string& path, size_t index, int filter)
{
    std::string error;
    auto r = recording::reader::open(path, error);
    EXPECT_TRUE(r) << error;
    recording::frame_set fs;
    EXPECT_TRUE(r && r->read(index, fs, error, bit(stream::raw_phase))) << error;
    auto lib = recording::reprocessor::create(error);
    EXPECT_TRUE(lib) << error;
    const std::optional<recording::calibration> cal = r ? r->calibration_at(index) : std::nullopt;
    if (!r || !fs[stream::raw_phase] || !lib || !cal)
        return {};
    recording::reprocess_options o = recording::options_from(r->settings_at(index));
    o.filter = filter;
    std::vector<uint16_t> depth;
    int w = 0, h = 0;
    EXPECT_TRUE(lib->compute(*cal, *fs[stream::raw_phase], o, depth, w, h, error)) << error;
    return depth;
}

bool depth_is(const pvx3::frameset* set, const std::vector<uint16_t>& want)
{
    const pvx3::frame* depth = set ? set->get_depth_frame() : nullptr;
    return depth && !want.empty() && depth->get_data_size() == want.size() * 2
           && std::memcmp(depth->get_data(), want.data(), depth->get_data_size()) == 0;
}

// Neighbours built ahead with the settings of the moment are built again
// once a setting that changes their picture changed.
TEST_F(PlaybackPrefetch, SettingChangesReachFramesBuiltAhead)
{
    ASSERT_TRUE(camera->can_reprocess()) << camera->reprocess_unavailable_reason();
    camera->pause();
    camera->seek(5);
    ASSERT_EQ(pipe->start(config), 0);
    ASSERT_TRUE(is_frame(next().get(), 5));
    ASSERT_TRUE(is_frame(next().get(), 5));  // 4 and 6 are built ahead meanwhile
    pvx3::sensor* sensor = camera->get_device()->get_sensor();

    struct change {
        const char* what;
        int step;
        size_t index;
    };
    // The distance range colours the depth.
    ASSERT_EQ(sensor->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, 2000, 500), 0);
    for (const change& c : {change{"refreshed", 0, 5}, change{"ahead", 1, 6}, change{"behind", -1, 5}}) {
        if (c.step)
            camera->step(c.step);
        auto set = next();
        ASSERT_TRUE(is_frame(set.get(), c.index)) << c.what;
        const pvx3::frame* depth = set->get_depth_frame();
        std::vector<uint8_t> rgb(640 * 480 * 3);
        recording::colourise_depth(static_cast<const uint16_t*>(depth->get_data()), 640 * 480, 500, 2000,
                                   recording::sdk_colour_table(), rgb.data());
        EXPECT_EQ(std::memcmp(depth->get_render_data(), rgb.data(), rgb.size()), 0) << c.what;
    }
    ASSERT_TRUE(is_frame(next().get(), 5));  // 4 and 6 built ahead again

    // Re-processing on, then the filter switched: the depth is the one
    // recomputed with the filter as now set, the recorded one stays known.
    camera->set_reprocess(true);
    for (int filter : {0, 1}) {
        ASSERT_EQ(sensor->set_option(pvx3::PVX3_OPTION_FILTER, uint16_t(filter)), 0);
        for (const change& c : {change{"refreshed", 0, 5}, change{"ahead", 1, 6}, change{"behind", -1, 5},
                                change{"behind again", -1, 4}}) {
            if (c.step)
                camera->step(c.step);
            auto set = next();
            ASSERT_TRUE(set) << c.what;
            EXPECT_EQ(set->get_depth_frame()->get_frame_number(), captured->frames[c.index].number) << c.what;
            EXPECT_TRUE(depth_is(set.get(), recomputed(*path, c.index, filter)))
                << c.what << " with filter " << filter;
            const uint16_t* recorded =
                reinterpret_cast<const uint16_t*>(captured->frames[c.index].pixels[int(stream::depth)].data());
            EXPECT_EQ(camera->recorded_depth_at(320, 240), recorded[240 * 640 + 320]) << c.what;
        }
        camera->seek(5);
        ASSERT_TRUE(next());
    }
    // Back to the recorded depth.
    camera->set_reprocess(false);
    camera->step(1);
    EXPECT_TRUE(is_frame(next().get(), 6));
}

// The camera closed while its thread builds a frame set ahead (re-processing
// makes that take a while), at several moments; and never started at all.
TEST_F(PlaybackPrefetch, ClosesWhileBuildingAhead)
{
    camera.reset();
    for (int round = 0; round < 6; ++round) {
        std::string error;
        auto c = playback::recording_camera::open(*path, error);
        ASSERT_TRUE(c) << error;
        if (round == 0)
            continue;  // opened and closed at once
        pvx3::config* cfg = c->create_config();
        pvx3::pipeline* p = c->create_pipeline();
        ASSERT_EQ(cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480), 0);
        c->set_reprocess(round % 2 == 0);
        c->set_speed(4);
        if (round == 5)
            c->pause();
        ASSERT_EQ(p->start(cfg), 0);
        for (int k = 0; k < round % 3 + 1; ++k)
            ASSERT_TRUE(std::unique_ptr<pvx3::frameset>(p->wait_for_frames(2000))) << round;
        if (round == 4)
            p->stop();
        // Frame sets handed out outlive the camera.
        std::unique_ptr<pvx3::frameset> last(p->wait_for_frames(2000));
        c.reset();
        if (last && last->get_depth_frame()) {
            EXPECT_EQ(last->get_depth_frame()->get_width(), 640) << round;
        }
    }
}

}  // namespace
