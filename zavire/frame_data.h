#pragma once

// Process-wide frame data written by the acquisition thread and read by the
// views and the save tasks. Every image write replaces the cv::Mat by a newly
// allocated one, so a reader that copied the old header under the lock keeps
// a valid image; readers must still copy (or clone) while holding the lock.
//
// No code path holds two of these locks at once.

#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <mutex>
#include <optional>

#include "quality/camera_rays.h"

namespace frame_data {

// N x 1, CV_8UC3, R,G,B; the colour table's last entry in the top row.
// Built on the GUI thread by the driver_operate constructor; no lock.
extern cv::Mat color_bar;

// Guards depth_color_image and depth_raw_image.
extern std::mutex depth_image_lock;
extern cv::Mat depth_color_image;  // H x W, CV_8UC3, R,G,B byte order
extern cv::Mat depth_raw_image;    // H x W, CV_16UC1, millimetres; 0 invalid, 1 saturated

// What the views need to know about the depth image beside its pixels (the
// quality tools: plane fit in millimetres, CSV rows); written with the
// images under depth_image_lock.
struct depth_frame_facts {
    std::uint64_t frame_number = 0;  // the pipeline's count since its start
    double time_s = 0;               // capture time, seconds since the start
    bool flip_vertical = false;      // as the camera mirrored this image
    bool flip_horizontal = false;
    // The lens the image was taken with (unmirrored sensor, any size of it);
    // empty until it could be learnt from the camera's point cloud.
    std::optional<quality::depth_intrinsics> lens;
};
extern depth_frame_facts depth_facts;

// Guards ir_image and ir_raw_image.
extern std::mutex ir_image_lock;
extern cv::Mat ir_image;      // H x W, CV_8UC1, raw / 2 saturated to 255
extern cv::Mat ir_raw_image;  // H x W, CV_16UC1, raw IR intensity

// Guards point_cloud (the pointer and the cloud's contents) and
// view_camera_pose.
extern std::mutex point_cloud_lock;
// Organised: width W, height H, W x H points row-major; created (empty) by
// the first driver_operate and never replaced afterwards.
extern pcl::PointCloud<pcl::PointXYZRGB>::Ptr point_cloud;

// Camera pose for the 3D view; all zero until the first cloud is built.
struct camera_pose {
    double position[3] = {0, 0, 0};
    double focal_point[3] = {0, 0, 0};
    double view_up[3] = {0, 0, 0};
};
extern camera_pose view_camera_pose;

}  // namespace frame_data
