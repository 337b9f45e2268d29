// The SDK context: the configuration read at its creation, its camera (when
// one is "connected") and every pipeline and configuration made from it. All
// SDK objects live in a process-wide registry until the process ends.
#pragma once

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

private:
    sdk_settings settings_;
    std::unique_ptr<device_impl> device_;
    std::mutex mutex_;
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
