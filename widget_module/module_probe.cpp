#include "module_probe.h"

#include "parvolux3/pvx3.h"

QString sdk_version_text()
{
    const char* version = pvx3::pvx3_get_version(nullptr);
    return version ? QString::fromUtf8(version) : QString();
}

pvx3::context* create_sdk_context()
{
    return pvx3::pvx3_create_context(nullptr);
}

bool probe_first_module(pvx3::context* context, QString* raw_name)
{
    if (!context)
        return false;
    // Enumerating first makes the SDK look at what is connected now.
    if (context->query_devices(nullptr) < 1)
        return false;
    pvx3::device* device = context->get_device(nullptr);
    if (!device)
        return false;
    const char* name = pvx3::pvx3_get_device_info(device, pvx3::PVX3_CAMERA_INFO_MODULE_NAME, nullptr);
    *raw_name = name ? QString::fromUtf8(name) : QString();
    return true;
}
