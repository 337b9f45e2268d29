// What a recording holds: frame sets of up to four image streams, the device
// information, the camera settings over time and the calibration that depth
// was computed with. The on-disk form (a ROS 1 bag) is described in
// docs/recording-format.md; these types are what the writer takes and the
// reader hands back.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace recording {

enum class stream : int { depth = 0,
                          ir = 1,
                          colour = 2,
                          raw_phase = 3 };
inline constexpr int kStreamCount = 4;
inline constexpr std::array<stream, kStreamCount> kAllStreams = {stream::depth, stream::ir, stream::colour,
                                                                 stream::raw_phase};

// "depth", "ir", "color", "raw" (the names of --streams and of the JSON keys).
const char* stream_name(stream s);
// The stream of a name above ("colour" is accepted too); false for others.
bool stream_from_name(const std::string& name, stream& out);

// Set of streams as bits (1 << int(stream)).
using stream_mask = unsigned;
inline constexpr stream_mask bit(stream s) { return 1u << static_cast<int>(s); }
inline constexpr stream_mask kAllStreamBits = 0xFu;

// Pixel encodings, as ROS names them.
namespace encoding {
inline constexpr const char* kDepth = "16UC1";       // uint16 millimetres, 0 invalid, 1 saturated
inline constexpr const char* kMono16 = "mono16";     // IR amplitude, raw phase samples
inline constexpr const char* kYuyv = "yuv422_yuy2";  // colour as streamed: Y0 U Y1 V
inline constexpr const char* kBgr8 = "bgr8";         // colour registered to depth by the SDK
}  // namespace encoding

// Bytes per pixel of an encoding above; 0 for an unknown one.
int bytes_per_pixel(const std::string& encoding);

// Pinhole camera with Brown-Conrady distortion (ROS "plumb_bob", D = k1, k2,
// p1, p2, k3) of an image as stored: pixels, row 0 at the top. All zero when
// the camera does not hand out its intrinsics.
struct lens_model {
    double fx = 0, fy = 0, cx = 0, cy = 0;
    double k1 = 0, k2 = 0, p1 = 0, p2 = 0, k3 = 0;
    bool known() const { return fx > 0 && fy > 0; }
    bool operator==(const lens_model& o) const
    {
        return fx == o.fx && fy == o.fy && cx == o.cx && cy == o.cy && k1 == o.k1 && k2 == o.k2 && p1 == o.p1
               && p2 == o.p2 && k3 == o.k3;
    }
};

// An image borrowed from the caller: row-major, tightly packed, width x
// height pixels of the encoding. Absent when `data` is null.
struct image_view {
    const void* data = nullptr;
    int width = 0, height = 0;
    std::string encoding;
    lens_model lens;  // ignored for raw phase frames
};

// One frame set handed to the writer. The camera's frame-set number and
// capture time (microseconds since its stream started) come from the SDK.
struct frame_set_view {
    uint64_t frame_number = 0;
    uint64_t timestamp_us = 0;
    std::array<image_view, kStreamCount> images;
    image_view& operator[](stream s) { return images[static_cast<int>(s)]; }
    const image_view& operator[](stream s) const { return images[static_cast<int>(s)]; }
};

// An image read back; owns its pixels (row-major, `step` bytes per row).
struct image {
    int width = 0, height = 0;
    uint32_t step = 0;
    std::string encoding;
    std::vector<uint8_t> data;
    lens_model lens;
    const uint16_t* pixels16() const { return reinterpret_cast<const uint16_t*>(data.data()); }
};

// One frame set read back.
struct frame_set {
    size_t index = 0;           // position in the recording, from 0
    uint64_t frame_number = 0;  // the camera's frame-set number (header.seq)
    int64_t stamp_ns = 0;       // time in the recording (header.stamp)
    uint64_t timestamp_us = 0;  // the camera's capture time since its stream started
    int session = 0;            // camera stream session (a restart begins a new one), from 1
    std::array<std::optional<image>, kStreamCount> images;
    std::optional<image>& operator[](stream s) { return images[static_cast<int>(s)]; }
    const std::optional<image>& operator[](stream s) const { return images[static_cast<int>(s)]; }
};

struct device_info {
    std::string module_name;
    std::string product_number;
    std::string firmware_version;
    std::string recommended_firmware_version;
    std::string serial_number;
    std::string sdk_version;
    std::string reconstruction_version;  // empty when the library could not be asked
    bool has_tof = false, has_rgb = false, has_raw_phase = false;
};

// The camera's settings while a frame set was taken. Sizes are 0 x 0 for
// streams that are off.
struct camera_settings {
    int integration_time_us = 0;
    int near_mm = 0, far_mm = 0;  // distance range
    bool flip_vertical = false, flip_horizontal = false;
    int filter = 0;  // value of the camera's filter option: 0 off, 1 on, 2 noise-aware (further values: the camera's own modes)
    int depth_width = 0, depth_height = 0;
    int colour_width = 0, colour_height = 0;
    // Reconstruction filter parameters by filter code, as the library reports
    // them (GetFilterParameter); empty when it could not be asked.
    std::map<int, std::vector<float>> filter_parameters;

    bool operator==(const camera_settings& o) const;
    bool operator!=(const camera_settings& o) const { return !(*this == o); }
};

// Names of the settings that differ ("integration_time_us", "distance_range",
// "flip_vertical", "flip_horizontal", "filter", "depth_resolution",
// "color_resolution", "filter_parameters").
std::vector<std::string> changed_settings(const camera_settings& before, const camera_settings& after);

// The calibration depth was computed with, as the reconstruction library is
// initialised with it (InitWithSize): see pvx3_calibration in the SDK.
struct calibration {
    int device_type = 0;
    int mode = 0;
    int width = 0, height = 0;  // depth image size
    int32_t frequency1 = 0, frequency2 = 0;
    std::string serial_number;
    std::vector<uint32_t> words;  // F[0] to F[1099] of the block, bit patterns
    bool operator==(const calibration& o) const
    {
        return device_type == o.device_type && mode == o.mode && width == o.width && height == o.height
               && frequency1 == o.frequency1 && frequency2 == o.frequency2 && serial_number == o.serial_number
               && words == o.words;
    }
    bool operator!=(const calibration& o) const { return !(*this == o); }
};
inline constexpr size_t kCalibrationWords = 1100;

}  // namespace recording
