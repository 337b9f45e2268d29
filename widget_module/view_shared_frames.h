#pragma once

#include <functional>
#include <memory>

namespace cv {
class Mat;
}
namespace frame_data {
struct depth_frame_facts;
}
namespace pcl {
struct PointXYZRGB;
template <typename PointT>
class PointCloud;
}  // namespace pcl

// The views' only door to the frame data the acquisition thread publishes.
// Each call holds the matching lock just for its copy, so painting and
// measuring never block acquisition.

// Deep copies of the shared depth colour image (RGB888) and raw depth image
// (16-bit millimetres), taken together under the depth image lock.
void view_copy_depth_images(cv::Mat* color, cv::Mat* raw);
// The same with what the camera said about that depth image.
void view_copy_depth_images(cv::Mat* color, cv::Mat* raw, frame_data::depth_frame_facts* facts);

// Deep copy of the shared raw IR image (16-bit), under the IR image lock.
void view_copy_raw_ir(cv::Mat* raw);

// The colour bar (N x 1, RGB888, far end of the map in the top row).
cv::Mat view_color_bar_image();

using view_cloud_ptr = std::shared_ptr<const pcl::PointCloud<pcl::PointXYZRGB>>;

// Runs `use` with the shared point cloud and the view camera pose (position,
// focal point, view-up) while the point-cloud lock is held.
void view_with_shared_cloud(const std::function<void(const view_cloud_ptr& cloud,
                                                     const double pose[9])>& use);
