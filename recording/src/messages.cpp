#include "messages.h"

#include <limits>
#include <mutex>

#include <console_bridge/console.h>

#include "recording/topics.h"

namespace recording::detail {

void quiet_bag_library()
{
    static std::once_flag once;
    std::call_once(once, [] { console_bridge::setLogLevel(console_bridge::CONSOLE_BRIDGE_LOG_NONE); });
}

ros::Time to_ros_time(int64_t ns)
{
    if (ns < 0)
        ns = 0;
    ros::Time t;
    t.fromNSec(static_cast<uint64_t>(ns));
    return t;
}

int64_t from_ros_time(const ros::Time& t) { return static_cast<int64_t>(t.toNSec()); }

size_t view_bytes(const image_view& v)
{
    if (!v.data || v.width <= 0 || v.height <= 0)
        return 0;
    return size_t(v.width) * size_t(v.height) * size_t(bytes_per_pixel(v.encoding));
}

void fill_image(sensor_msgs::Image& msg, const image_view& v, stream s, uint32_t seq, const ros::Time& stamp)
{
    msg.header.seq = seq;
    msg.header.stamp = stamp;
    msg.header.frame_id = topics::frame_id(s);
    msg.width = static_cast<uint32_t>(v.width);
    msg.height = static_cast<uint32_t>(v.height);
    msg.encoding = v.encoding;
    msg.is_bigendian = 0;
    msg.step = static_cast<uint32_t>(v.width * bytes_per_pixel(v.encoding));
    const auto* p = static_cast<const uint8_t*>(v.data);
    msg.data.assign(p, p + view_bytes(v));
}

void fill_camera_info(sensor_msgs::CameraInfo& msg, const image_view& v, stream s, uint32_t seq,
                      const ros::Time& stamp)
{
    const lens_model& l = v.lens;
    msg.header.seq = seq;
    msg.header.stamp = stamp;
    msg.header.frame_id = topics::frame_id(s);
    msg.width = static_cast<uint32_t>(v.width);
    msg.height = static_cast<uint32_t>(v.height);
    msg.distortion_model = "plumb_bob";
    msg.D = {l.k1, l.k2, l.p1, l.p2, l.k3};
    msg.K = {l.fx, 0, l.cx, 0, l.fy, l.cy, 0, 0, l.known() ? 1.0 : 0.0};
    msg.R = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    msg.P = {l.fx, 0, l.cx, 0, 0, l.fy, l.cy, 0, 0, 0, l.known() ? 1.0 : 0.0, 0};
    msg.binning_x = msg.binning_y = 0;
    msg.roi = sensor_msgs::RegionOfInterest();
}

bool take_image(sensor_msgs::Image& msg, image& out, std::string& error)
{
    const int bpp = bytes_per_pixel(msg.encoding);
    if (bpp == 0) {
        error = "unknown pixel encoding \"" + msg.encoding + "\"";
        return false;
    }
    constexpr uint32_t kMaxSide = 1u << 16;
    if (msg.width == 0 || msg.height == 0 || msg.width > kMaxSide || msg.height > kMaxSide
        || uint64_t(msg.step) < uint64_t(msg.width) * bpp
        || uint64_t(msg.data.size()) < uint64_t(msg.step) * msg.height) {
        error = "an image message is inconsistent (size " + std::to_string(msg.width) + " x "
                + std::to_string(msg.height) + ", " + std::to_string(msg.data.size()) + " bytes)";
        return false;
    }
    if (msg.is_bigendian && bpp == 2) {
        error = "big-endian 16-bit images are not supported";
        return false;
    }
    out.width = static_cast<int>(msg.width);
    out.height = static_cast<int>(msg.height);
    out.step = msg.step;
    out.encoding = msg.encoding;
    out.data = std::move(msg.data);
    out.data.resize(size_t(out.step) * out.height);
    return true;
}

lens_model lens_of(const sensor_msgs::CameraInfo& info)
{
    lens_model l;
    l.fx = info.K[0];
    l.cx = info.K[2];
    l.fy = info.K[4];
    l.cy = info.K[5];
    const auto d = [&](size_t i) { return i < info.D.size() ? info.D[i] : 0.0; };
    l.k1 = d(0);
    l.k2 = d(1);
    l.p1 = d(2);
    l.p2 = d(3);
    l.k3 = d(4);
    return l;
}

}  // namespace recording::detail
