#include "config_impl.h"

#include "device_impl.h"
#include "status.h"

namespace pvx3::detail {
namespace {

bool known_stream(int type)
{
    return type == PVX3_STREAM_DEPTH || type == PVX3_STREAM_IR || type == PVX3_STREAM_RGB
           || type == PVX3_STREAM_RAW_PHASE;
}

}  // namespace

int config_impl::enable_stream(int type, int width, int height, pvx3_error* error)
{
    if (!known_stream(type))
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "unknown stream type");
    bool known = false;
    for (const pvx3_stream_format& f : all_formats())
        known = known || (f.type == type && f.width == width && f.height == height);
    if (!known)
        return report(error, PVX3_ERROR_UNSUPPORTED, "no such stream format");
    std::lock_guard<std::mutex> lock(mutex_);
    streams_[type] = {width, height};
    return report_ok(error);
}

int config_impl::disable_stream(int type, pvx3_error* error)
{
    if (!known_stream(type))
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "unknown stream type");
    std::lock_guard<std::mutex> lock(mutex_);
    streams_.erase(type);
    return report_ok(error);
}

stream_plan config_impl::plan() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return streams_;
}

}  // namespace pvx3::detail
