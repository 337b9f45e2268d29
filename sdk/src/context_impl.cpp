#include "context_impl.h"

#include <cstdlib>

#include "status.h"

namespace pvx3::detail {
namespace {

struct registry {
    std::mutex mutex;
    std::vector<std::unique_ptr<context_impl>> contexts;
};

void stop_everything();

// Never destroyed: objects handed out stay valid until the process ends, and
// streaming threads are stopped by an exit handler instead of destructors.
registry& objects()
{
    static registry* r = [] {
        auto* created = new registry;
        std::atexit(stop_everything);
        return created;
    }();
    return *r;
}

void stop_everything()
{
    registry& r = objects();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (auto& c : r.contexts)
        c->stop_all();
}

}  // namespace

context_impl::context_impl(const sdk_settings& settings) : settings_(settings)
{
    if (settings_.camera_present)
        device_ = std::make_unique<device_impl>(settings_);
}

int context_impl::query_devices(pvx3_error* error)
{
    report_ok(error);
    return (device_ && !device_->lost()) ? 1 : 0;
}

device* context_impl::get_device(pvx3_error* error)
{
    if (!device_ || device_->lost()) {
        report(error, PVX3_ERROR_NO_DEVICE, "no camera is connected");
        return nullptr;
    }
    report_ok(error);
    return device_.get();
}

pipeline_impl* context_impl::create_pipeline()
{
    std::lock_guard<std::mutex> lock(mutex_);
    pipelines_.push_back(std::make_unique<pipeline_impl>(device_.get()));
    return pipelines_.back().get();
}

config_impl* context_impl::create_config()
{
    std::lock_guard<std::mutex> lock(mutex_);
    configs_.push_back(std::make_unique<config_impl>());
    return configs_.back().get();
}

void context_impl::stop_all()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& p : pipelines_)
        p->stop(nullptr);
}

context_impl* create_context()
{
    auto ctx = std::make_unique<context_impl>(read_settings());
    registry& r = objects();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.contexts.push_back(std::move(ctx));
    return r.contexts.back().get();
}

context_impl* as_impl(context* ctx) { return dynamic_cast<context_impl*>(ctx); }

device_impl* as_impl(device* dev) { return dynamic_cast<device_impl*>(dev); }

}  // namespace pvx3::detail
