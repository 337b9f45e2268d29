#pragma once

#include "app/user_message.h"

// The texts the viewer's checks and switches post (post_user_message).
namespace viewer_text {
inline const char *const enter_frame = "please enter frame !";
inline const char *const frame_range = "Please enter number between 1 and 99 !";
inline const char *const select_path = "please select file path";
inline const char *const chinese_path = "path cannot contain chinese and chinese characters !";
inline const char *const sdk_mismatch = "SDK version is not match.";
// Ends in the full-width exclamation mark U+FF01.
inline const char *const open_stream_fail = "open stream fail\xEF\xBC\x81";
} // namespace viewer_text
