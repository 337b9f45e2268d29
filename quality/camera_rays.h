#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace quality {

// Lens of the depth camera for an image of width x height pixels: pinhole
// (fx, fy, cx, cy in pixels) with radial-tangential distortion (k1, k2, p1,
// p2, k3), the model of the camera's calibration.
struct depth_intrinsics {
  int width = 0;
  int height = 0;
  double fx = 0, fy = 0, cx = 0, cy = 0;
  double k1 = 0, k2 = 0, p1 = 0, p2 = 0, k3 = 0;

  bool valid() const { return width > 0 && height > 0 && fx > 0 && fy > 0; }
};

// The same lens for another image size of the same sensor. A binned image
// (320 x 240 of a 640 x 480 sensor) has pixel (r, c) look along the ray of
// sensor pixel (2r, 2c), so the focal lengths and the centre scale with the
// width (and height) ratio; the distortion stays.
depth_intrinsics intrinsics_for_size(const depth_intrinsics& lens, int width, int height);

// Fixed-point steps that turn a pixel into its undistorted ray. The camera's
// point cloud uses four, so points computed here coincide with it.
constexpr int kRayIterations = 4;

// Undistorted normalised ray (x / z, y / z) of pixel (u, v) of the lens's
// image: starts at the distorted coordinates and applies `iterations`
// fixed-point steps of the inverse of the distortion model.
void undistorted_ray(const depth_intrinsics& lens, double u, double v, int iterations, double* x,
                     double* y);

// Undistorted rays of every pixel of an image, looked up per pixel when
// back-projecting depth: point = depth * (x, y, 1), millimetres, x to the
// right and y down in the unmirrored image.
//
// Flips: the camera mirrors its images; a mirrored image's pixel is the
// sensor pixel on the other side, and its point is mirrored as well (x
// negated for a horizontal flip, y for a vertical one), as the camera's
// point cloud does.
class camera_rays {
 public:
  camera_rays() = default;
  camera_rays(const depth_intrinsics& lens, int iterations = kRayIterations);

  bool empty() const { return x_.empty(); }
  int width() const { return lens_.width; }
  int height() const { return lens_.height; }
  const depth_intrinsics& lens() const { return lens_; }

  // Ray of pixel (column, row) of an image mirrored by the flips.
  void ray(int column, int row, bool flip_vertical, bool flip_horizontal, float* x,
           float* y) const {
    const int c = flip_horizontal ? lens_.width - 1 - column : column;
    const int r = flip_vertical ? lens_.height - 1 - row : row;
    const auto i = static_cast<std::size_t>(r) * lens_.width + c;
    *x = flip_horizontal ? -x_[i] : x_[i];
    *y = flip_vertical ? -y_[i] : y_[i];
  }
  // Rays of one row of the unmirrored image (sensor row), for loops that
  // apply the flips themselves.
  const float* sensor_row_x(int row) const { return x_.data() + static_cast<std::size_t>(row) * lens_.width; }
  const float* sensor_row_y(int row) const { return y_.data() + static_cast<std::size_t>(row) * lens_.width; }
  // Ray through a point between pixels (u, v), computed from the lens.
  void ray_at(double u, double v, bool flip_vertical, bool flip_horizontal, double* x,
              double* y) const;

 private:
  depth_intrinsics lens_;
  int iterations_ = kRayIterations;
  std::vector<float> x_, y_;
};

// Estimates the lens from an organised point cloud of the camera (width x
// height points, x, y, z floats per pixel in millimetres, (0, 0, 0) where
// there is no point), mirrored like its depth image. Each point's ray
// (x / z, y / z) and its pixel give two equations of the distortion model,
// solved by linear least squares. Nothing when fewer than 100 points are
// usable or the fit is degenerate.
std::optional<depth_intrinsics> estimate_intrinsics(const float* xyz, int width, int height,
                                                    bool flip_vertical, bool flip_horizontal);

}  // namespace quality
