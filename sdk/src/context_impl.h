// The SDK context: the configuration read at its creation, its camera (when
// one is "connected") and every pipeline and configuration made from it. All
// SDK objects live in a process-wide registry until the process ends.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "config_impl.h"
#include "device_impl.h"
#include "parvolux3/pvx3.h"
#include "pipeline_impl.h"
#include "settings.h"

namespace pvx3::detail {

class context_impl final : public context {
public:
    explicit context_impl(const sdk_settings& settings);

    int query_devices(pvx3_error* error) override;
    device* get_device(pvx3_error* error) override;

    pipeline_impl* create_pipeline();
    config_impl* create_config();
    void stop_all();

    // The cable of the connected camera is pulled (false when none is).
    bool unplug();
    // A camera is plugged in (false when one is connected already): the
    // next get_device gives a new device.
    bool plug();

private:
    // The connected camera as of now: plugs in a camera whose time has come
    // (PVX3_CONNECT_AFTER_MS, PVX3_RECONNECT_MS). Null when none is.
    device_impl* current_locked();
    void plug_locked();

    sdk_settings settings_;
    std::mutex mutex_;
    // Every camera ever connected to this context, the last one current.
    // Handles of earlier (lost) ones stay valid and keep answering "lost".
    std::vector<std::unique_ptr<device_impl>> devices_;
    std::chrono::steady_clock::time_point created_at_;
    std::vector<std::unique_ptr<pipeline_impl>> pipelines_;
    std::vector<std::unique_ptr<config_impl>> configs_;
};

// Creates a context owned by the registry.
context_impl* create_context();
// The SDK's own context behind a caller's pointer, or null.
context_impl* as_impl(context* ctx);
// The SDK's own device behind a caller's pointer, or null.
device_impl* as_impl(device* dev);

}  // namespace pvx3::detail
