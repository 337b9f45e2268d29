#include "pipeline_impl.h"

#include <chrono>

#include "device_impl.h"
#include "frame_source.h"
#include "reconstruction_loader.h"
#include "status.h"

namespace pvx3::detail {

using clock_type = std::chrono::steady_clock;

pipeline_impl::pipeline_impl(device_impl* dev) : dev_(dev), engine_(dev) { }

pipeline_impl::~pipeline_impl() { halt(); }

int pipeline_impl::start(config* cfg, pvx3_error* error)
{
    auto* c = dynamic_cast<config_impl*>(cfg);
    if (!c)
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "start needs a configuration of this SDK");
    if (!dev_)
        return report(error, PVX3_ERROR_NO_DEVICE, "no camera is connected");
    if (dev_->lost())
        return report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
    std::lock_guard<std::mutex> control(control_);
    halt();

    stream_plan plan;
    for (const auto& [type, size] : c->plan())
        if (dev_->supports(type, size.first, size.second))
            plan[type] = size;
    if (plan.empty())
        return report(error, PVX3_ERROR_UNSUPPORTED, "none of the enabled streams exists on this camera");
    const auto depth = plan.find(PVX3_STREAM_DEPTH), ir = plan.find(PVX3_STREAM_IR);
    if (depth != plan.end() && ir != plan.end() && depth->second != ir->second)
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "depth and IR come from one sensor: give them one size");
    const auto raw = plan.find(PVX3_STREAM_RAW_PHASE);
    if (raw != plan.end()
        && ((depth != plan.end() && depth->second != raw->second) || (ir != plan.end() && ir->second != raw->second)))
        return report(error, PVX3_ERROR_INVALID_ARGUMENT,
                      "raw phase frames come from the depth sensor: enable them with the depth size");
    reconstruction_engine* engine = nullptr;
    if (depth != plan.end()) {
        std::string reason;
        engine = reconstruction_engine::load(dev_->settings().reconstruction_path, reason);
        if (!engine)
            return report(error, PVX3_ERROR_LIBRARY, reason.c_str());
    }

    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = true;
        stop_requested_ = false;
        lost_ = false;
        published_ = handed_ = 0;
        latest_ = {};
        problem_.clear();
    }
    dev_->stream_started();
    worker_ = std::thread(&pipeline_impl::run, this, std::move(plan), engine);
    return report_ok(error);
}

process_engine* pipeline_impl::get_process_engine(pvx3_error* error)
{
    report_ok(error);
    // The camera's engine; a pipeline made without a camera has its own.
    return dev_ != nullptr ? &dev_->engine() : &engine_;
}

int pipeline_impl::stop(pvx3_error* error)
{
    std::lock_guard<std::mutex> control(control_);
    halt();
    return report_ok(error);
}

void pipeline_impl::halt()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_requested_ = true;
        running_ = false;
        latest_ = {};
    }
    changed_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
        if (dev_)
            dev_->stream_stopped();
    }
}

frameset* pipeline_impl::wait_for_frames(unsigned int timeout_ms, pvx3_error* error)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto deadline = clock_type::now() + std::chrono::milliseconds(timeout_ms);
    const auto ready = [this] { return !running_ || published_ > handed_; };
    if (!changed_.wait_until(lock, deadline, ready)) {
        report(error, PVX3_ERROR_TIMEOUT, "no frame set within the timeout");
        return nullptr;
    }
    if (!running_) {
        if (lost_ || (dev_ && dev_->lost()))
            report(error, PVX3_ERROR_NO_DEVICE, "the camera was lost");
        else
            report(error, PVX3_ERROR_NOT_STREAMING, "the pipeline is not streaming");
        return nullptr;
    }
    handed_ = published_;
    frame_bundle frames = latest_;
    const std::string problem = problem_;
    lock.unlock();
    changed_.notify_all();  // a producer waiting for its frame set to be taken
    if (problem.empty())
        report_ok(error);
    else
        report(error, PVX3_ERROR_LIBRARY, problem.c_str());
    return new frameset_impl(std::move(frames));
}

void pipeline_impl::run(stream_plan plan, reconstruction_engine* engine)
{
    const sdk_settings& cfg = dev_->settings();
    frame_source source(*dev_, engine, std::move(plan));
    source.prepare();

    const double period_s = 1.0 / kFramesPerSecond + cfg.frame_delay_ms / 1000.0;
    const auto period = std::chrono::duration<double>(period_s);
    auto next = clock_type::now();
    for (uint64_t number = 0;; ++number) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (cfg.realtime) {
                changed_.wait_until(lock, next, [this] { return stop_requested_; });
            } else {
                if (cfg.frame_delay_ms > 0)
                    changed_.wait_for(lock, std::chrono::milliseconds(cfg.frame_delay_ms),
                                      [this] { return stop_requested_; });
                // As fast as consumed: wait until the last frame set was taken.
                changed_.wait(lock, [this] { return stop_requested_ || handed_ == published_; });
            }
            if (stop_requested_)
                return;
        }
        if (!dev_->count_frame_set()) {
            std::lock_guard<std::mutex> lock(mutex_);
            lost_ = true;
            running_ = false;
            latest_ = {};
            changed_.notify_all();
            return;
        }
        const uint64_t timestamp_us = static_cast<uint64_t>(number * period_s * 1e6 + 0.5);
        std::string problem;
        frame_bundle frames = source.produce(number, timestamp_us, period_s, problem);
        dev_->stream_advanced(timestamp_us);

        const bool dropped = cfg.drop_every > 0 && (number + 1) % uint64_t(cfg.drop_every) == 0;
        if (!dropped) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_requested_)
                return;
            latest_ = std::move(frames);
            problem_ = problem;
            ++published_;
        }
        changed_.notify_all();

        // Real-time pacing keeps a fixed schedule; after a long stall it
        // restarts from now rather than bursting to catch up.
        next += std::chrono::duration_cast<clock_type::duration>(period);
        const auto now = clock_type::now();
        if (now > next + std::chrono::duration_cast<clock_type::duration>(period))
            next = now;
    }
}

}  // namespace pvx3::detail
