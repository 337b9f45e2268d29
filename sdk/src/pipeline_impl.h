// Streaming: a producer thread paced at 30 frame sets per second (or as fast
// as they are consumed), handing the newest frame set to wait_for_frames.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "config_impl.h"
#include "engine_impl.h"
#include "frames.h"
#include "parvolux3/pvx3.h"

namespace pvx3::detail {

class device_impl;
class reconstruction_engine;

class pipeline_impl final : public pipeline {
public:
    static constexpr double kFramesPerSecond = 30.0;

    explicit pipeline_impl(device_impl* dev);  // dev null: no camera
    ~pipeline_impl();

    int start(config* cfg, pvx3_error* error) override;
    process_engine* get_process_engine(pvx3_error* error) override;
    int stop(pvx3_error* error) override;
    frameset* wait_for_frames(unsigned int timeout_ms, pvx3_error* error) override;

private:
    void run(stream_plan plan, reconstruction_engine* engine);
    void halt();

    device_impl* dev_;
    engine_impl engine_;
    std::mutex control_;  // serialises start and stop

    std::mutex mutex_;  // everything below
    std::condition_variable changed_;
    std::thread worker_;
    bool running_ = false;
    bool stop_requested_ = false;
    bool lost_ = false;
    uint64_t published_ = 0;  // frame sets published since the start
    uint64_t handed_ = 0;     // frame sets handed out since the start
    frame_bundle latest_;
    std::string problem_;  // last production problem, for the caller's error
};

}  // namespace pvx3::detail
