// The only implementation of qzapi::ImageRefiner: checks arguments, holds the
// intrinsics, coefficients and undistortion maps, and dispatches to the
// kernels in this folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qzapi/image_refiner.h"

namespace qzapi {

class ImageRefineImpl final : public ImageRefiner {
 public:
  ImageRefineImpl() = default;
  ~ImageRefineImpl() = default;
  ImageRefineImpl(const ImageRefineImpl&) = delete;
  ImageRefineImpl& operator=(const ImageRefineImpl&) = delete;

  std::int32_t GetViewCamera(double* position, double* focalPoint, double* viewUp,
                             std::int32_t distance) override;
  std::int32_t RefineDepth(std::uint8_t* rgbOut, const std::uint16_t* depth, std::int32_t width,
                           std::int32_t height, std::int32_t nearLimit,
                           std::int32_t farLimit) override;
  std::int32_t RefineDepthWithIr(std::uint8_t* rgbOut, const std::uint16_t* infrared,
                                 const std::uint16_t* depth, std::int32_t width,
                                 std::int32_t height, std::int32_t nearLimit,
                                 std::int32_t farLimit) override;
  std::int32_t SetIntrinsics(std::int32_t width, std::int32_t height, float cx, float cy,
                             float fx, float fy, float scaleA, float scaleB) override;
  std::int32_t SetDistortion(const DistortionCoefficients* coefficients,
                             std::uint8_t halfCornerMargin, std::uint8_t iterationUnits) override;
  std::int32_t BuildPointCloud(RefinedPoint* points, const std::uint8_t* colours,
                               const std::uint16_t* depth, std::int32_t height,
                               std::int32_t width) override;
  std::int32_t AdjustBrightness(std::uint8_t* rgb, std::int32_t width, std::int32_t height,
                                std::int32_t offset, float gain) override;
  void GetVersion(std::string& out) override;

  // Read access for tests and diagnostics; null until the first successful
  // SetDistortion. 640 x 480 floats each, row-major.
  const float* MapX() const { return undistortMapX.get(); }
  const float* MapY() const { return undistortMapY.get(); }

 private:
  // Intrinsics on the 640 x 480 grid, pixels. Zero until SetIntrinsics, so
  // SetDistortion can refuse to build maps from intrinsics never given.
  float cx = 0.0F;
  float cy = 0.0F;
  float fx = 0.0F;
  float fy = 0.0F;
  float scaleA = 0.0F;  // recorded, read by no operation
  float scaleB = 0.0F;
  float k1 = 0.0F;
  float k2 = 0.0F;
  float k3 = 0.0F;
  float p1 = 0.0F;
  float p2 = 0.0F;
  std::unique_ptr<float[]> undistortMapX;  // undistorted normalised x per pixel
  std::unique_ptr<float[]> undistortMapY;  // undistorted normalised y per pixel
  std::uint8_t iterationUnits = 0;         // groups of 4 fixed-point passes
  std::uint8_t halfCornerMargin = 0;       // non-zero: half the corner cut
};

}  // namespace qzapi
