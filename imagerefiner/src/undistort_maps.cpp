#include "undistort_maps.h"

#include <array>

namespace qzapi::detail {

void BuildUndistortMaps(float* mapX, float* mapY, const PinholeIntrinsics& intrinsics,
                        const DistortionCoefficients& coefficients, int passes) {
  const float k1 = coefficients.k1;
  const float k2 = coefficients.k2;
  const float k3 = coefficients.k3;
  const float p1 = coefficients.p1;
  const float p2 = coefficients.p2;
  // Pixels are independent, so a row is iterated as a whole: each pass is a
  // dependency-free loop over the row that the compiler vectorises.
  std::array<float, kMapWidth> x0{};
  for (int u = 0; u < kMapWidth; ++u) {
    x0[u] = (static_cast<float>(u) - intrinsics.cx) / intrinsics.fx;
  }
  for (int v = 0; v < kMapHeight; ++v) {
    const float y0 = (static_cast<float>(v) - intrinsics.cy) / intrinsics.fy;
    float* x = mapX + v * kMapWidth;
    float* y = mapY + v * kMapWidth;
    for (int u = 0; u < kMapWidth; ++u) {
      x[u] = x0[u];
      y[u] = y0;
    }
    for (int pass = 0; pass < passes; ++pass) {
      for (int u = 0; u < kMapWidth; ++u) {
        const float xu = x[u];
        const float yu = y[u];
        const float r2 = xu * xu + yu * yu;
        const float k = 1.0F + k1 * r2 + k2 * r2 * r2 + k3 * r2 * r2 * r2;
        x[u] = xu - (2.0F * p1 * xu * yu + k * xu + p2 * (2.0F * xu * xu + r2) - x0[u]);
        y[u] = yu - (2.0F * p2 * xu * yu + k * yu + p1 * (2.0F * yu * yu + r2) - y0);
      }
    }
  }
}

}  // namespace qzapi::detail
