// Topic names and frame ids of a recording (docs/recording-format.md).
#pragma once

#include "recording/types.h"

namespace recording::topics {

inline constexpr const char* kDepthImage = "/tessivue/depth/image_raw";
inline constexpr const char* kDepthInfo = "/tessivue/depth/camera_info";
inline constexpr const char* kIrImage = "/tessivue/ir/image_raw";
inline constexpr const char* kIrInfo = "/tessivue/ir/camera_info";
inline constexpr const char* kColourImage = "/tessivue/color/image_raw";
inline constexpr const char* kColourInfo = "/tessivue/color/camera_info";
inline constexpr const char* kRawPhase = "/tessivue/raw_phase/image_raw";
inline constexpr const char* kCalibration = "/tessivue/calibration";
inline constexpr const char* kDeviceInfo = "/tessivue/device_info";
inline constexpr const char* kSettings = "/tessivue/settings";
inline constexpr const char* kRecording = "/tessivue/recording";
inline constexpr const char* kSummary = "/tessivue/summary";

// Image topic of a stream.
const char* image_topic(stream s);
// Camera-info topic of a stream; null for raw phase frames (no lens).
const char* info_topic(stream s);
// Frame id (header.frame_id) of a stream's images.
const char* frame_id(stream s);

// Value of "format" in the recording header, and the format version.
inline constexpr const char* kFormatName = "tessivue-recording";
inline constexpr int kFormatVersion = 1;

}  // namespace recording::topics
