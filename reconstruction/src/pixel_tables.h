// Per-pixel tables built at initialisation so that the per-frame loops only
// look values up.
#pragma once

#include <cstdint>
#include <vector>

namespace qzapi {

// s(x, y) * 100 with x = u / 100, y = v / 100 over a width x height grid,
// s = c0 + c1 x + c2 y + c3 x^2 + c4 x y + c5 y^2.
void BuildFittingSurface(const float coefficients[6], int32_t width, int32_t height, std::vector<float>& out);

struct LensModel {
  float fx, fy, cx, cy;
  float k1, k2, p1, p2, k3;
};

// Undistorted normalised ray coordinates of every grid pixel: starts at the
// distorted coordinates and applies `iterations` fixed-point steps of the
// inverse of the radial-tangential model.
void BuildRayMaps(const LensModel& lens, int32_t width, int32_t height, int32_t iterations, std::vector<float>& rayX,
                  std::vector<float>& rayY);

// 1 / sqrt(1 + x^2 + y^2) per ray.
void BuildRadialToAxial(const std::vector<float>& rayX, const std::vector<float>& rayY, std::vector<float>& out);

// Pinhole rays without distortion (colour camera grid).
void BuildPinholeRays(float fx, float fy, float cx, float cy, int32_t width, int32_t height, std::vector<float>& rayX,
                      std::vector<float>& rayY);

// Fixed-point steps of the ray maps for a device type.
int32_t RayMapIterations(int32_t deviceType);

}  // namespace qzapi
