// Back-projection of depth to camera-frame points.
#pragma once

#include <cstdint>

namespace qzapi {

struct PointsRequest {
  const uint16_t* depth;
  float* xyz;  // 3 floats per pixel
  int32_t width;
  int32_t height;
  int32_t margin;        // octagon cut of the corners, pixels
  int32_t tableBinning;  // pixel (r, c) uses ray of grid (kb r, kb c)
  const float* rayX;
  const float* rayY;
};

void DepthToPointsKernel(const PointsRequest& request);

// 60 / binning, halved again for 320-wide images.
int32_t PointsMargin(int32_t binning, int32_t width);

}  // namespace qzapi
