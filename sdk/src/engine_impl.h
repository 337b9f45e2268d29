// Processing engine of a pipeline: point clouds and depth registered to the
// colour image, both computed by the reconstruction library.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "frames.h"
#include "parvolux3/pvx3.h"

namespace pvx3::detail {

class device_impl;

class engine_impl final : public process_engine {
public:
    explicit engine_impl(device_impl* dev) : dev_(dev) { }
    frame* depth_to_point_cloud(frame* depth, pvx3_error* error) override;
    frameset* depth_to_rgb(frame* depth, frame* rgb, pvx3_error* error) override;

private:
    device_impl* dev_;
    std::mutex mutex_;
    std::unique_ptr<frame_impl> cloud_;  // the last point-cloud frame handed out
};

}  // namespace pvx3::detail
