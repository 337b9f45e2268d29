#include "pixel_tables.h"

#include <cmath>

namespace qzapi {

void BuildFittingSurface(const float c[6], int32_t width, int32_t height, std::vector<float>& out) {
  out.resize(static_cast<std::size_t>(width) * height);
  for (int32_t v = 0; v < height; ++v) {
    const float y = static_cast<float>(v) / 100.0f;
    float* row = out.data() + static_cast<std::size_t>(v) * width;
    for (int32_t u = 0; u < width; ++u) {
      const float x = static_cast<float>(u) / 100.0f;
      const float s = c[0] + c[1] * x + c[2] * y + c[3] * x * x + c[4] * x * y + c[5] * y * y;
      row[u] = s * 100.0f;
    }
  }
}

void BuildRayMaps(const LensModel& l, int32_t width, int32_t height, int32_t iterations, std::vector<float>& rayX,
                  std::vector<float>& rayY) {
  const std::size_t n = static_cast<std::size_t>(width) * height;
  rayX.resize(n);
  rayY.resize(n);
  for (int32_t v = 0; v < height; ++v) {
    for (int32_t u = 0; u < width; ++u) {
      const float x0 = (static_cast<float>(u) - l.cx) / l.fx;
      const float y0 = (static_cast<float>(v) - l.cy) / l.fy;
      float x = x0;
      float y = y0;
      for (int32_t it = 0; it < iterations; ++it) {
        const float r2 = x * x + y * y;
        const float k = 1.0f + l.k1 * r2 + l.k2 * r2 * r2 + l.k3 * r2 * r2 * r2;
        const float nx = x - (x * k + 2.0f * l.p1 * x * y + l.p2 * (r2 + 2.0f * x * x) - x0);
        const float ny = y - (y * k + 2.0f * l.p2 * x * y + l.p1 * (r2 + 2.0f * y * y) - y0);
        x = nx;
        y = ny;
      }
      const std::size_t i = static_cast<std::size_t>(v) * width + u;
      // A zero focal length (hostile block) gives no ray rather than NaN.
      rayX[i] = std::isfinite(x) ? x : 0.0f;
      rayY[i] = std::isfinite(y) ? y : 0.0f;
    }
  }
}

void BuildRadialToAxial(const std::vector<float>& rayX, const std::vector<float>& rayY, std::vector<float>& out) {
  out.resize(rayX.size());
  for (std::size_t i = 0; i < rayX.size(); ++i) {
    const float r = 1.0f / std::sqrt(1.0f + rayX[i] * rayX[i] + rayY[i] * rayY[i]);
    out[i] = std::isfinite(r) ? r : 0.0f;
  }
}

void BuildPinholeRays(float fx, float fy, float cx, float cy, int32_t width, int32_t height, std::vector<float>& rayX,
                      std::vector<float>& rayY) {
  const std::size_t n = static_cast<std::size_t>(width) * height;
  rayX.resize(n);
  rayY.resize(n);
  for (int32_t v = 0; v < height; ++v) {
    for (int32_t u = 0; u < width; ++u) {
      const std::size_t i = static_cast<std::size_t>(v) * width + u;
      rayX[i] = (static_cast<float>(u) - cx) / fx;
      rayY[i] = (static_cast<float>(v) - cy) / fy;
    }
  }
}

int32_t RayMapIterations(int32_t deviceType) {
  if (deviceType == 4) return 4;
  if (deviceType == 3) return 20;
  return 1;
}

}  // namespace qzapi
