// Test-only interface of the virtual camera: the scene's ground truth and the
// capture conditions of a frame. Not part of the camera SDK proper.
#pragma once

#include <cstdint>
#include <vector>

#include "parvolux3/parvolux3_export.h"
#include "parvolux3/pvx3.h"

namespace pvx3::testing {

// Objects of the scene (values of truth_image::object).
enum scene_object : int16_t {
    kNoObject = 0,
    kBackWall = 1,
    kLeftWall = 2,
    kRightWall = 3,
    kFloor = 4,
    kCeiling = 5,
    kPosterBox = 6,     // textured: poster on its front face
    kCheckerBoard = 7,  // textured: 8 x 6 squares
    kWhiteSphere = 8,
    kDarkCylinder = 9,
    kMovingSphere = 10,
    kNearPanel = 11,  // 0.42 to 0.46 m from the camera
    kObjectCount = 12,
};

struct truth_image {
    int width = 0, height = 0;
    std::vector<float> depth_mm;  // along the optical axis; 0 where nothing is hit
    std::vector<int16_t> object;  // scene_object per pixel
};

// Capture conditions of a frame of this SDK; false for a foreign frame.
struct frame_conditions {
    double scene_time_s = 0;
    double temperature_c = 0;
    double integration_us = 0;
    bool flip_vertical = false;
    bool flip_horizontal = false;
    // Lens of the image: fx, fy, cx, cy (pixels), k1, k2, p1, p2, k3.
    double lens[9] = {};
};
PARVOLUX3_EXPORT bool conditions_of(const frame* f, frame_conditions& out);

// What the depth camera sees at a scene time, for a depth stream of
// width x height (640 x 480 or 320 x 240), unmirrored: pixel (row, column)
// looks along the sensor ray of that pixel.
PARVOLUX3_EXPORT truth_image depth_truth(int width, int height, double scene_time_s);

// What the colour camera sees at a scene time on the grid of its undistorted
// 1920 x 1080 image (the registered frame's grid), unmirrored; depth along
// the colour camera's axis.
PARVOLUX3_EXPORT truth_image colour_truth(double scene_time_s);

// The camera of a context is unplugged now, as if its cable were pulled: its
// device, sensor and pipelines answer PVX3_ERROR_NO_DEVICE from now on and
// query_devices counts 0. False when no camera is connected.
PARVOLUX3_EXPORT bool unplug_camera(context* ctx);

// A camera is plugged into a context now: query_devices counts 1 and
// get_device gives a new device (handles of a lost one stay lost), with its
// frame-set count for PVX3_LOST_AFTER starting again. False when a camera is
// connected already or the context is not one of this SDK's.
PARVOLUX3_EXPORT bool plug_camera(context* ctx);

}  // namespace pvx3::testing
