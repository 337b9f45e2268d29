#include "undistort_maps.h"

namespace qzapi::detail {

void BuildUndistortMaps(float* mapX, float* mapY, const PinholeIntrinsics& intrinsics,
                        const DistortionCoefficients& coefficients, int passes) {
  const float k1 = coefficients.k1;
  const float k2 = coefficients.k2;
  const float k3 = coefficients.k3;
  const float p1 = coefficients.p1;
  const float p2 = coefficients.p2;
  for (int v = 0; v < kMapHeight; ++v) {
    const float y0 = (static_cast<float>(v) - intrinsics.cy) / intrinsics.fy;
    for (int u = 0; u < kMapWidth; ++u) {
      const float x0 = (static_cast<float>(u) - intrinsics.cx) / intrinsics.fx;
      // Pixels are independent, so all passes of one pixel run back to back
      // in registers instead of sweeping the whole map once per pass.
      float x = x0;
      float y = y0;
      for (int pass = 0; pass < passes; ++pass) {
        const float r2 = x * x + y * y;
        const float k = 1.0F + k1 * r2 + k2 * r2 * r2 + k3 * r2 * r2 * r2;
        const float nx = x - (2.0F * p1 * x * y + k * x + p2 * (2.0F * x * x + r2) - x0);
        const float ny = y - (2.0F * p2 * x * y + k * y + p1 * (2.0F * y * y + r2) - y0);
        x = nx;
        y = ny;
      }
      mapX[v * kMapWidth + u] = x;
      mapY[v * kMapWidth + u] = y;
    }
  }
}

}  // namespace qzapi::detail
