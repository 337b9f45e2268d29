#include "frame_source.h"

#include <cstring>

#include "device_impl.h"
#include "reconstruction_loader.h"

namespace pvx3::detail {

void depth_lens_info(const device_impl& dev, int width, frame_info& info)
{
    const lens_model& l = dev.calibration().depth;
    // A binned pixel sees the ray of grid pixel (2 row, 2 column).
    const double s = double(width) / l.width;
    const double v[9] = {l.fx * s, l.fy * s, l.cx * s, l.cy * s, l.k1, l.k2, l.p1, l.p2, l.k3};
    std::copy(v, v + 9, info.lens);
}

frame_source::frame_source(device_impl& dev, reconstruction_engine* engine, stream_plan plan)
    : dev_(dev), engine_(engine), plan_(std::move(plan))
{
}

void frame_source::prepare()
{
    std::lock_guard<std::mutex> lock(dev_.render_mutex());
    for (const auto& [type, size] : plan_) {
        if (type == PVX3_STREAM_RGB)
            dev_.renderer(size.first, size.second);
        else
            dev_.synthesiser(size.first, size.second);
    }
}

frame_bundle frame_source::produce(uint64_t number, uint64_t timestamp_us, double period_s, std::string& problem)
{
    frame_bundle out;
    const option_state opts = dev_.options();
    const double scene_time = dev_.advance_scene_clock(period_s);
    const auto depth = plan_.find(PVX3_STREAM_DEPTH);
    const auto ir = plan_.find(PVX3_STREAM_IR);
    const auto rgb = plan_.find(PVX3_STREAM_RGB);
    const auto raw = plan_.find(PVX3_STREAM_RAW_PHASE);

    frame_info base;
    base.number = number;
    base.timestamp_us = timestamp_us;
    base.scene_time_s = scene_time;
    base.integration_us = opts.integration_us;
    base.near_mm = opts.near_mm;
    base.far_mm = opts.far_mm;
    base.flip_vertical = opts.flip_vertical;
    base.flip_horizontal = opts.flip_horizontal;

    std::lock_guard<std::mutex> lock(dev_.render_mutex());
    if (depth != plan_.end() || ir != plan_.end() || raw != plan_.end()) {
        const auto size = depth != plan_.end() ? depth->second : ir != plan_.end() ? ir->second
                                                                                   : raw->second;
        tof_synthesiser& synth = dev_.synthesiser(size.first, size.second);
        base.temperature_c = dev_.advance_temperature(period_s, opts.integration_us);
        tof_frame_request req;
        req.time_s = scene_time;
        req.integration_us = opts.integration_us;
        req.temperature_c = base.temperature_c;
        req.noise_seed = dev_.settings().seed * 1000003ULL + number;
        req.flip_vertical = opts.flip_vertical;
        req.flip_horizontal = opts.flip_horizontal;
        // With the raw stream enabled the samples go straight into the raw
        // frame's own buffer (handed out afterwards, never copied).
        pixel_buffer raw_pixels;
        uint16_t* samples = nullptr;
        if (raw != plan_.end()) {
            raw_pixels.resize(synth.raw_size() * sizeof(uint16_t));
            samples = reinterpret_cast<uint16_t*>(raw_pixels.data());
        } else {
            raw_.resize(synth.raw_size());
            samples = raw_.data();
        }
        synth.synthesise(req, samples);

        frame_info info = base;
        info.width = size.first;
        info.height = size.second;
        info.bytes_per_pixel = 2;
        depth_lens_info(dev_, size.first, info);
        if (depth != plan_.end()) {
            pixel_buffer pixels;
            reconstruction_engine::depth_job job;
            job.calibration = &dev_.calibration();
            job.width = size.first;
            job.height = size.second;
            job.orientation = (opts.flip_vertical ? 1 : 0) | (opts.flip_horizontal ? 2 : 0);
            job.filter = opts.filter;
            job.raw = samples;
            if (engine_ && engine_->compute_depth(job, pixels, problem)) {
                info.stream = PVX3_STREAM_DEPTH;
                out.depth = std::make_shared<frame_impl>(info, std::move(pixels));
            } else if (!engine_) {
                problem = "no reconstruction library";
            }
        }
        if (ir != plan_.end()) {
            pixel_buffer pixels(size_t(size.first) * size.second * 2);
            synth.amplitude(samples, reinterpret_cast<uint16_t*>(pixels.data()));
            info.stream = PVX3_STREAM_IR;
            out.ir = std::make_shared<frame_impl>(info, std::move(pixels));
        }
        if (raw != plan_.end()) {
            // Four sub-frames of (2 W) x (2 H) samples, one below the other.
            info.stream = PVX3_STREAM_RAW_PHASE;
            info.width = 2 * size.first;
            info.height = 8 * size.second;
            out.raw = std::make_shared<frame_impl>(info, std::move(raw_pixels));
        }
    }
    if (rgb != plan_.end()) {
        colour_renderer& r = dev_.renderer(rgb->second.first, rgb->second.second);
        pixel_buffer pixels(size_t(r.width()) * r.height() * 2);
        r.render(scene_time, opts.flip_vertical, opts.flip_horizontal, pixels.data());
        frame_info info = base;
        info.stream = PVX3_STREAM_RGB;
        info.width = r.width();
        info.height = r.height();
        info.bytes_per_pixel = 2;
        const lens_model& l = dev_.calibration().colour;
        const double s = double(r.width()) / l.width;
        const double v[9] = {l.fx * s, l.fy * s, (l.cx + 0.5) * s - 0.5, (l.cy + 0.5) * s - 0.5, l.k1, l.k2, l.p1, l.p2, l.k3};
        std::copy(v, v + 9, info.lens);
        out.rgb = std::make_shared<frame_impl>(info, std::move(pixels));
    }
    return out;
}

}  // namespace pvx3::detail
