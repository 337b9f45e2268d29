#include "settings.h"

#include <cstdlib>
#include <cstring>

namespace pvx3::detail {
namespace {

const char* env(const char* name)
{
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

bool env_flag(const char* name, bool fallback)
{
    const char* v = env(name);
    if (!v)
        return fallback;
    return !(std::strcmp(v, "0") == 0 || std::strcmp(v, "false") == 0 || std::strcmp(v, "no") == 0
             || std::strcmp(v, "off") == 0);
}

long env_int(const char* name, long fallback, long lo, long hi)
{
    const char* v = env(name);
    if (!v)
        return fallback;
    char* end = nullptr;
    long n = std::strtol(v, &end, 10);
    if (end == v || *end != '\0' || n < lo || n > hi)
        return fallback;
    return n;
}

double env_double(const char* name, double fallback, double lo, double hi)
{
    const char* v = env(name);
    if (!v)
        return fallback;
    char* end = nullptr;
    double d = std::strtod(v, &end);
    if (end == v || *end != '\0' || !(d >= lo && d <= hi))
        return fallback;
    return d;
}

void env_text(const char* name, std::string& target)
{
    if (const char* v = env(name))
        target = v;
}

}  // namespace

sdk_settings read_settings()
{
    sdk_settings s;
    s.camera_present = !env_flag("PVX3_NO_CAMERA", false);
    s.has_tof = !env_flag("PVX3_NO_TOF", false);
    s.has_rgb = !env_flag("PVX3_NO_RGB", false);
    s.has_raw = !env_flag("PVX3_NO_RAW_FRAMES", false);
    s.noise_aware_filter = !env_flag("PVX3_NO_NOISE_AWARE_FILTER", false);
    env_text("PVX3_MODULE_NAME", s.module_name);
    env_text("PVX3_PRODUCT_NUMBER", s.product_number);
    env_text("PVX3_SERIAL_NUMBER", s.serial_number);
    env_text("PVX3_FIRMWARE_VERSION", s.firmware_version);
    env_text("PVX3_RECOMMENDED_FIRMWARE_VERSION", s.recommended_firmware_version);
    if (const char* p = env("PVX3_PACING"))
        s.realtime = std::strcmp(p, "fast") != 0;
    s.seed = static_cast<uint64_t>(env_int("PVX3_SEED", static_cast<long>(s.seed), 0, 0x7fffffffL));
    s.drop_every = static_cast<int>(env_int("PVX3_DROP_EVERY", 0, 0, 1000000));
    s.frame_delay_ms = static_cast<int>(env_int("PVX3_FRAME_DELAY_MS", 0, 0, 60000));
    s.lost_after = static_cast<int>(env_int("PVX3_LOST_AFTER", 0, 0, 1000000000));
    s.reconnect_ms = static_cast<int>(env_int("PVX3_RECONNECT_MS", 0, 0, 3600000));
    s.connect_after_ms = static_cast<int>(env_int("PVX3_CONNECT_AFTER_MS", 0, 0, 3600000));
    s.refuse_integration_time = env_flag("PVX3_REFUSE_SET_OPTION", false);
    s.settle_ms = static_cast<int>(env_int("PVX3_SETTLE_MS", s.settle_ms, 0, 60000));
    s.warmup_s = env_double("PVX3_WARMUP_S", s.warmup_s, 0.01, 1e6);
    s.ambient_c = env_double("PVX3_AMBIENT_C", s.ambient_c, -10.0, 60.0);
    env_text("PVX3_RECONSTRUCTION_LIBRARY", s.reconstruction_path);
    return s;
}

}  // namespace pvx3::detail
