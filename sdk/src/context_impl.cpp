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

context_impl::context_impl(const sdk_settings& settings)
    : settings_(settings), created_at_(std::chrono::steady_clock::now())
{
    if (settings_.camera_present && settings_.connect_after_ms == 0)
        plug_locked();
}

void context_impl::plug_locked()
{
    devices_.push_back(std::make_unique<device_impl>(settings_));
}

device_impl* context_impl::current_locked()
{
    using std::chrono::milliseconds;
    const auto now = std::chrono::steady_clock::now();
    if (devices_.empty()) {
        if (settings_.camera_present && settings_.connect_after_ms > 0
            && now - created_at_ >= milliseconds(settings_.connect_after_ms))
            plug_locked();
    } else if (devices_.back()->lost() && settings_.reconnect_ms > 0
               && now - devices_.back()->lost_at() >= milliseconds(settings_.reconnect_ms)) {
        plug_locked();
    }
    if (devices_.empty() || devices_.back()->lost())
        return nullptr;
    return devices_.back().get();
}

int context_impl::query_devices(pvx3_error* error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    report_ok(error);
    return current_locked() != nullptr ? 1 : 0;
}

device* context_impl::get_device(pvx3_error* error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    device_impl* dev = current_locked();
    if (!dev) {
        report(error, PVX3_ERROR_NO_DEVICE, "no camera is connected");
        return nullptr;
    }
    report_ok(error);
    return dev;
}

bool context_impl::unplug()
{
    std::lock_guard<std::mutex> lock(mutex_);
    device_impl* dev = current_locked();
    if (!dev)
        return false;
    dev->unplug();
    return true;
}

bool context_impl::plug()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_locked())
        return false;
    plug_locked();
    return true;
}

pipeline_impl* context_impl::create_pipeline()
{
    std::lock_guard<std::mutex> lock(mutex_);
    // A pipeline streams from the camera connected when it is made.
    pipelines_.push_back(std::make_unique<pipeline_impl>(current_locked()));
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
