// Depth recomputed from recorded raw phase frames with qzreconstruction,
// loaded the way the camera SDK loads it and initialised with the recorded
// calibration. With the recorded settings the result is the recorded depth,
// bit for bit.
//
// The library has one instance per process: each computation takes the host
// lock, sets the orientation, the filter mode and every filter parameter it
// needs, computes, and puts the parameters back as it found them, so a
// camera streaming in the same process is not disturbed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "recording/types.h"

namespace qzhost {
class library;
}

namespace recording {

struct reprocess_options {
    // The camera's filter option value handed to the library's
    // SetFilterEnabled: 0 off, 1 the median and block-deviation filters,
    // 2 the noise-aware mode.
    int filter = 1;
    bool flip_vertical = false, flip_horizontal = false;
    // Filter parameters by code (SetFilterParameter); codes not listed keep
    // the library's current values.
    std::map<int, std::vector<float>> filter_parameters;
};

// The options that reproduce a recorded frame set's depth.
reprocess_options options_from(const camera_settings& s);

class reprocessor {
public:
    // Null with a reason when the library cannot be loaded.
    static std::unique_ptr<reprocessor> create(std::string& reason);

    // Depth (width x height mm, 0 invalid, 1 saturated) of one raw phase
    // frame (mono16, four stacked sub-frames of 2 W x 2 H samples).
    bool compute(const calibration& cal, const image& raw, const reprocess_options& options,
                 std::vector<uint16_t>& depth, int& width, int& height, std::string& error);

    // Points of a depth image as the camera's point cloud has them: x, y, z
    // (mm) per pixel, row-major, (0, 0, 0) where there is none; laid out and
    // mirrored like the (possibly flipped) image.
    bool points(const calibration& cal, const image& depth, bool flip_vertical, bool flip_horizontal,
                std::vector<float>& xyz, std::string& error);

    // Depth registered to the colour camera by the library's
    // AlignDepthToColour, as the camera's processing engine does it: `depth`
    // the 640 x 480 depth image and `yuyv` the 1920 x 1080 colour image of one
    // frame set, both as recorded (mirrored as the flips ask). Out: the
    // registered depth (colour size, mm) and the undistorted colour image
    // (B, G, R), mirrored like the inputs. Needs a calibration with the
    // colour camera.
    bool align(const calibration& cal, const image& depth, const image& yuyv, bool flip_vertical,
               bool flip_horizontal, std::vector<uint16_t>& registered, std::vector<uint8_t>& bgr,
               int& width, int& height, std::string& error);

    // The library's version text and file.
    std::string version() const;
    std::string library_path() const;

    // The library's current filter parameters of every code it knows.
    std::map<int, std::vector<float>> filter_parameters() const;

private:
    explicit reprocessor(qzhost::library* lib) : lib_(lib) { }
    qzhost::library* lib_;
};

// The filter codes the library knows, in order (1, 2, 4, ..., 256).
const std::vector<int>& filter_codes();

}  // namespace recording
