// Undistortion maps: for each pixel of the distorted 640 x 480 depth grid,
// the undistorted normalised coordinates of its ray.
#pragma once

#include "qzapi/image_refiner.h"

namespace qzapi::detail {

constexpr int kMapWidth = 640;
constexpr int kMapHeight = 480;
constexpr int kMapSize = kMapWidth * kMapHeight;

struct PinholeIntrinsics {
  float cx;
  float cy;
  float fx;
  float fy;
};

// Fills mapX and mapY (kMapSize floats each, row-major) in single precision.
// Starts from the pinhole back-projection x0 = (u - cx) / fx,
// y0 = (v - cy) / fy and applies `passes` fixed-point steps
// x <- x - (distort(x, y) - x0) of the radial-tangential model.
void BuildUndistortMaps(float* mapX, float* mapY, const PinholeIntrinsics& intrinsics,
                        const DistortionCoefficients& coefficients, int passes);

}  // namespace qzapi::detail
