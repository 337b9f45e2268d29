// Reading a message out of a bag without trusting its length prefixes.
//
// The serialisation library sizes a string or vector from its length prefix
// before it checks that the bytes are there, so one damaged prefix in a small
// message of a damaged recording asks for up to 4 GB. These read the message's
// bytes first, check every length prefix against them, and only then let the
// library deserialise.
#pragma once

#include <string>

#include <rosbag/message_instance.h>
#include <sensor_msgs/CameraInfo.h>
#include <sensor_msgs/Image.h>
#include <std_msgs/String.h>

namespace recording::detail {

// False with a reason (and `out` untouched) when the message is of another
// type or its bytes do not hold what its prefixes claim.
bool read_message(const rosbag::MessageInstance& m, sensor_msgs::Image& out, std::string& why);
bool read_message(const rosbag::MessageInstance& m, sensor_msgs::CameraInfo& out, std::string& why);
bool read_message(const rosbag::MessageInstance& m, std_msgs::String& out, std::string& why);

}  // namespace recording::detail
