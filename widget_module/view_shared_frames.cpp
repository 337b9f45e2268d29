#include "view_shared_frames.h"

#include "zavire/frame_data.h"

void view_copy_depth_images(cv::Mat* color, cv::Mat* raw)
{
    std::lock_guard<std::mutex> lock(frame_data::depth_image_lock);
    *color = frame_data::depth_color_image.clone();
    *raw = frame_data::depth_raw_image.clone();
}

void view_copy_depth_images(cv::Mat* color, cv::Mat* raw, frame_data::depth_frame_facts* facts)
{
    std::lock_guard<std::mutex> lock(frame_data::depth_image_lock);
    *color = frame_data::depth_color_image.clone();
    *raw = frame_data::depth_raw_image.clone();
    *facts = frame_data::depth_facts;
}

void view_copy_raw_ir(cv::Mat* raw)
{
    std::lock_guard<std::mutex> lock(frame_data::ir_image_lock);
    *raw = frame_data::ir_raw_image.clone();
}

cv::Mat view_color_bar_image() { return frame_data::color_bar; }

void view_with_shared_cloud(const std::function<void(const view_cloud_ptr& cloud,
                                                     const double pose[9])>& use)
{
    std::lock_guard<std::mutex> lock(frame_data::point_cloud_lock);
    const frame_data::camera_pose& p = frame_data::view_camera_pose;
    const double pose[9] = {p.position[0], p.position[1], p.position[2],
                            p.focal_point[0], p.focal_point[1], p.focal_point[2],
                            p.view_up[0], p.view_up[1], p.view_up[2]};
    use(frame_data::point_cloud, pose);
}
