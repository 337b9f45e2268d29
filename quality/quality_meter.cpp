#include "quality/quality_meter.h"

namespace quality {

quality_meter::quality_meter() = default;

void quality_meter::set_intrinsics(const depth_intrinsics& lens) {
  lens_ = lens;
  rays_ = camera_rays();
}

void quality_meter::clear_intrinsics() {
  lens_ = depth_intrinsics();
  rays_ = camera_rays();
}

void quality_meter::set_region(const region& r) {
  if (region_ && *region_ == r) return;
  region_ = r;
  temporal_.reset();
}

void quality_meter::clear_region() {
  region_.reset();
  temporal_.reset();
}

void quality_meter::set_temporal_window(int frames) { temporal_.set_window(frames); }

const camera_rays& quality_meter::rays_for(int width, int height) {
  if (!lens_.valid()) {
    rays_ = camera_rays();
  } else if (rays_.empty() || rays_.width() != width || rays_.height() != height) {
    rays_ = camera_rays(intrinsics_for_size(lens_, width, height));
  }
  return rays_;
}

quality_report quality_meter::measure(const frame_input& frame) {
  quality_report rep;
  rep.frame_number = frame.frame_number;
  rep.time_s = frame.time_s;
  if (frame.flip_vertical != last_flip_vertical_ ||
      frame.flip_horizontal != last_flip_horizontal_) {
    // The same pixels now see another part of the scene.
    temporal_.reset();
    last_flip_vertical_ = frame.flip_vertical;
    last_flip_horizontal_ = frame.flip_horizontal;
  }
  if (!region_ || frame.depth.empty()) return rep;
  region r = *region_;
  if (r.image_width != frame.depth.width || r.image_height != frame.depth.height)
    r = scaled(r, frame.depth.width, frame.depth.height);
  r = clipped(r);
  if (r.empty()) return rep;
  rep.has_region = true;
  rep.area = r;
  rep.spatial = measure_spatial(frame.depth, r, &spatial_workspace_);
  rep.temporal = temporal_.add(frame.depth, r);
  rep.plane = fit_plane(frame.depth, r, rays_for(frame.depth.width, frame.depth.height),
                        frame.flip_vertical, frame.flip_horizontal, &plane_workspace_);
  if (!frame.ir.empty() && frame.ir.width == frame.depth.width &&
      frame.ir.height == frame.depth.height)
    rep.ir = measure_ir(frame.ir, r);
  return rep;
}

}  // namespace quality
