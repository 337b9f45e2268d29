#include "recording_test_support.h"

#include <gtest/gtest.h>
#include <parvolux3/pvx3_testing.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "recording/pvx3_capture.h"
#include "sdk_test_support.h"

namespace recording_test {

scratch_folder::scratch_folder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tessivue-recording-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    path_ = made ? made : "";
}

scratch_folder::~scratch_folder()
{
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

capture_result capture(const std::string& path, const capture_case& c, int count,
                       const recording::writer_options& options,
                       std::initializer_list<std::pair<const std::string, std::string>> environment)
{
    using recording::bit;
    using recording::stream;
    capture_result out;
    sdk_test::scoped_environment env(environment);
    sdk_test::camera cam;
    if (!cam.dev) {
        ADD_FAILURE() << "no virtual camera";
        return out;
    }
    if (cam.sensor) {
        cam.sensor->set_option(pvx3::PVX3_OPTION_FLIP_VERTICAL, c.flip_vertical, nullptr);
        cam.sensor->set_option(pvx3::PVX3_OPTION_FLIP_HORIZONTAL, c.flip_horizontal, nullptr);
    }
    std::vector<pvx3::pvx3_stream_format> plan;
    if (c.streams & bit(stream::depth))
        plan.push_back({pvx3::PVX3_STREAM_DEPTH, c.width, c.height});
    if (c.streams & bit(stream::ir))
        plan.push_back({pvx3::PVX3_STREAM_IR, c.width, c.height});
    if (c.streams & bit(stream::colour))
        plan.push_back({pvx3::PVX3_STREAM_RGB, c.colour_width, c.colour_height});
    if (c.streams & bit(stream::raw_phase))
        plan.push_back({pvx3::PVX3_STREAM_RAW_PHASE, c.width, c.height});
    if (cam.start(plan) != 0) {
        ADD_FAILURE() << "the virtual camera does not start";
        return out;
    }
    std::string error;
    std::unique_ptr<recording::writer> w = recording::writer::create(path, options, error);
    if (!w) {
        ADD_FAILURE() << error;
        return out;
    }
    w->set_device_info(recording::capture_device_info(cam.dev));
    const bool tof = c.streams & (bit(stream::depth) | bit(stream::ir) | bit(stream::raw_phase));
    out.calibration = tof ? recording::capture_calibration(cam.dev, c.width, c.height) : std::nullopt;
    if (out.calibration)
        w->set_calibration(*out.calibration);
    out.settings = recording::capture_settings(cam.sensor, tof ? c.width : 0, tof ? c.height : 0,
                                               (c.streams & bit(stream::colour)) ? c.colour_width : 0,
                                               (c.streams & bit(stream::colour)) ? c.colour_height : 0);
    w->set_settings(out.settings);
    const recording::stream_lenses lenses = recording::lenses_for(out.calibration, out.settings);
    for (int i = 0; i < count; ++i) {
        sdk_test::frameset_ptr fs = cam.next();
        if (!fs) {
            ADD_FAILURE() << "no frame set " << i;
            break;
        }
        recording::frame_set_view view;
        if (!recording::view_frame_set(*fs, c.streams, lenses, view)) {
            ADD_FAILURE() << "empty frame set " << i;
            break;
        }
        sdk_frame_set copy;
        copy.number = view.frame_number;
        copy.timestamp_us = view.timestamp_us;
        for (stream s : recording::kAllStreams) {
            const recording::image_view& v = view[s];
            if (!v.data)
                continue;
            const int k = static_cast<int>(s);
            const auto* p = static_cast<const uint8_t*>(v.data);
            copy.pixels[k].assign(p, p + size_t(v.width) * v.height * recording::bytes_per_pixel(v.encoding));
            copy.width[k] = v.width;
            copy.height[k] = v.height;
        }
        pvx3::testing::frame_conditions cond;
        if (fs->get_depth_frame(nullptr) && pvx3::testing::conditions_of(fs->get_depth_frame(nullptr), cond))
            std::memcpy(copy.depth_lens, cond.lens, sizeof cond.lens);
        if (fs->get_rgb_frame(nullptr) && pvx3::testing::conditions_of(fs->get_rgb_frame(nullptr), cond))
            std::memcpy(copy.colour_lens, cond.lens, sizeof cond.lens);
        w->submit(view);
        out.frames.push_back(std::move(copy));
    }
    out.closed = w->close(out.close_error);
    out.status = w->status();
    return out;
}

std::vector<char> file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace recording_test
