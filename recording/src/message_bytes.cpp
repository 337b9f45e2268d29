#include "message_bytes.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <ros/serialization.h>

namespace recording::detail {
namespace {

// No message we write comes near this (a 1920 x 1080 YUYV image is 4 MB).
constexpr uint32_t kMaxMessageBytes = 256u << 20;

// Walks serialised bytes; every step fails rather than reads past the end.
class cursor {
public:
    cursor(const uint8_t* data, size_t size) : p_(data), left_(size) { }

    bool skip(uint64_t n)
    {
        if (n > left_)
            return false;
        p_ += n;
        left_ -= size_t(n);
        return true;
    }
    bool u32(uint32_t& v)
    {
        if (left_ < 4)
            return false;
        std::memcpy(&v, p_, 4);  // little-endian on the wire, as on our hosts
        return skip(4);
    }
    // A length-prefixed run of `element` bytes each (a string or a vector).
    bool sequence(uint64_t element)
    {
        uint32_t n = 0;
        return u32(n) && skip(uint64_t(n) * element);
    }
    bool header() { return skip(12) && sequence(1); }  // seq, stamp, frame_id

private:
    const uint8_t* p_;
    size_t left_;
};

bool image_fits(cursor c)
{
    return c.header() && c.skip(8) && c.sequence(1) && c.skip(5) && c.sequence(1);
}

bool camera_info_fits(cursor c)
{
    // height, width, distortion model, D, K R P, binning, region of interest
    return c.header() && c.skip(8) && c.sequence(1) && c.sequence(8) && c.skip((9 + 9 + 12) * 8) && c.skip(8)
           && c.skip(17);
}

bool string_fits(cursor c) { return c.sequence(1); }

template <class T>
void deserialise(ros::serialization::IStream& is, T& out)
{
    ros::serialization::deserialize(is, out);
}

// The library's own order of the fields, with the pixels copied once
// instead of into a zero-filled vector first.
template <>
void deserialise(ros::serialization::IStream& is, sensor_msgs::Image& out)
{
    using ros::serialization::deserialize;
    deserialize(is, out.header);
    deserialize(is, out.height);
    deserialize(is, out.width);
    deserialize(is, out.encoding);
    deserialize(is, out.is_bigendian);
    deserialize(is, out.step);
    uint32_t n = 0;
    deserialize(is, n);
    const uint8_t* pixels = is.advance(n);
    out.data.assign(pixels, pixels + n);
}

template <class T>
bool read_checked(const rosbag::MessageInstance& m, T& out, bool (*fits)(cursor), std::string& why)
{
    if (m.getDataType() != ros::message_traits::datatype<T>()) {
        why = "a message of type " + m.getDataType() + " where " + ros::message_traits::datatype<T>()
              + " belongs";
        return false;
    }
    const uint32_t size = m.size();
    if (size > kMaxMessageBytes) {
        why = "a message claims " + std::to_string(size) + " bytes";
        return false;
    }
    // Not zero-filled: the bag library writes every byte (a raw phase
    // frame is 10 MB, read on every frame set re-processed).
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
    ros::serialization::OStream os(bytes.get(), size);
    m.write(os);
    if (!fits(cursor(bytes.get(), size))) {
        why = "a length inside the message runs past its " + std::to_string(size) + " bytes";
        return false;
    }
    ros::serialization::IStream is(bytes.get(), size);
    deserialise(is, out);
    return true;
}

}  // namespace

bool read_message(const rosbag::MessageInstance& m, sensor_msgs::Image& out, std::string& why)
{
    return read_checked(m, out, image_fits, why);
}

bool read_message(const rosbag::MessageInstance& m, sensor_msgs::CameraInfo& out, std::string& why)
{
    return read_checked(m, out, camera_info_fits, why);
}

bool read_message(const rosbag::MessageInstance& m, std_msgs::String& out, std::string& why)
{
    return read_checked(m, out, string_fits, why);
}

}  // namespace recording::detail
