#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "quality/camera_rays.h"
#include "quality/image_view.h"
#include "quality/ir_stats.h"
#include "quality/plane_fit.h"
#include "quality/region.h"
#include "quality/spatial_stats.h"
#include "quality/temporal_noise.h"

namespace quality {

// One frame as the meter reads it. The images stay owned by the caller and
// need to live only for the call.
struct frame_input {
  image16 depth;                 // millimetres, 0 invalid, 1 saturated
  image16 ir;                    // amplitude; may be empty, used only at the depth's size
  bool flip_vertical = false;    // the camera mirrored the images top to bottom
  bool flip_horizontal = false;  // and left to right
  std::uint64_t frame_number = 0;
  double time_s = 0;  // capture time in seconds on a steady clock
};

// Everything measured for one frame. Parts that could not be measured keep
// their `ok` false (no region, no lens, no IR).
struct quality_report {
  std::uint64_t frame_number = 0;
  double time_s = 0;
  bool has_region = false;
  region area;  // the region measured, in the frame's pixels
  spatial_stats spatial;
  plane_fit plane;
  temporal_result temporal;
  ir_stats ir;
};

// Measures a region of a stream of depth frames: spatial statistics, plane
// fit, temporal noise over the last N frames and IR amplitude. Keeps the
// state that spans frames (the temporal window, the rays of the current
// image size), so call it once per frame, in order.
class quality_meter {
 public:
  quality_meter();

  // The depth camera's lens, for any image size of the sensor; it is scaled
  // to each frame's size. Without a lens there is no plane fit.
  void set_intrinsics(const depth_intrinsics& lens);
  void clear_intrinsics();
  bool has_intrinsics() const { return lens_.valid(); }

  // The region, in the pixels of the image it was drawn on; it is scaled to
  // the frame's size when that differs.
  void set_region(const region& r);
  void clear_region();
  std::optional<region> current_region() const { return region_; }

  void set_temporal_window(int frames);
  int temporal_window() const { return temporal_.window(); }

  quality_report measure(const frame_input& frame);

 private:
  const camera_rays& rays_for(int width, int height);

  depth_intrinsics lens_;
  camera_rays rays_;
  std::optional<region> region_;
  temporal_noise temporal_;
  bool last_flip_vertical_ = false;
  bool last_flip_horizontal_ = false;
  spatial_workspace spatial_workspace_;
  plane_workspace plane_workspace_;
};

}  // namespace quality
