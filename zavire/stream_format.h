#pragma once

// One stream format reported by the device.
struct stream_format {
    int type = 0;  // 2 depth, 3 RGB, 4 IR
    int width = 0;
    int height = 0;
};

// Stream type numbers of the camera SDK.
enum stream_type : int {
    stream_depth = 2,
    stream_rgb = 3,
    stream_ir = 4,
};
