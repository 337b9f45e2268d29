#pragma once

#include "app/user_message.h"

// The texts the viewer's checks and switches post (post_user_message).
namespace viewer_text {
inline const char* const enter_frame = "please enter frame !";
inline const char* const frame_range = "Please enter number between 1 and 99 !";
inline const char* const select_path = "please select file path";
inline const char* const chinese_path = "path cannot contain chinese and chinese characters !";
inline const char* const sdk_mismatch = "SDK version is not match.";
// Ends in the full-width exclamation mark U+FF01.
inline const char* const open_stream_fail = "open stream fail\xEF\xBC\x81";
inline const char* const no_camera =
    "No camera found. Check that the camera is plugged in (USB cable and power) and not used by another "
    "program. The list updates by itself when a camera is connected.";
// %1: the camera's name in the list.
inline const char* const camera_found = "Camera connected: %1. Click it in the list to open it.";
inline const char* const camera_lost =
    "The camera was disconnected: its modules were switched off. Reconnect it, then choose it again with +.";
inline const char* const view_notice_lost =
    "No frames are coming: the camera was disconnected.\nReconnect it, then choose it again with +.";
inline const char* const view_notice_back = "The camera is connected again: choose it in the list to open it.";
inline const char* const save_nothing_streaming =
    "Nothing is streaming: switch on Depth Camera, RGB Camera or RGBD Fusion, then save.";
inline const char* const save_needs_depth = "Switch on Depth Camera (or RGBD Fusion) first, then save.";
inline const char* const save_needs_rgb = "Switch on RGB Camera (or RGBD Fusion) first, then save.";
}  // namespace viewer_text
