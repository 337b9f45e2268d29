#pragma once

// The texts of recording and playback in the viewer.
namespace record_text {
inline const char* const nothing_streaming =
    "Nothing is streaming: switch on Depth Camera, RGB Camera or RGBD Fusion, then record.";
inline const char* const playing_back =
    "A recording is playing: open the camera to record. To keep part of a recording, use tessivue-cli export.";
// %1: the file.
inline const char* const started = "Recording to %1";
inline const char* const started_raw = "Recording to %1 (with raw phase frames)";
inline const char* const started_no_raw =
    "Recording to %1. The camera offers no raw phase frames: the processed streams are recorded.";
// %1: the reason.
inline const char* const cannot_start = "The recording could not start: %1";
// %1 file, %2 frame sets, %3 seconds.
inline const char* const saved = "Recording saved: %1 (%2 frames, %3 s)";
// %1 the reason, %2 the file.
inline const char* const stopped_early =
    "The recording stopped: %1. %2 keeps what was recorded until then.";
inline const char* const incomplete =
    "The recording could not be finished: %1. Run \"tessivue-cli repair %2\" to make it readable.";
// %1 the file, %2 the reason.
inline const char* const cannot_open = "The recording %1 cannot be opened: %2";
inline const char* const unreadable_frames = "%1 frame sets of the recording could not be read (%2); they are skipped.";
inline const char* const reprocess_unavailable = "Re-processing is not possible: %1.";
}  // namespace record_text
