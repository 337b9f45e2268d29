#pragma once

#include <vector>

#include "quality/camera_rays.h"
#include "quality/image_view.h"
#include "quality/region.h"

namespace quality {

// Least-squares plane through the valid pixels of a region, back-projected
// to 3D with the depth camera's rays (millimetres, camera frame).
//
// Gross outliers (an unwrapping error puts a pixel of a wall 5 m away at
// 3.5 m) would tilt a plain least-squares plane by degrees, so the fit is
// made twice: over all points, then over the points whose residual lies
// within five robust standard deviations (1.4826 x the median absolute
// residual, at least 1 mm). Points left out are counted in `outliers`;
// Gaussian noise practically never reaches five deviations, so for an
// honest surface both fits agree.
struct plane_fit {
  bool ok = false;   // at least 3 points, not all on one line
  int points = 0;    // valid pixels in the region
  int outliers = 0;  // of those, left out of the final fit
  // Residuals are perpendicular distances of the fitted points (inliers)
  // from the plane.
  double rms_mm = 0;
  double max_abs_mm = 0;
  // Depth (along the optical axis) where the plane meets the ray through
  // the region's centre; `distance_ok` is false when that ray runs parallel
  // to the plane.
  bool distance_ok = false;
  double distance_mm = 0;
  // Angle between the plane's normal and the optical axis, 0 to 90 degrees:
  // 0 for a wall square to the camera.
  double tilt_deg = 0;
  double normal[3] = {0, 0, 0};    // unit, pointing towards the camera (z <= 0)
  double centroid[3] = {0, 0, 0};  // mm
};

// Buffers reused from frame to frame: the points and a sample of their
// residuals.
struct plane_workspace {
  std::vector<float> points;
  std::vector<float> magnitudes;
};

// Fits the plane over `r`'s valid pixels (depth >= 2) of `depth`, which was
// mirrored by the given flips. `rays` must have the depth image's size;
// otherwise the fit is not ok.
plane_fit fit_plane(const image16& depth, const region& r, const camera_rays& rays,
                    bool flip_vertical, bool flip_horizontal,
                    plane_workspace* workspace = nullptr);

}  // namespace quality
