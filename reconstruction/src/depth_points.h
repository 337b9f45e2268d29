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

// Pixels inside the octagon (and off the two-pixel border) get z times their
// ray, the others (0, 0, 0). Row by row: the octagon cuts each row to one run
// of columns, so the loop over it has no tests.
void DepthToPointsKernel(const PointsRequest& request);
// The same pixel by pixel, testing each against the octagon: the reference
// the kernel above is checked against.
void DepthToPointsKernelReference(const PointsRequest& request);

// 60 / binning, halved again for 320-wide images.
int32_t PointsMargin(int32_t binning, int32_t width);

}  // namespace qzapi
