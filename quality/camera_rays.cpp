#include "quality/camera_rays.h"

#include <cmath>
#include <opencv2/core.hpp>

namespace quality {

depth_intrinsics intrinsics_for_size(const depth_intrinsics& lens, int width, int height) {
  depth_intrinsics out = lens;
  out.width = width;
  out.height = height;
  if (lens.width <= 0 || lens.height <= 0) return out;
  const double sx = static_cast<double>(width) / lens.width;
  const double sy = static_cast<double>(height) / lens.height;
  out.fx = lens.fx * sx;
  out.cx = lens.cx * sx;
  out.fy = lens.fy * sy;
  out.cy = lens.cy * sy;
  return out;
}

void undistorted_ray(const depth_intrinsics& l, double u, double v, int iterations, double* xo,
                     double* yo) {
  const double x0 = (u - l.cx) / l.fx;
  const double y0 = (v - l.cy) / l.fy;
  double x = x0;
  double y = y0;
  for (int it = 0; it < iterations; ++it) {
    const double r2 = x * x + y * y;
    const double k = 1.0 + l.k1 * r2 + l.k2 * r2 * r2 + l.k3 * r2 * r2 * r2;
    const double nx = x - (x * k + 2.0 * l.p1 * x * y + l.p2 * (r2 + 2.0 * x * x) - x0);
    const double ny = y - (y * k + 2.0 * l.p2 * x * y + l.p1 * (r2 + 2.0 * y * y) - y0);
    x = nx;
    y = ny;
  }
  *xo = std::isfinite(x) ? x : 0.0;
  *yo = std::isfinite(y) ? y : 0.0;
}

camera_rays::camera_rays(const depth_intrinsics& lens, int iterations)
    : lens_(lens), iterations_(iterations) {
  if (!lens.valid()) return;
  const std::size_t n = static_cast<std::size_t>(lens.width) * lens.height;
  x_.resize(n);
  y_.resize(n);
  for (int r = 0; r < lens.height; ++r)
    for (int c = 0; c < lens.width; ++c) {
      double x, y;
      undistorted_ray(lens, c, r, iterations, &x, &y);
      const std::size_t i = static_cast<std::size_t>(r) * lens.width + c;
      x_[i] = static_cast<float>(x);
      y_[i] = static_cast<float>(y);
    }
}

void camera_rays::ray_at(double u, double v, bool flip_vertical, bool flip_horizontal, double* x,
                         double* y) const {
  const double su = flip_horizontal ? lens_.width - 1 - u : u;
  const double sv = flip_vertical ? lens_.height - 1 - v : v;
  undistorted_ray(lens_, su, sv, iterations_, x, y);
  if (flip_horizontal) *x = -*x;
  if (flip_vertical) *y = -*y;
}

std::optional<depth_intrinsics> estimate_intrinsics(const float* xyz, int width, int height,
                                                    bool flip_vertical, bool flip_horizontal) {
  if (xyz == nullptr || width <= 0 || height <= 0) return std::nullopt;
  // Column: u = cx + fx*X + (fx k1) X r2 + (fx k2) X r4 + (fx k3) X r6
  //             + (fx p1) 2XY + (fx p2) (r2 + 2X^2); the row alike with Y and
  // the tangential terms swapped. Each is linear in its seven unknowns.
  cv::Mat Au(0, 7, CV_64F), bu(0, 1, CV_64F), Av(0, 7, CV_64F), bv(0, 1, CV_64F);
  // Every second pixel is plenty for a 9-parameter model.
  for (int row = 0; row < height; row += 2)
    for (int col = 0; col < width; col += 2) {
      const float* p = xyz + 3 * (static_cast<std::size_t>(row) * width + col);
      if (!(p[2] > 0.0f)) continue;
      double X = p[0] / p[2];
      double Y = p[1] / p[2];
      if (flip_horizontal) X = -X;
      if (flip_vertical) Y = -Y;
      const double u = flip_horizontal ? width - 1 - col : col;
      const double v = flip_vertical ? height - 1 - row : row;
      const double r2 = X * X + Y * Y;
      const double ru[7] = {1, X, X * r2, X * r2 * r2, X * r2 * r2 * r2, 2 * X * Y, r2 + 2 * X * X};
      const double rv[7] = {1, Y, Y * r2, Y * r2 * r2, Y * r2 * r2 * r2, r2 + 2 * Y * Y, 2 * X * Y};
      Au.push_back(cv::Mat(1, 7, CV_64F, const_cast<double*>(ru)));
      Av.push_back(cv::Mat(1, 7, CV_64F, const_cast<double*>(rv)));
      bu.push_back(u);
      bv.push_back(v);
    }
  if (Au.rows < 100) return std::nullopt;
  cv::Mat su, sv;
  if (!cv::solve(Au, bu, su, cv::DECOMP_SVD) || !cv::solve(Av, bv, sv, cv::DECOMP_SVD))
    return std::nullopt;
  depth_intrinsics l;
  l.width = width;
  l.height = height;
  l.cx = su.at<double>(0);
  l.fx = su.at<double>(1);
  l.cy = sv.at<double>(0);
  l.fy = sv.at<double>(1);
  if (!(l.fx > 0) || !(l.fy > 0)) return std::nullopt;
  // The radial terms appear in both fits; take their average.
  l.k1 = 0.5 * (su.at<double>(2) / l.fx + sv.at<double>(2) / l.fy);
  l.k2 = 0.5 * (su.at<double>(3) / l.fx + sv.at<double>(3) / l.fy);
  l.k3 = 0.5 * (su.at<double>(4) / l.fx + sv.at<double>(4) / l.fy);
  l.p1 = 0.5 * (su.at<double>(5) / l.fx + sv.at<double>(5) / l.fy);
  l.p2 = 0.5 * (su.at<double>(6) / l.fx + sv.at<double>(6) / l.fy);
  return l;
}

}  // namespace quality
