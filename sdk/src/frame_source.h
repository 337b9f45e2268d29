// Builds one frame set of the enabled streams from the virtual camera.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config_impl.h"
#include "frames.h"

namespace pvx3::detail {

class device_impl;
class reconstruction_engine;

class frame_source {
public:
    // `engine` may be null when no depth stream is enabled.
    frame_source(device_impl& dev, reconstruction_engine* engine, stream_plan plan);

    // Frame set number `number` taken at `timestamp_us` on the sensor clock,
    // `period_s` after the previous one. Frames that cannot be made are left
    // out; `problem` then says why.
    frame_bundle produce(uint64_t number, uint64_t timestamp_us, double period_s, std::string& problem);

    // Builds the renderers this plan needs (the first build ray-casts the scene).
    void prepare();

private:
    device_impl& dev_;
    reconstruction_engine* engine_;
    stream_plan plan_;
    std::vector<uint16_t> raw_;
};

// Lens parameters of a depth image of width x height (binned from the sensor grid).
void depth_lens_info(const device_impl& dev, int width, frame_info& info);

}  // namespace pvx3::detail
