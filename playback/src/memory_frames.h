// Frames and frame sets of a recording, held in memory behind the pvx3 frame
// interfaces.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <parvolux3/pvx3.h>
#include <recording/types.h>

namespace playback::detail {

struct frame_meta {
    int stream = 0;  // pvx3_stream_type
    uint64_t frame_number = 0;
    uint64_t timestamp_us = 0;
    int integration_us = 0;
    bool flip_vertical = false, flip_horizontal = false;
    bool registered = false;  // registered to the colour camera
    recording::lens_model lens;
};

class memory_frame final : public pvx3::frame {
public:
    // Image frames: the pixels as recorded (or recomputed).
    memory_frame(const frame_meta& meta, recording::image img);
    // Depth frames also carry their colours (R, G, B per pixel).
    void set_render(std::vector<uint8_t> rgb) { render_ = std::move(rgb); }
    // Point-cloud frames: x, y, z per pixel.
    memory_frame(const frame_meta& meta, int width, int height, std::vector<float> xyz);

    int get_width(pvx3::pvx3_error* error = nullptr) const override;
    int get_height(pvx3::pvx3_error* error = nullptr) const override;
    const void* get_data(pvx3::pvx3_error* error = nullptr) const override;
    int dump(const char* path, pvx3::pvx3_error* error = nullptr) const override;
    void* get_render_data(pvx3::pvx3_error* error = nullptr) const override;
    int get_stream_type(pvx3::pvx3_error* error = nullptr) const override;
    uint64_t get_frame_number(pvx3::pvx3_error* error = nullptr) const override;
    uint64_t get_timestamp_us(pvx3::pvx3_error* error = nullptr) const override;
    size_t get_data_size(pvx3::pvx3_error* error = nullptr) const override;

    const recording::image& image() const { return img_; }
    const frame_meta& meta() const { return meta_; }
    ~memory_frame() = default;

private:
    frame_meta meta_;
    recording::image img_;
    std::vector<uint8_t> render_;
    std::vector<float> xyz_;
};

class memory_frameset final : public pvx3::frameset {
public:
    std::shared_ptr<memory_frame> depth, rgb, ir, raw;
    // The recorded depth when `depth` holds recomputed depth (else null);
    // shared, as the frames are, so handing a kept frame set out copies none.
    std::shared_ptr<const std::vector<uint16_t>> recorded_depth;
    int recorded_width = 0, recorded_height = 0;

    // Another frame set holding the same frames (they are never written
    // once built).
    std::unique_ptr<memory_frameset> share() const
    {
        auto out = std::make_unique<memory_frameset>();
        out->depth = depth;
        out->rgb = rgb;
        out->ir = ir;
        out->raw = raw;
        out->recorded_depth = recorded_depth;
        out->recorded_width = recorded_width;
        out->recorded_height = recorded_height;
        return out;
    }

    pvx3::frame* get_depth_frame(pvx3::pvx3_error* error = nullptr) const override;
    pvx3::frame* get_rgb_frame(pvx3::pvx3_error* error = nullptr) const override;
    pvx3::frame* get_ir_frame(pvx3::pvx3_error* error = nullptr) const override;
    pvx3::frame* get_raw_frame(pvx3::pvx3_error* error = nullptr) const override;
};

// A memory frame seen through the interface, or null for a foreign frame.
const memory_frame* as_memory(const pvx3::frame* f);

}  // namespace playback::detail
