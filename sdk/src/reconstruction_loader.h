// Run-time binding to the qzreconstruction library. The library keeps one
// process-wide instance; every call from the SDK goes through the host
// library (qzhost), which serialises them with the other users of the
// instance in this process and re-initialises it whenever a call needs
// another image size or calibration.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "calibration.h"
#include "frames.h"

namespace qzhost {
class library;
}

namespace pvx3::detail {

class reconstruction_engine {
public:
    // Loads the library once per process: `explicit_path` when given, else
    // libqzreconstruction.so beside the program, beside this SDK, then on the
    // library search path. Null with a readable reason when it cannot.
    static reconstruction_engine* load(const std::string& explicit_path, std::string& reason);

    struct depth_job {
        const factory_calibration* calibration = nullptr;
        int width = 0, height = 0;
        int orientation = 0;  // 0 none, 1 rows reversed, 2 columns reversed, 3 both
        int filter = 1;       // the library's filter flag: 0 off, 1 standard, 2 noise-aware
        const uint16_t* raw = nullptr;
    };
    // Depth (width x height, mm) of a dual-frequency raw frame.
    bool compute_depth(const depth_job& job, pixel_buffer& depth, std::string& reason);

    // x, y, z per pixel of a depth image of the initialised size (640 x 480 or
    // 320 x 240) or of the colour size after a colour-capable initialisation.
    bool depth_to_points(const factory_calibration& cal, const uint16_t* depth, int width, int height,
                         std::vector<float>& xyz, std::string& reason);

    // Aligns a 640 x 480 depth image to a 1920 x 1080 YUYV colour frame: the
    // depth as seen by the colour camera and the undistorted B, G, R image.
    bool align(const factory_calibration& cal, const uint16_t* depth, const uint8_t* yuyv, int colour_width,
               int colour_height, pixel_buffer& registered_depth, pixel_buffer& bgr,
               std::string& reason);

private:
    explicit reconstruction_engine(qzhost::library* host) : host_(host) { }
    // With the host's lock held.
    bool ensure_locked(const factory_calibration& cal, int width, int height, std::string& reason);
    bool initialised_with_locked(const factory_calibration& cal) const;

    qzhost::library* host_;
};

}  // namespace pvx3::detail
