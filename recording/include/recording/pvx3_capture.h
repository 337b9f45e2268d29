// What a recording takes from a camera behind the pvx3 interfaces: device
// information, the current settings, the calibration, and frame sets as
// views for writer::submit. The viewer's acquisition thread and the
// command-line recorder both use these.
#pragma once

#include <optional>
#include <string>

#include <parvolux3/pvx3.h>

#include "recording/types.h"

namespace recording {

// Device information strings (null ones read as empty) and streams offered.
device_info capture_device_info(pvx3::device* device);

// The sensor's options now, with the stream sizes given by the caller (0 x 0
// for a stream that is off). Without a sensor only the sizes are filled.
camera_settings capture_settings(pvx3::sensor* sensor, int depth_width, int depth_height, int colour_width,
                                 int colour_height);

// The calibration of a depth stream of width x height, when the camera hands
// it out (cameras with raw phase frames).
std::optional<calibration> capture_calibration(pvx3::device* device, int width, int height);

// Lenses of the stored images, derived from the calibration and the flips
// (a mirrored image has a mirrored camera model). All zero without a
// calibration.
struct stream_lenses {
    lens_model depth, colour;  // IR shares the depth lens
};
stream_lenses lenses_for(const std::optional<calibration>& cal, const camera_settings& settings);

// A view of the frames of `set` in `streams` (valid while `set` lives). The
// frame number and capture time are those of its first frame. False when the
// set holds none of those streams.
bool view_frame_set(const pvx3::frameset& set, stream_mask streams, const stream_lenses& lenses,
                    frame_set_view& out);

}  // namespace recording
