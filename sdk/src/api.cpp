// The SDK's free functions. Nothing is thrown across this boundary: every
// failure becomes a status code in the caller's pvx3_error.
#include <exception>
#include <new>

#include "colormap.h"
#include "context_impl.h"
#include "status.h"
#include "version.h"

namespace pvx3 {

using namespace detail;

namespace {

// Runs `body`; an exception becomes an error report and `failed` is returned.
template <typename T, typename F>
T guarded(pvx3_error* error, T failed, F&& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        report(error, PVX3_ERROR_INVALID_ARGUMENT, "out of memory");
    } catch (const std::exception& e) {
        report(error, PVX3_ERROR_INVALID_ARGUMENT, e.what());
    }
    return failed;
}

}  // namespace

context* pvx3_create_context(pvx3_error* error)
{
    return guarded<context*>(error, nullptr, [&]() -> context* {
        context* ctx = create_context();
        report_ok(error);
        return ctx;
    });
}

pipeline* pvx3_create_pipeline(context* ctx, pvx3_error* error)
{
    return guarded<pipeline*>(error, nullptr, [&]() -> pipeline* {
        context_impl* c = as_impl(ctx);
        if (!c) {
            report(error, PVX3_ERROR_INVALID_ARGUMENT, "pvx3_create_pipeline needs a context");
            return nullptr;
        }
        report_ok(error);
        return c->create_pipeline();
    });
}

config* pvx3_create_config(context* ctx, pvx3_error* error)
{
    return guarded<config*>(error, nullptr, [&]() -> config* {
        context_impl* c = as_impl(ctx);
        if (!c) {
            report(error, PVX3_ERROR_INVALID_ARGUMENT, "pvx3_create_config needs a context");
            return nullptr;
        }
        report_ok(error);
        return c->create_config();
    });
}

int pvx3_get_colormap_table(uint8_t** table, int* count, pvx3_error* error)
{
    if (!table || !count)
        return report(error, PVX3_ERROR_INVALID_ARGUMENT, "pvx3_get_colormap_table needs table and count");
    *table = nullptr;
    *count = 0;
    return guarded<int>(error, PVX3_ERROR_INVALID_ARGUMENT, [&]() -> int {
        const auto& t = colormap_table();
        *table = new uint8_t[t.size()];
        std::copy(t.begin(), t.end(), *table);
        *count = kColormapSize;
        return report_ok(error);
    });
}

const char* pvx3_get_device_info(device* dev, int info, pvx3_error* error)
{
    device_impl* d = as_impl(dev);
    if (!d) {
        report(error, PVX3_ERROR_INVALID_ARGUMENT, "pvx3_get_device_info needs a device");
        return nullptr;
    }
    const char* text = d->info(info);
    if (!text) {
        report(error, PVX3_ERROR_INVALID_ARGUMENT, "unknown device information key");
        return nullptr;
    }
    report_ok(error);
    return text;
}

const char* pvx3_get_version(pvx3_error* error)
{
    report_ok(error);
    return kSdkVersion;
}

}  // namespace pvx3
