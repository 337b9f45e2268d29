// parvolux3 camera SDK: time-of-flight depth camera with an optional colour
// camera. This build drives a virtual camera (see sdk/README.md).
//
// Error policy
//   Every call takes a `pvx3_error*` out-argument as its last parameter. It may
//   be null. When given, the SDK sets `code` to 0 on success or to a negative
//   `pvx3_status` with a readable `message` on failure. Nothing is thrown out of
//   the SDK. Calls that return a status code return the same value.
//
// Ownership
//   - Context, device, sensor, config, pipeline and process engine objects
//     belong to the SDK. They stay valid until the process ends; the caller
//     never deletes them.
//   - Frame sets returned by `pipeline::wait_for_frames` and
//     `process_engine::depth_to_rgb` belong to the caller, who deletes them
//     with `delete` (virtual destructor). Their frames belong to the frame set
//     and die with it.
//   - The point-cloud frame returned by `process_engine::depth_to_point_cloud`
//     belongs to the engine and stays valid until the next call of that
//     operation on the same engine.
//   - Buffers the caller frees are allocated with array `new` and must be
//     released with array `delete`: the colour table of
//     `pvx3_get_colormap_table` (`delete[]` of `uint8_t*`) and the render data
//     of a point-cloud frame (`delete[]` of `float*`). Every other pointer the
//     SDK returns (frame data, depth render data, information strings) is owned
//     by the SDK object it came from.
//
// Threads
//   All objects may be used from any thread. The pipeline produces frames on
//   its own thread; `wait_for_frames` hands over the newest frame set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "parvolux3/parvolux3_export.h"

namespace pvx3 {

// Status codes: 0 success, negative failure.
enum pvx3_status : int {
    PVX3_SUCCESS = 0,
    PVX3_ERROR_NOT_NOW = -1,           // the change cannot be made now; retry later
    PVX3_ERROR_INVALID_ARGUMENT = -2,  // null object, unknown option or stream, value out of range
    PVX3_ERROR_UNSUPPORTED = -3,       // the device has no such stream, format or settable option
    PVX3_ERROR_NO_DEVICE = -4,         // no camera connected, or the camera was lost
    PVX3_ERROR_NOT_STREAMING = -5,     // pipeline not started, or stopped while waiting
    PVX3_ERROR_TIMEOUT = -6,           // no frame set within the timeout
    PVX3_ERROR_LIBRARY = -7,           // reconstruction library missing or failing
    PVX3_ERROR_IO = -8,                // a file could not be written
};

struct pvx3_error {
    int code = 0;
    std::string message;
};

// Keys of `pvx3_get_device_info`.
enum pvx3_camera_info : int {
    PVX3_CAMERA_INFO_MODULE_NAME = 0,
    PVX3_CAMERA_INFO_PRODUCT_NUMBER = 1,
    PVX3_CAMERA_INFO_FIRMWARE_VERSION = 2,
    PVX3_CAMERA_INFO_SERIAL_NUMBER = 3,
    PVX3_CAMERA_INFO_RECOMMENDED_FIRMWARE_VERSION = 4,
};

// Stream types. Point-cloud frames come only from `depth_to_point_cloud`.
// Raw phase frames exist only on cameras whose `get_support_stream` lists
// PVX3_STREAM_RAW_PHASE.
enum pvx3_stream_type : int {
    PVX3_STREAM_DEPTH = 2,
    PVX3_STREAM_RGB = 3,
    PVX3_STREAM_IR = 4,
    PVX3_STREAM_POINT_CLOUD = 5,
    PVX3_STREAM_RAW_PHASE = 6,
};

// Sensor options. Ranges are pairs (a, b) of `get_option_range`.
enum pvx3_option : int {
    PVX3_OPTION_INTEGRATION_TIME = 0,        // value, microseconds
    PVX3_OPTION_INTEGRATION_TIME_RANGE = 1,  // a = maximum, b = minimum, microseconds; read only
    PVX3_OPTION_DISTANCE_RANGE = 2,          // a = far limit, b = near limit, millimetres; used to colour depth
    PVX3_OPTION_DISTANCE_LIMITS = 3,         // a = largest far limit, b = smallest near limit, millimetres; read only
    PVX3_OPTION_FLIP_VERTICAL = 6,           // value 0 or 1; mirrors every stream top to bottom
    PVX3_OPTION_FLIP_HORIZONTAL = 7,         // value 0 or 1; mirrors every stream left to right
    PVX3_OPTION_FILTER = 8,                  // value, a pvx3_filter_mode; its range (a = 2, b = 0) lists the modes
};

// Values of PVX3_OPTION_FILTER: what the reconstruction library does to depth.
enum pvx3_filter_mode : int {
    PVX3_FILTER_OFF = 0,          // depth as computed
    PVX3_FILTER_STANDARD = 1,     // median and block-deviation filters (default)
    PVX3_FILTER_NOISE_AWARE = 2,  // noise-aware depth: per-pixel noise, edge-preserving smoothing
};

struct pvx3_stream_format {
    int type;    // pvx3_stream_type
    int width;   // pixels (raw phase: of the depth image the frames serve)
    int height;  // pixels
};

// The calibration that depth is computed with: the arguments with which the
// reconstruction library (qzapi::Reconstruction::InitWithSize) is initialised
// for a depth stream. `words` are the calibration block's 1100 four-byte
// values F[0] to F[1099] (block bytes 48 to 4447) in their in-memory form:
// floats by their bit pattern, integers as they are. A block rebuilt from
// frequency1, frequency2, serial_number and these words (reserved words 0)
// initialises the library exactly as the camera does.
struct pvx3_calibration {
    int device_type = 0;  // sensor family code handed to the library
    int mode = 0;         // 5 single frequency, otherwise dual frequency
    int width = 0;        // depth image size the library is set up for
    int height = 0;
    int32_t frequency1 = 0;  // Hz
    int32_t frequency2 = 0;  // Hz
    std::string serial_number;
    std::vector<uint32_t> words;  // 1100 values
};

class frame;
class frameset;
class sensor;
class device;
class config;
class pipeline;
class process_engine;
class context;

// One image of a frame set.
//   Depth:  width x height uint16_t, millimetres along the optical axis,
//           0 = invalid, 1 = saturated; row-major.
//   IR:     width x height uint16_t amplitude, row-major.
//   RGB:    width x height packed YUYV 4:2:2 (2 bytes per pixel) as streamed;
//           in a frame set from `depth_to_rgb`, 3 bytes per pixel B, G, R of the
//           undistorted colour image.
//   Raw phase: the sensor's four-phase samples exactly as the depth of the
//           same frame set was computed from them, uint16_t (10-bit values,
//           1023 = saturated): four sub-frames of (2 W) x (2 H) samples one
//           after another for a W x H depth stream, so get_width() is 2 W and
//           get_height() is 8 H. Sub-frames 0 and 1 belong to the second
//           modulation frequency, 2 and 3 to the first; the first rows carry
//           the sensor's header words (temperature). Already mirrored as the
//           flips ask (the library is told the orientation).
//   Point cloud: no data; see `get_render_data`.
class PARVOLUX3_EXPORT frame {
public:
    virtual int get_width(pvx3_error* error = nullptr) const = 0;
    virtual int get_height(pvx3_error* error = nullptr) const = 0;
    // Pixel data as above, owned by the frame; null for a point-cloud frame.
    virtual const void* get_data(pvx3_error* error = nullptr) const = 0;
    // Depth and IR: writes `path` + ".png" (lossless 16-bit grey) and
    // `path` + ".json" (metadata). Other frames: PVX3_ERROR_UNSUPPORTED.
    virtual int dump(const char* path, pvx3_error* error = nullptr) const = 0;
    // Depth: width x height R, G, B byte triples coloured with the SDK colour
    //   table over the distance range option (invalid pixels black), owned
    //   by the frame.
    // Point cloud: new float[width * height * 3], x, y, z in millimetres per
    //   pixel, row-major, (0, 0, 0) where there is no point; the caller frees
    //   it with delete[].
    // Other frames: null.
    virtual void* get_render_data(pvx3_error* error = nullptr) const = 0;

    virtual int get_stream_type(pvx3_error* error = nullptr) const = 0;
    // Sequence number of the frame set since the pipeline started, from 0.
    virtual uint64_t get_frame_number(pvx3_error* error = nullptr) const = 0;
    // Capture time in microseconds since the pipeline started.
    virtual uint64_t get_timestamp_us(pvx3_error* error = nullptr) const = 0;
    // Size of the buffer of get_data in bytes.
    virtual size_t get_data_size(pvx3_error* error = nullptr) const = 0;

protected:
    frame() = default;
    ~frame() = default;
    frame(const frame&) = delete;
    frame& operator=(const frame&) = delete;
};

// Frames captured together. Owned by the caller: delete it after use.
class PARVOLUX3_EXPORT frameset {
public:
    // Null when the frame set holds no such frame.
    virtual frame* get_depth_frame(pvx3_error* error = nullptr) const = 0;
    virtual frame* get_rgb_frame(pvx3_error* error = nullptr) const = 0;
    virtual frame* get_ir_frame(pvx3_error* error = nullptr) const = 0;
    virtual ~frameset() = default;
    // Appended after the destructor, so the slots above keep their places.
    // Raw phase frame; null when the frame set holds none (the stream is not
    // enabled or the camera offers no raw frames).
    virtual frame* get_raw_frame(pvx3_error* error = nullptr) const
    {
        if (error) {
            error->code = PVX3_ERROR_UNSUPPORTED;
            error->message = "this frame set carries no raw phase frames";
        }
        return nullptr;
    }

protected:
    frameset() = default;
    frameset(const frameset&) = delete;
    frameset& operator=(const frameset&) = delete;
};

class PARVOLUX3_EXPORT sensor {
public:
    virtual int get_option_range(int option, uint16_t& a, uint16_t& b, pvx3_error* error = nullptr) = 0;
    virtual int get_option(int option, uint16_t& value, pvx3_error* error = nullptr) = 0;
    virtual int set_option_range(int option, uint16_t a, uint16_t b, pvx3_error* error = nullptr) = 0;
    // PVX3_ERROR_NOT_NOW (-1) when the sensor cannot take the change yet, for
    // the integration time within the first half second after a start.
    virtual int set_option(int option, uint16_t value, pvx3_error* error = nullptr) = 0;

protected:
    sensor() = default;
    ~sensor() = default;
    sensor(const sensor&) = delete;
    sensor& operator=(const sensor&) = delete;
};

class PARVOLUX3_EXPORT device {
public:
    // Null when the device has no depth sensor.
    virtual sensor* get_sensor(pvx3_error* error = nullptr) = 0;
    // Stream types the device offers (pvx3_stream_type values).
    virtual std::vector<int> get_support_stream(pvx3_error* error = nullptr) = 0;
    virtual std::vector<pvx3_stream_format> get_support_format(pvx3_error* error = nullptr) = 0;
    // Appended: the calibration a depth stream of width x height is computed
    // with. PVX3_ERROR_UNSUPPORTED on cameras without raw phase frames (their
    // depth cannot be recomputed by the host), PVX3_ERROR_INVALID_ARGUMENT
    // for a size that is not a depth format.
    virtual int get_calibration(int width, int height, pvx3_calibration& out, pvx3_error* error = nullptr)
    {
        (void)width;
        (void)height;
        (void)out;
        if (error) {
            error->code = PVX3_ERROR_UNSUPPORTED;
            error->message = "this camera does not hand out its calibration";
        }
        return PVX3_ERROR_UNSUPPORTED;
    }

protected:
    device() = default;
    ~device() = default;
    device(const device&) = delete;
    device& operator=(const device&) = delete;
};

// Which streams a pipeline start opens, and at which size.
class PARVOLUX3_EXPORT config {
public:
    virtual int enable_stream(int type, int width, int height, pvx3_error* error = nullptr) = 0;
    virtual int disable_stream(int type, pvx3_error* error = nullptr) = 0;

protected:
    config() = default;
    ~config() = default;
    config(const config&) = delete;
    config& operator=(const config&) = delete;
};

class PARVOLUX3_EXPORT pipeline {
public:
    // Starts streaming what `cfg` enables (a running pipeline is restarted).
    virtual int start(config* cfg, pvx3_error* error = nullptr) = 0;
    virtual process_engine* get_process_engine(pvx3_error* error = nullptr) = 0;
    // Stops streaming and wakes any caller of wait_for_frames.
    virtual int stop(pvx3_error* error = nullptr) = 0;
    // Blocks until a frame set newer than the last one handed out arrives, the
    // timeout passes, or the pipeline stops or is not started (returns at
    // once). Null on timeout or failure. The caller deletes the frame set.
    virtual frameset* wait_for_frames(unsigned int timeout_ms, pvx3_error* error = nullptr) = 0;

protected:
    pipeline() = default;
    ~pipeline() = default;
    pipeline(const pipeline&) = delete;
    pipeline& operator=(const pipeline&) = delete;
};

class PARVOLUX3_EXPORT process_engine {
public:
    // Point-cloud frame of the same size as `depth`; owned by the engine until
    // its next call. Null on failure.
    virtual frame* depth_to_point_cloud(frame* depth, pvx3_error* error = nullptr) = 0;
    // Frame set holding the depth registered to the colour image (depth frame
    // of the colour size, millimetres) and the undistorted colour image (RGB
    // frame, 3 bytes per pixel B, G, R). `depth` must be 640 x 480 and `rgb` a
    // streamed YUYV frame. The caller deletes the frame set. Null on failure.
    virtual frameset* depth_to_rgb(frame* depth, frame* rgb, pvx3_error* error = nullptr) = 0;

protected:
    process_engine() = default;
    ~process_engine() = default;
    process_engine(const process_engine&) = delete;
    process_engine& operator=(const process_engine&) = delete;
};

class PARVOLUX3_EXPORT context {
public:
    // Number of connected cameras.
    virtual int query_devices(pvx3_error* error = nullptr) = 0;
    // The first connected camera, or null when there is none.
    virtual device* get_device(pvx3_error* error = nullptr) = 0;

protected:
    context() = default;
    ~context() = default;
    context(const context&) = delete;
    context& operator=(const context&) = delete;
};

// A new context; the SDK's configuration variables are read here.
PARVOLUX3_EXPORT context* pvx3_create_context(pvx3_error* error = nullptr);
PARVOLUX3_EXPORT pipeline* pvx3_create_pipeline(context* ctx, pvx3_error* error = nullptr);
PARVOLUX3_EXPORT config* pvx3_create_config(context* ctx, pvx3_error* error = nullptr);
// `*table` receives new uint8_t[*count * 3]: *count R, G, B triples from near
// (index 0) to far; the caller frees it with delete[].
PARVOLUX3_EXPORT int pvx3_get_colormap_table(uint8_t** table, int* count, pvx3_error* error = nullptr);
// Device information text owned by the device, or null for an unknown key.
PARVOLUX3_EXPORT const char* pvx3_get_device_info(device* dev, int info, pvx3_error* error = nullptr);
// SDK version text, "v0.6.0.3".
PARVOLUX3_EXPORT const char* pvx3_get_version(pvx3_error* error = nullptr);

}  // namespace pvx3
