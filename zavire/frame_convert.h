#pragma once

// Per-frame kernels of the acquisition thread, free of the camera SDK so that
// they can be tested and measured on synthetic frames.

#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <cstdint>

// N x 1 CV_8UC3 image in which row N-1-i holds table entry i byte for byte
// (entry 0 in the bottom row). `table` holds `count` 3-byte entries.
cv::Mat make_color_bar(const uint8_t* table, int count);

// 16-bit IR to 8-bit grey: raw x 0.5, rounded half to even, saturated at 255.
cv::Mat ir_to_gray(const cv::Mat& raw);

// Packed YUYV 4:2:2 (width x height x 2 bytes) to CV_8UC3 R,G,B.
cv::Mat yuyv_to_rgb(const uint8_t* data, int width, int height);

// Byte order of the colour source of a point cloud.
enum class colour_order {
    rgb,  // depth render data: R,G,B per pixel
    bgr,  // registered colour frame: B,G,R per pixel
};

// Rebuilds `cloud` as an organised width x height cloud: point i takes
// x,y,z = xyz[3i..3i+2] and its colour from colours[3i..3i+2] in `order`,
// alpha 255. Every pixel yields a point.
void fill_point_cloud(pcl::PointCloud<pcl::PointXYZRGB>& cloud, const float* xyz,
                      const uint8_t* colours, colour_order order, int width, int height);

// Pixels without a measurement (depth 0, invalid, or 1, saturated) become the
// point (0, 0, 0), as the SDK gives for invalid pixels: a saturated pixel is
// no distance of 1 mm. `depth` holds the cloud's width x height values.
void clear_unmeasured_points(pcl::PointCloud<pcl::PointXYZRGB>& cloud, const uint16_t* depth);

// fill_point_cloud followed by clear_unmeasured_points (when `depth` is
// given), in one pass over the 66 MB of a 1920 x 1080 cloud instead of two:
// each point is written whole (two 16-byte stores), x, y, z, 1 and
// B, G, R, 255 with zero padding, which is what a point of that value holds.
// (Stores bypassing the cache were slower here.) Clouds of a million points
// and more are filled in two halves on two threads.
void fill_measured_point_cloud(pcl::PointCloud<pcl::PointXYZRGB>& cloud, const float* xyz,
                               const uint8_t* colours, colour_order order, const uint16_t* depth,
                               int width, int height);
