// Configuration of the virtual camera, read from PVX3_* environment variables
// when a context is created (documented in sdk/README.md).
#pragma once

#include <cstdint>
#include <string>

namespace pvx3::detail {

struct sdk_settings {
    bool camera_present = true;
    bool has_tof = true;
    bool has_rgb = true;
    bool has_raw = true;             // the depth sensor hands out its raw phase frames
    bool noise_aware_filter = true;  // the filter option offers mode 2 (an older camera: 0 and 1 only)
    std::string module_name = "DUAL-T4";
    std::string product_number = "PVX-T4-0640";
    std::string serial_number = "VT4C0A1B2C3";
    std::string firmware_version = "v1.3.2";
    std::string recommended_firmware_version = "v1.3.2";
    bool realtime = true;                  // pace at 30 frames per second, else as fast as consumed
    uint64_t seed = 20240613;              // noise seed
    int drop_every = 0;                    // every n-th frame set is lost (0: none)
    int frame_delay_ms = 0;                // extra time per frame set (slow source)
    int lost_after = 0;                    // device lost after this many frame sets (0: never)
    int reconnect_ms = 0;                  // a lost camera is plugged in again this much later (0: never)
    int connect_after_ms = 0;              // the camera is plugged in this long after the context is made
    bool refuse_integration_time = false;  // set_option(0) always answers -1
    int settle_ms = 500;                   // integration time locked this long after a start
    double warmup_s = 90.0;                // time constant of the sensor warming up
    double ambient_c = 24.0;               // sensor temperature when cold
    std::string reconstruction_path;       // explicit qzreconstruction file, else searched
};

// Reads the environment; unknown or malformed values keep the defaults.
sdk_settings read_settings();

}  // namespace pvx3::detail
