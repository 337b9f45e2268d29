// A camera context that the host program makes itself rather than the camera
// SDK (a recording played back as a camera). The SDK's free functions only
// know the SDK's own objects, so whoever works through the pvx3 interfaces
// asks such a context for its pipeline, configuration and device texts.
#pragma once

#include <parvolux3/pvx3.h>

namespace playback {

class host_context : public pvx3::context {
public:
    // Owned by the context; valid while it lives.
    virtual pvx3::pipeline* create_pipeline() = 0;
    virtual pvx3::config* create_config() = 0;
    // Device information text (pvx3_camera_info keys), owned by the context;
    // null for an unknown key.
    virtual const char* device_info(int key) = 0;

protected:
    host_context() = default;
    ~host_context() = default;
};

// The SDK's free functions, or the host context's own answers when `ctx` is one.
pvx3::pipeline* create_pipeline(pvx3::context* ctx);
pvx3::config* create_config(pvx3::context* ctx);
const char* device_info(pvx3::context* ctx, pvx3::device* device, int key);

}  // namespace playback
