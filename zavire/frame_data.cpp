#include "frame_data.h"

namespace frame_data {

cv::Mat color_bar;

std::mutex depth_image_lock;
cv::Mat depth_color_image;
cv::Mat depth_raw_image;
depth_frame_facts depth_facts;

std::mutex ir_image_lock;
cv::Mat ir_image;
cv::Mat ir_raw_image;

std::mutex point_cloud_lock;
pcl::PointCloud<pcl::PointXYZRGB>::Ptr point_cloud;
camera_pose view_camera_pose;

}  // namespace frame_data
