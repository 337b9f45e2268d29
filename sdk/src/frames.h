// Frame and frame-set objects handed to the caller. Frame contents are
// immutable once built, so a frame may be shared by the pipeline and any
// number of frame sets; lazily built render data is guarded by call_once.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "parvolux3/pvx3.h"

namespace pvx3::detail {

// Allocator whose value-initialisation leaves bytes as they are: frame
// buffers are always overwritten completely, so zero-filling them first
// would only cost a pass over several megabytes per frame.
template <typename T>
struct uninitialised_allocator : std::allocator<T> {
    uninitialised_allocator() = default;
    template <typename U>
    uninitialised_allocator(const uninitialised_allocator<U>&) noexcept
    {
    }
    template <typename U>
    struct rebind {
        using other = uninitialised_allocator<U>;
    };
    template <typename U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using pixel_buffer = std::vector<uint8_t, uninitialised_allocator<uint8_t>>;

struct frame_info {
    int stream = 0;  // pvx3_stream_type
    int width = 0, height = 0;
    int bytes_per_pixel = 0;
    uint64_t number = 0;
    uint64_t timestamp_us = 0;
    double scene_time_s = 0;
    double integration_us = 0;
    double temperature_c = 0;
    int near_mm = 0, far_mm = 0;  // distance range for the render data
    bool flip_vertical = false, flip_horizontal = false;
    bool registered = false;  // depth or colour registered to the colour camera
    // Lens of the image: fx, fy, cx, cy, k1, k2, p1, p2, k3.
    double lens[9] = {};
};

class frame_impl final : public frame {
public:
    frame_impl(const frame_info& info, pixel_buffer data);
    // Point-cloud frame: x, y, z floats per pixel.
    frame_impl(const frame_info& info, std::vector<float> xyz);

    int get_width(pvx3_error* error) const override;
    int get_height(pvx3_error* error) const override;
    const void* get_data(pvx3_error* error) const override;
    int dump(const char* path, pvx3_error* error) const override;
    void* get_render_data(pvx3_error* error) const override;
    int get_stream_type(pvx3_error* error) const override;
    uint64_t get_frame_number(pvx3_error* error) const override;
    uint64_t get_timestamp_us(pvx3_error* error) const override;
    size_t get_data_size(pvx3_error* error) const override;

    const frame_info& info() const { return info_; }
    const uint16_t* pixels16() const { return reinterpret_cast<const uint16_t*>(data_.data()); }
    const uint8_t* bytes() const { return data_.data(); }
    // The points' storage, for the engine to fill the next cloud without
    // allocating (and faulting in) it again.
    std::vector<float> take_points() { return std::move(xyz_); }

private:
    frame_info info_;
    pixel_buffer data_;
    std::vector<float> xyz_;
    mutable std::once_flag render_once_;
    mutable pixel_buffer render_;
};

using frame_ptr = std::shared_ptr<const frame_impl>;

struct frame_bundle {
    frame_ptr depth, ir, rgb, raw;
};

class frameset_impl final : public frameset {
public:
    explicit frameset_impl(frame_bundle frames) : frames_(std::move(frames)) { }
    frame* get_depth_frame(pvx3_error* error) const override;
    frame* get_rgb_frame(pvx3_error* error) const override;
    frame* get_ir_frame(pvx3_error* error) const override;
    frame* get_raw_frame(pvx3_error* error) const override;

private:
    frame_bundle frames_;
};

// The SDK's own frame behind a caller's pointer, or null for a foreign one.
const frame_impl* as_impl(const frame* f);

}  // namespace pvx3::detail
