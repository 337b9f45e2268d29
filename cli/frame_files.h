// The files `export` writes for one frame set: the same files the viewer
// saves (16-bit depth and IR PNG with their JSON sidecars, colour-coded depth,
// 8-bit IR, colour, ASCII PCD point cloud), plus a binary PLY cloud; named by
// frame number.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recording/reprocessor.h"
#include "recording/types.h"

namespace cli {

struct export_kinds {
    bool depth = false, ir = false, colour = false, cloud = false;
};

class frame_exporter {
public:
    // `folder` must exist. `points` may be null: clouds then come from the
    // recorded camera model instead of the reconstruction library.
    frame_exporter(std::string folder, std::string recording_name, recording::device_info device,
                   recording::reprocessor* points);

    // Writes the files of `kinds` the frame set has data for, into `folder`
    // + `subfolder`. False with the first failure in `error` (the other
    // files are still attempted). The sidecars state the sensor temperature
    // when the frame set carries its raw phase frame (read only when asked
    // for: it is the largest part of a frame set), else null.
    bool write(const recording::frame_set& frames, const recording::camera_settings& settings,
               const std::optional<recording::calibration>& cal, const export_kinds& kinds,
               const std::string& subfolder, std::vector<std::string>& written, std::string& error);

private:
    std::string folder_;
    std::string recording_name_;
    recording::device_info device_;
    recording::reprocessor* points_;
    std::vector<uint8_t> colour_table_;  // the SDK's depth colours, near to far
    // Rays of the recorded camera model, for clouds without the library.
    recording::lens_model rays_lens_;
    int rays_width_ = 0, rays_height_ = 0;
    std::vector<float> rays_;  // x, y per pixel
};

// Sensor temperature (deg C) from a raw phase frame's header words; none for
// a sensor family without them.
std::optional<double> raw_temperature(const recording::image& raw, int device_type);

}  // namespace cli
