// Conversion between the recording's types and the ROS messages that hold
// them in the bag.
#pragma once

#include <cstdint>
#include <string>

#include <ros/time.h>
#include <sensor_msgs/CameraInfo.h>
#include <sensor_msgs/Image.h>

#include "recording/types.h"

namespace recording::detail {

// The bag library reports damaged input on stderr through console_bridge as
// well as by its exceptions; the exceptions are what we pass on, in words.
void quiet_bag_library();

ros::Time to_ros_time(int64_t ns);
int64_t from_ros_time(const ros::Time& t);

// Bytes of an image view's pixels (0 when absent or of an unknown encoding).
size_t view_bytes(const image_view& v);

// Fills `msg` with a copy of the view's pixels; the message's buffer is
// reused when it is large enough.
void fill_image(sensor_msgs::Image& msg, const image_view& v, stream s, uint32_t seq, const ros::Time& stamp);
void fill_camera_info(sensor_msgs::CameraInfo& msg, const image_view& v, stream s, uint32_t seq,
                      const ros::Time& stamp);

// Takes the message's pixels into `out` (moved, not copied). False with a
// reason when the message does not describe a consistent image.
bool take_image(sensor_msgs::Image& msg, image& out, std::string& error);
lens_model lens_of(const sensor_msgs::CameraInfo& info);

}  // namespace recording::detail
