// Stream selection for a pipeline start.
#pragma once

#include <map>
#include <mutex>
#include <utility>

#include "parvolux3/pvx3.h"

namespace pvx3::detail {

// Enabled streams: type -> (width, height).
using stream_plan = std::map<int, std::pair<int, int>>;

class config_impl final : public config {
public:
    int enable_stream(int type, int width, int height, pvx3_error* error) override;
    int disable_stream(int type, pvx3_error* error) override;
    stream_plan plan() const;

private:
    mutable std::mutex mutex_;
    stream_plan streams_;
};

}  // namespace pvx3::detail
