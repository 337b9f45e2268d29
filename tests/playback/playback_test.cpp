// A recording played back behind the pvx3 interfaces: what it offers, the
// frame sets it hands out, its timeline and its read-only settings.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>

#include <playback/recording_camera.h>
#include <qzapi/reconstruction.h>
#include <qzhost/reconstruction_host.h>
#include <recording/depth_colours.h>
#include <recording/reader.h>

#include "recording_test_support.h"

namespace {

using recording::bit;
using recording::stream;
using recording_test::capture_result;

constexpr int kFrames = 24;

class Playback : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new recording_test::scratch_folder();
        path = new std::string(folder->file("session.bag"));
        recording_test::capture_case c;
        c.name = "playback";
        c.streams = bit(stream::depth) | bit(stream::ir) | bit(stream::colour) | bit(stream::raw_phase);
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
        std::string error;
        camera = playback::recording_camera::open(*path, error);
        ASSERT_TRUE(camera) << error;
        device = camera->get_device();
        config = camera->create_config();
        pipe = camera->create_pipeline();
    }

    // Index in the capture of the frame set with this camera number.
    static int captured_index(uint64_t number)
    {
        for (size_t i = 0; i < captured->frames.size(); ++i)
            if (captured->frames[i].number == number)
                return static_cast<int>(i);
        return -1;
    }

    std::unique_ptr<pvx3::frameset> next(unsigned timeout_ms = 2000)
    {
        return std::unique_ptr<pvx3::frameset>(pipe->wait_for_frames(timeout_ms));
    }

    static recording_test::scratch_folder* folder;
    static std::string* path;
    static capture_result* captured;
    std::unique_ptr<playback::recording_camera> camera;
    pvx3::device* device = nullptr;
    pvx3::config* config = nullptr;
    pvx3::pipeline* pipe = nullptr;
};

recording_test::scratch_folder* Playback::folder = nullptr;
std::string* Playback::path = nullptr;
capture_result* Playback::captured = nullptr;

TEST_F(Playback, OffersWhatWasRecorded)
{
    EXPECT_EQ(camera->display_name(), "Recording: session.bag");
    EXPECT_EQ(camera->query_devices(), 1);
    const std::vector<int> streams = device->get_support_stream();
    EXPECT_EQ(streams, (std::vector<int>{pvx3::PVX3_STREAM_DEPTH, pvx3::PVX3_STREAM_IR, pvx3::PVX3_STREAM_RGB,
                                         pvx3::PVX3_STREAM_RAW_PHASE}));
    bool depth = false, colour = false;
    for (const pvx3::pvx3_stream_format& f : device->get_support_format()) {
        depth = depth || (f.type == pvx3::PVX3_STREAM_DEPTH && f.width == 640 && f.height == 480);
        colour = colour || (f.type == pvx3::PVX3_STREAM_RGB && f.width == 1920 && f.height == 1080);
    }
    EXPECT_TRUE(depth);
    EXPECT_TRUE(colour);
    std::string error;
    auto r = recording::reader::open(*path, error);
    ASSERT_TRUE(r);
    ASSERT_TRUE(r->device());
    EXPECT_STREQ(playback::device_info(camera.get(), device, pvx3::PVX3_CAMERA_INFO_MODULE_NAME),
                 r->device()->module_name.c_str());
    pvx3::pvx3_calibration cal;
    EXPECT_EQ(device->get_calibration(640, 480, cal), 0);
    EXPECT_EQ(cal.words, captured->calibration->words);
    EXPECT_EQ(device->get_calibration(320, 240, cal), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(camera->can_reprocess()) << camera->reprocess_unavailable_reason();
}

TEST_F(Playback, HandsOutTheRecordedFramesInOrder)
{
    ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480), 0);
    ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_IR, 640, 480), 0);
    camera->set_speed(4);
    ASSERT_EQ(pipe->start(config), 0);
    for (int i = 0; i < kFrames; ++i) {
        auto set = next();
        ASSERT_TRUE(set) << i;
        pvx3::frame* depth = set->get_depth_frame();
        pvx3::frame* ir = set->get_ir_frame();
        ASSERT_TRUE(depth && ir) << i;
        EXPECT_EQ(set->get_rgb_frame(), nullptr) << "colour was not enabled";
        EXPECT_EQ(set->get_raw_frame(), nullptr) << "raw phase was not enabled";
        ASSERT_EQ(captured_index(depth->get_frame_number()), i);
        const auto& sdk = captured->frames[i];
        ASSERT_EQ(depth->get_data_size(), sdk.pixels[int(stream::depth)].size());
        EXPECT_EQ(std::memcmp(depth->get_data(), sdk.pixels[int(stream::depth)].data(), depth->get_data_size()), 0);
        EXPECT_EQ(std::memcmp(ir->get_data(), sdk.pixels[int(stream::ir)].data(), ir->get_data_size()), 0);
        EXPECT_EQ(depth->get_timestamp_us(), sdk.timestamp_us);
        EXPECT_EQ(camera->where().index, size_t(i));
        // Coloured as the SDK colours depth, over the recorded distance range.
        std::vector<uint8_t> rgb(640 * 480 * 3);
        recording::colourise_depth(static_cast<const uint16_t*>(depth->get_data()), 640 * 480,
                                   captured->settings.near_mm, captured->settings.far_mm,
                                   recording::sdk_colour_table(), rgb.data());
        EXPECT_EQ(std::memcmp(depth->get_render_data(), rgb.data(), rgb.size()), 0);
    }
    // Without loop, playing ends at the last frame set.
    EXPECT_FALSE(camera->where().playing);
    // Then the last frame set stays, handed out again as from a still scene.
    auto still = next(300);
    ASSERT_TRUE(still);
    EXPECT_EQ(captured_index(still->get_depth_frame()->get_frame_number()), kFrames - 1);
    pipe->stop();
    pvx3::pvx3_error e;
    EXPECT_EQ(pipe->wait_for_frames(1000, &e), nullptr);
    EXPECT_EQ(e.code, pvx3::PVX3_ERROR_NOT_STREAMING);
}

TEST_F(Playback, PausedTimelineStepsAndSeeks)
{
    ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480), 0);
    camera->pause();
    ASSERT_EQ(pipe->start(config), 0);
    auto first = next();
    ASSERT_TRUE(first);
    EXPECT_EQ(captured_index(first->get_depth_frame()->get_frame_number()), 0);
    struct move {
        const char* name;
        int step;  // 0: seek
        size_t seek_to;
        size_t expected;
    };
    const move moves[] = {
        {"forward", 1, 0, 1},
        {"forward again", 1, 0, 2},
        {"back", -1, 0, 1},
        {"seek", 0, 17, 17},
        {"past the end", 0, 999, kFrames - 1},
        {"step at the end", 1, 0, kFrames - 1},
        {"back to the start", 0, 0, 0},
        {"before the start", -1, 0, 0},
    };
    for (const move& m : moves) {
        if (m.step)
            camera->step(m.step);
        else
            camera->seek(m.seek_to);
        EXPECT_EQ(camera->where().index, m.expected) << m.name;
        const auto t0 = std::chrono::steady_clock::now();
        auto set = next();
        ASSERT_TRUE(set) << m.name;
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100)) << m.name;
        EXPECT_EQ(captured_index(set->get_depth_frame()->get_frame_number()), int(m.expected)) << m.name;
        EXPECT_FALSE(camera->where().playing) << m.name;
    }
    // Paused, the frame set shown comes again (as from a still scene).
    auto again = next(500);
    ASSERT_TRUE(again);
    EXPECT_EQ(captured_index(again->get_depth_frame()->get_frame_number()), 0);
}

TEST_F(Playback, SpeedScalesTheRecordedPace)
{
    ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480), 0);
    std::string error;
    auto r = recording::reader::open(*path, error);
    const double recorded_s = double(r->stamp_ns(kFrames - 1) - r->stamp_ns(0)) / 1e9;
    camera->pause();
    ASSERT_EQ(pipe->start(config), 0);
    auto pass_s = [&](double speed) {
        camera->set_speed(speed);
        camera->seek(0);
        EXPECT_TRUE(next());
        const auto t0 = std::chrono::steady_clock::now();
        camera->play();
        for (int i = 1; i < kFrames; ++i)
            EXPECT_TRUE(next()) << speed << " " << i;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    const double normal = pass_s(1), quarter = pass_s(0.25), double_speed = pass_s(2);
    EXPECT_NEAR(normal, recorded_s, 0.2 * recorded_s);
    EXPECT_NEAR(quarter / normal, 4.0, 0.6);
    EXPECT_NEAR(double_speed / normal, 0.5, 0.12);
    camera->set_speed(100);
    EXPECT_EQ(camera->where().speed, 4.0);
    camera->set_speed(0.01);
    EXPECT_EQ(camera->where().speed, 0.25);
}

TEST_F(Playback, LoopStartsOver)
{
    ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480), 0);
    camera->set_loop(true);
    camera->set_speed(4);
    camera->seek(kFrames - 2);
    ASSERT_EQ(pipe->start(config), 0);
    std::vector<int> order;
    for (int i = 0; i < 4; ++i) {
        auto set = next();
        ASSERT_TRUE(set);
        order.push_back(captured_index(set->get_depth_frame()->get_frame_number()));
    }
    EXPECT_EQ(order, (std::vector<int>{kFrames - 2, kFrames - 1, 0, 1}));
    EXPECT_EQ(camera->where().passes, 1u);
    EXPECT_TRUE(camera->where().playing);
}

TEST_F(Playback, CameraSettingsAreReadOnly)
{
    pvx3::sensor* s = device->get_sensor();
    ASSERT_NE(s, nullptr);
    uint16_t v = 0, a = 0, b = 0;
    ASSERT_EQ(s->get_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, v), 0);
    EXPECT_EQ(v, captured->settings.integration_time_us);
    pvx3::pvx3_error e;
    for (int option : {pvx3::PVX3_OPTION_INTEGRATION_TIME, pvx3::PVX3_OPTION_FLIP_VERTICAL,
                       pvx3::PVX3_OPTION_FLIP_HORIZONTAL}) {
        EXPECT_EQ(s->set_option(option, 1, &e), pvx3::PVX3_ERROR_UNSUPPORTED) << option;
        EXPECT_FALSE(e.message.empty());
    }
    EXPECT_EQ(config->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480), 0);
    // The filter (re-processing) and the distance range (display) apply.
    EXPECT_EQ(s->set_option(pvx3::PVX3_OPTION_FILTER, 0), 0);
    ASSERT_EQ(s->get_option(pvx3::PVX3_OPTION_FILTER, v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(s->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, 2000, 500), 0);
    ASSERT_EQ(s->get_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, a, b), 0);
    EXPECT_EQ(std::make_pair(a, b), std::make_pair(uint16_t(2000), uint16_t(500)));
    EXPECT_EQ(s->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, 500, 2000), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    camera->pause();
    ASSERT_EQ(pipe->start(config), 0);
    auto set = next();
    ASSERT_TRUE(set);
    pvx3::frame* depth = set->get_depth_frame();
    std::vector<uint8_t> rgb(640 * 480 * 3);
    recording::colourise_depth(static_cast<const uint16_t*>(depth->get_data()), 640 * 480, 500, 2000,
                               recording::sdk_colour_table(), rgb.data());
    EXPECT_EQ(std::memcmp(depth->get_render_data(), rgb.data(), rgb.size()), 0);
    // A stream the recording lacks cannot be enabled.
    EXPECT_EQ(config->enable_stream(pvx3::PVX3_STREAM_POINT_CLOUD, 640, 480), pvx3::PVX3_ERROR_INVALID_ARGUMENT);
}

TEST_F(Playback, PointCloudFromTheRecordedCalibration)
{
    ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480), 0);
    camera->pause();
    ASSERT_EQ(pipe->start(config), 0);
    auto set = next();
    ASSERT_TRUE(set);
    pvx3::frame* cloud = pipe->get_process_engine()->depth_to_point_cloud(set->get_depth_frame());
    ASSERT_NE(cloud, nullptr);
    std::unique_ptr<float[]> xyz(static_cast<float*>(cloud->get_render_data()));
    const uint16_t* depth = static_cast<const uint16_t*>(set->get_depth_frame()->get_data());
    // z of a point is the depth (along the optical axis) it came from; the
    // points lie on the undistorted grid, so at depth edges and the border a
    // pixel's point may come from a neighbour or be missing.
    int valid = 0, points = 0, wrong = 0;
    for (int i = 0; i < 640 * 480; ++i) {
        if (depth[i] > 1)
            ++valid;
        if (xyz[i * 3 + 2] == 0.0f)
            continue;
        ++points;
        if (depth[i] <= 1 || std::abs(xyz[i * 3 + 2] - depth[i]) > 0.5f)
            ++wrong;
    }
    EXPECT_LT(wrong, points / 10);
    EXPECT_GT(points, valid * 8 / 10);
}

// The registered depth and colour of a frame set, straight from the
// library's AlignDepthToColour with the recorded calibration and images.
struct aligned {
    std::vector<uint16_t> depth;
    std::vector<uint8_t> bgr;
};

// Pixel (x, y) of an image shown with these flips comes from this pixel of
// the sensor's image.
size_t source_pixel(int x, int y, int w, int h, bool flip_vertical, bool flip_horizontal)
{
    return size_t(flip_vertical ? h - 1 - y : y) * w + (flip_horizontal ? w - 1 - x : x);
}

aligned library_alignment(const std::string& path, size_t index, bool flip_vertical = false,
                          bool flip_horizontal = false)
{
    aligned out;
    std::string error;
    auto r = recording::reader::open(path, error);
    EXPECT_TRUE(r) << error;
    recording::frame_set fs;
    EXPECT_TRUE(r && r->read(index, fs, error, bit(stream::depth) | bit(stream::colour))) << error;
    const std::optional<recording::calibration> cal = r ? r->calibration_at(index) : std::nullopt;
    if (!fs[stream::depth] || !fs[stream::colour] || !cal)
        return out;
    qzapi::CalibrationBlock block{};
    block.frequency1 = cal->frequency1;
    block.frequency2 = cal->frequency2;
    block.serialNumber = cal->serial_number;
    std::memcpy(&block.distCoeffs[0], cal->words.data(), cal->words.size() * sizeof(uint32_t));
    qzhost::library* lib = qzhost::library::load(qzhost::sdk_candidates(), error);
    EXPECT_NE(lib, nullptr) << error;
    if (!lib)
        return out;
    qzhost::setup s;
    s.device_type = cal->device_type;
    s.mode = cal->mode;
    s.calibration = &block;
    s.width = cal->width;
    s.height = cal->height;
    auto lock = lib->lock();
    EXPECT_TRUE(lib->ensure(s, error)) << error;
    const recording::image& d = *fs[stream::depth];
    const recording::image& c = *fs[stream::colour];
    // The library takes the sensors' own images: undo the recorded flips.
    uint16_t* depth = new uint16_t[size_t(d.width) * d.height];
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x)
            depth[size_t(y) * d.width + x] =
                d.pixels16()[source_pixel(x, y, d.width, d.height, flip_vertical, flip_horizontal)];
    // YUYV: each pixel keeps its luma and the chroma of its pair.
    std::vector<uint8_t> yuyv(c.data.size());
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const size_t from = source_pixel(x, y, c.width, c.height, flip_vertical, flip_horizontal);
            const size_t to = size_t(y) * c.width + x;
            yuyv[to * 2] = c.data[from * 2];
            yuyv[(to & ~size_t(1)) * 2 + 1] = c.data[(from & ~size_t(1)) * 2 + 1];
            yuyv[(to & ~size_t(1)) * 2 + 3] = c.data[(from & ~size_t(1)) * 2 + 3];
        }
    uint8_t* bgr = nullptr;
    int32_t w = 0, h = 0;
    lib->api()->AlignDepthToColour(&bgr, &depth, yuyv.data(), c.width, c.height, &w, &h);
    if (bgr && w == c.width && h == c.height) {
        out.depth.resize(size_t(w) * h);
        out.bgr.resize(size_t(w) * h * 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t from = source_pixel(x, y, w, h, flip_vertical, flip_horizontal);
                const size_t to = size_t(y) * w + x;
                out.depth[to] = depth[from];
                std::memcpy(&out.bgr[to * 3], &bgr[from * 3], 3);
            }
    }
    delete[] depth;
    delete[] bgr;
    return out;
}

// The frame set in the middle of the recording registered by the playback
// source against the library's own registration of the recorded images.
void check_registration(playback::recording_camera* camera, const std::string& path, size_t frames,
                        bool flip_vertical, bool flip_horizontal)
{
    pvx3::config* config = camera->create_config();
    pvx3::pipeline* pipe = camera->create_pipeline();
    auto next = [&] { return std::unique_ptr<pvx3::frameset>(pipe->wait_for_frames(2000)); };
    EXPECT_TRUE(camera->can_register()) << camera->registration_unavailable_reason();
    ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_DEPTH, 640, 480), 0);
    ASSERT_EQ(config->enable_stream(pvx3::PVX3_STREAM_RGB, 1920, 1080), 0);
    camera->pause();
    camera->seek(frames / 2);
    ASSERT_EQ(pipe->start(config), 0);
    auto set = next();
    ASSERT_TRUE(set);
    const size_t shown = camera->where().index;
    pvx3::pvx3_error e;
    std::unique_ptr<pvx3::frameset> registered(
        pipe->get_process_engine()->depth_to_rgb(set->get_depth_frame(), set->get_rgb_frame(), &e));
    ASSERT_TRUE(registered) << e.message;
    pvx3::frame* depth = registered->get_depth_frame();
    pvx3::frame* colour = registered->get_rgb_frame();
    ASSERT_TRUE(depth && colour);
    ASSERT_EQ(depth->get_width(), 1920);
    ASSERT_EQ(depth->get_height(), 1080);
    ASSERT_EQ(colour->get_data_size(), size_t(1920) * 1080 * 3);
    const aligned expected = library_alignment(path, shown, flip_vertical, flip_horizontal);
    ASSERT_EQ(expected.depth.size(), size_t(1920) * 1080);
    const uint16_t* got = static_cast<const uint16_t*>(depth->get_data());
    EXPECT_TRUE(std::equal(expected.depth.begin(), expected.depth.end(), got));
    const uint8_t* bgr = static_cast<const uint8_t*>(colour->get_data());
    EXPECT_TRUE(std::equal(expected.bgr.begin(), expected.bgr.end(), bgr));
    size_t valid = 0;
    for (uint16_t v : expected.depth)
        valid += v > 1;
    EXPECT_GT(valid, expected.depth.size() / 10);  // the comparison is not of empty images
    // Coloured for the view like any depth frame.
    EXPECT_NE(depth->get_render_data(), nullptr);
    // A registered frame is not registered again.
    EXPECT_EQ(pipe->get_process_engine()->depth_to_rgb(depth, colour, &e), nullptr);
    EXPECT_EQ(e.code, pvx3::PVX3_ERROR_INVALID_ARGUMENT);
    // Paused, the frame set handed out again registers to the same images
    // (also after the first registration and its frame set are gone).
    registered.reset();
    set.reset();
    for (int again = 0; again < 2; ++again) {
        auto same = next();
        ASSERT_TRUE(same);
        ASSERT_EQ(camera->where().index, shown);
        std::unique_ptr<pvx3::frameset> r(
            pipe->get_process_engine()->depth_to_rgb(same->get_depth_frame(), same->get_rgb_frame(), &e));
        ASSERT_TRUE(r) << e.message;
        const uint16_t* d = static_cast<const uint16_t*>(r->get_depth_frame()->get_data());
        EXPECT_TRUE(std::equal(expected.depth.begin(), expected.depth.end(), d));
        const uint8_t* c = static_cast<const uint8_t*>(r->get_rgb_frame()->get_data());
        EXPECT_TRUE(std::equal(expected.bgr.begin(), expected.bgr.end(), c));
    }
    pipe->stop();
}

TEST_F(Playback, RegistersDepthToColourAsTheLibraryDoes)
{
    check_registration(camera.get(), *path, kFrames, false, false);
}

// Recorded mirrored: the library registers the sensors' images and the
// results are mirrored back like the recorded ones.
TEST(PlaybackRegistration, FollowsTheRecordedFlips)
{
    recording_test::scratch_folder folder;
    for (const auto& [vertical, horizontal] : {std::make_pair(true, false), std::make_pair(true, true)}) {
        SCOPED_TRACE(std::to_string(vertical) + std::to_string(horizontal));
        const std::string file = folder.file("flipped" + std::to_string(vertical) + std::to_string(horizontal) + ".bag");
        recording_test::capture_case c;
        c.name = "flipped";
        c.flip_vertical = vertical;
        c.flip_horizontal = horizontal;
        c.streams = bit(stream::depth) | bit(stream::colour);
        const capture_result captured = recording_test::capture(file, c, 4);
        ASSERT_TRUE(captured.closed) << captured.close_error;
        std::string error;
        auto camera = playback::recording_camera::open(file, error);
        ASSERT_TRUE(camera) << error;
        check_registration(camera.get(), file, 4, vertical, horizontal);
    }
}

// Registration needs depth and colour in the recording.
TEST(PlaybackRegistration, OfferedOnlyWithDepthAndColour)
{
    struct row {
        const char* name;
        recording::stream_mask streams;
        bool offered;
    };
    const row rows[] = {
        {"depth_colour", bit(stream::depth) | bit(stream::colour), true},
        {"depth_ir", bit(stream::depth) | bit(stream::ir), false},
        {"colour", bit(stream::colour), false},
    };
    recording_test::scratch_folder folder;
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string file = folder.file(std::string(r.name) + ".bag");
        recording_test::capture_case c;
        c.name = r.name;
        c.streams = r.streams;
        const capture_result captured = recording_test::capture(file, c, 3);
        ASSERT_TRUE(captured.closed) << captured.close_error;
        std::string error;
        auto camera = playback::recording_camera::open(file, error);
        ASSERT_TRUE(camera) << error;
        EXPECT_EQ(camera->can_register(), r.offered) << camera->registration_unavailable_reason();
    }
}

TEST(PlaybackOpen, RefusesWhatIsNotARecording)
{
    recording_test::scratch_folder folder;
    struct bad {
        const char* name;
        const char* content;  // null: no file
        recording::open_status status;
    };
    const bad cases[] = {
        {"missing.bag", nullptr, recording::open_status::not_found},
        {"text.bag", "not a bag at all", recording::open_status::not_a_bag},
    };
    for (const bad& c : cases) {
        const std::string path = folder.file(c.name);
        if (c.content)
            std::ofstream(path) << c.content;
        std::string error;
        recording::open_status status = recording::open_status::ok;
        EXPECT_EQ(playback::recording_camera::open(path, error, &status), nullptr) << c.name;
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

}  // namespace
