#include "quality/plane_fit.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>

namespace quality {

namespace {

constexpr double kOutlierDeviations = 5.0;
constexpr double kMadToSigma = 1.4826;
constexpr double kMinThresholdMm = 1.0;
constexpr std::size_t kMedianSample = 4096;

struct plane {
  double normal[3];
  double centroid[3];
  double offset;  // normal . centroid
  double residual(const float* p) const {
    return normal[0] * p[0] + normal[1] * p[1] + normal[2] * p[2] - offset;
  }
};

// First and second moments of points, taken about a reference point near
// them so the covariance keeps its digits at metre distances.
struct moments {
  double ref[3] = {0, 0, 0};
  double s[3] = {0, 0, 0};
  double ss[6] = {0, 0, 0, 0, 0, 0};  // xx, xy, xz, yy, yz, zz
  int n = 0;
  void add(const float* q) {
    const double p[3] = {q[0] - ref[0], q[1] - ref[1], q[2] - ref[2]};
    s[0] += p[0], s[1] += p[1], s[2] += p[2];
    ss[0] += p[0] * p[0], ss[1] += p[0] * p[1], ss[2] += p[0] * p[2];
    ss[3] += p[1] * p[1], ss[4] += p[1] * p[2], ss[5] += p[2] * p[2];
    ++n;
  }
};

// The least-squares plane of the points the moments describe: through
// their centroid, normal to the direction of least spread.
bool solve(const moments& mo, plane* out) {
  const int n = mo.n;
  if (n < 3) return false;
  const double m[3] = {mo.s[0] / n, mo.s[1] / n, mo.s[2] / n};
  const double* ss = mo.ss;
  const double xy = ss[1] / n - m[0] * m[1], xz = ss[2] / n - m[0] * m[2],
               yz = ss[4] / n - m[1] * m[2];
  const cv::Matx33d cov(ss[0] / n - m[0] * m[0], xy, xz, xy, ss[3] / n - m[1] * m[1], yz, xz, yz,
                        ss[5] / n - m[2] * m[2]);
  cv::Matx31d values;
  cv::Matx33d vectors;  // rows, by descending eigenvalue
  if (!cv::eigen(cov, values, vectors)) return false;
  // All points on one line (or one point repeated): the two smaller
  // spreads vanish and no plane is defined.
  const double largest = values(0);
  if (!(largest > 0) || !(values(1) > 1e-9 * largest)) return false;
  const double nrm[3] = {vectors(2, 0), vectors(2, 1), vectors(2, 2)};
  const double len = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
  if (!(len > 0)) return false;
  const double sign = nrm[2] > 0 ? -1.0 : 1.0;
  out->offset = 0;
  for (int i = 0; i < 3; ++i) {
    out->normal[i] = nrm[i] * sign / len;
    out->centroid[i] = m[i] + mo.ref[i];
    out->offset += out->normal[i] * out->centroid[i];
  }
  return true;
}

}  // namespace

plane_fit fit_plane(const image16& depth, const region& r, const camera_rays& rays,
                    bool flip_vertical, bool flip_horizontal, plane_workspace* workspace) {
  plane_fit f;
  if (depth.empty() || rays.empty() || rays.width() != depth.width ||
      rays.height() != depth.height)
    return f;
  region c = r;
  c.image_width = depth.width;
  c.image_height = depth.height;
  c = clipped(c);
  if (c.empty()) return f;

  plane_workspace local;
  plane_workspace& ws = workspace != nullptr ? *workspace : local;
  std::vector<float>& pts = ws.points;
  pts.resize(static_cast<std::size_t>(c.pixels()) * 3);
  // Points and their moments in one pass. A mirrored image's pixel sees the
  // sensor pixel on the other side, and its point is mirrored too (as in
  // camera_rays::ray), row by row here.
  const float sx = flip_horizontal ? -1.0f : 1.0f;
  const float sy = flip_vertical ? -1.0f : 1.0f;
  moments all;
  std::size_t n = 0;
  for (int y = c.y; y < c.y + c.height; ++y) {
    const std::uint16_t* row = depth.row(y);
    const int sensor_row = flip_vertical ? depth.height - 1 - y : y;
    const float* rx = rays.sensor_row_x(sensor_row);
    const float* ry = rays.sensor_row_y(sensor_row);
    for (int x = c.x; x < c.x + c.width; ++x) {
      const std::uint16_t d = row[x];
      if (!valid_depth(d)) continue;
      const int sc = flip_horizontal ? depth.width - 1 - x : x;
      const float z = d;
      float* p = &pts[3 * n];
      p[0] = sx * z * rx[sc];
      p[1] = sy * z * ry[sc];
      p[2] = z;
      if (n == 0) all.ref[0] = p[0], all.ref[1] = p[1], all.ref[2] = p[2];
      all.add(p);
      ++n;
    }
  }
  f.points = static_cast<int>(n);
  plane p{};
  if (!solve(all, &p)) return f;

  // Robust spread: the median absolute residual of an even sample of at
  // most kMedianSample points (a few per cent off the full median, which
  // does not matter for a five-deviation limit).
  std::vector<float>& sample = ws.magnitudes;
  sample.clear();
  const std::size_t stride = std::max<std::size_t>(1, n / kMedianSample);
  for (std::size_t i = 0; i < n; i += stride)
    sample.push_back(static_cast<float>(std::abs(p.residual(&pts[3 * i]))));
  const std::size_t mid = sample.size() / 2;
  std::nth_element(sample.begin(), sample.begin() + mid, sample.end());
  const double limit = std::max(kOutlierDeviations * kMadToSigma * sample[mid], kMinThresholdMm);

  // Residuals against the first plane; the points beyond the limit are the
  // outliers. Without any, these are the final residuals.
  double sum_sq = 0, worst = 0;
  moments inliers;
  inliers.ref[0] = all.ref[0], inliers.ref[1] = all.ref[1], inliers.ref[2] = all.ref[2];
  int outliers = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double e = std::abs(p.residual(&pts[3 * i]));
    if (e > limit) {
      ++outliers;
      continue;
    }
    sum_sq += e * e;
    worst = std::max(worst, e);
  }
  if (outliers > 0) {
    for (std::size_t i = 0; i < n; ++i)
      if (std::abs(p.residual(&pts[3 * i])) <= limit) inliers.add(&pts[3 * i]);
    plane refit{};
    if (!solve(inliers, &refit)) return f;
    sum_sq = 0;
    worst = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (std::abs(p.residual(&pts[3 * i])) > limit) continue;
      const double e = std::abs(refit.residual(&pts[3 * i]));
      sum_sq += e * e;
      worst = std::max(worst, e);
    }
    p = refit;
  }
  f.outliers = outliers;
  f.rms_mm = std::sqrt(sum_sq / (static_cast<double>(n) - outliers));
  f.max_abs_mm = worst;
  for (int i = 0; i < 3; ++i) {
    f.normal[i] = p.normal[i];
    f.centroid[i] = p.centroid[i];
  }
  f.tilt_deg = std::acos(std::min(1.0, std::abs(p.normal[2]))) * 180.0 / M_PI;

  // The centre ray (rx, ry, 1) meets the plane n.(t ray - centroid) = 0 at
  // depth t.
  double cx, cy;
  rays.ray_at(c.centre_x(), c.centre_y(), flip_vertical, flip_horizontal, &cx, &cy);
  const double along = p.normal[0] * cx + p.normal[1] * cy + p.normal[2];
  if (std::abs(along) > 1e-9) {
    f.distance_ok = true;
    f.distance_mm = p.offset / along;
  }
  f.ok = true;
  return f;
}

}  // namespace quality
