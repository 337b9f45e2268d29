// Operations on finished depth images: filters, points, colours, undistortion.
#include <cstring>
#include <new>

#include "depth_colour.h"
#include "depth_filters.h"
#include "depth_points.h"
#include "reconstruction_impl.h"
#include "undistort.h"

namespace qzapi {

void ReconstructionImpl::ApplyFilterSized(uint16_t* depth, int32_t width, int32_t height, int32_t filter) {
  const FilterSettings& s = *filterSettings;
  switch (filter) {
    case FilterMedian:
      MedianFilter(depth, width, height, s.values[FilterSettings::MedianWindow], s.values[FilterSettings::MedianPasses]);
      break;
    case FilterBlockDeviation:
      BlockDeviationFilter(depth, width, height, s.values[FilterSettings::BlockDeviation]);
      break;
    case FilterSmallRegion:
      SmallRegionFilter(depth, width, height, s.values[FilterSettings::RegionMaxSize],
                        s.values[FilterSettings::RegionMaxStep]);
      break;
    case FilterSpike:
      SpikeFilter(depth, width, height);
      break;
    case FilterFlyingPixel:
      FlyingPixelFilter(depth, width, height, s.values[FilterSettings::FlyingPixelFactor]);
      break;
    case FilterGaussian:
      GaussianFilter(depth, width, height, s.values[FilterSettings::GaussianWindow],
                     s.values[FilterSettings::GaussianPasses]);
      break;
    default:
      break;  // 2 is a setting only; 128, 256 and unknown codes change nothing
  }
}

void ReconstructionImpl::ApplyFilter(uint16_t* depth, int32_t filter) {
  if (depth == nullptr) return;
  try {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    if (!initialised) return;
    ApplyFilterSized(depth, depthWidth, depthHeight, filter);
  } catch (...) {
  }
}

int32_t ReconstructionImpl::DepthToPoints(const uint16_t* depth, float* xyz, int32_t width, int32_t height) {
  if (xyz == nullptr || width < 1 || height < 1) return StatusInvalidArgument;
  const std::size_t n = static_cast<std::size_t>(width) * height;
  try {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    PointsRequest q{depth, xyz, width, height, PointsMargin(binning, width), 0, nullptr, nullptr};
    int32_t status = StatusOk;
    if (!initialised) {
      status = StatusNotInitialised;
    } else if (depth == nullptr) {
      status = StatusInvalidArgument;
    } else if (width == kColourGridWidth || height == kColourGridHeight) {
      if (width == kColourGridWidth && height == kColourGridHeight && !rayMapX1080.empty()) {
        q.tableBinning = 1;
        q.rayX = rayMapX1080.data();
        q.rayY = rayMapY1080.data();
      } else {
        status = StatusInvalidArgument;
      }
    } else {
      q.tableBinning = TableBinning(width, height);
      q.rayX = rayMapX.data();
      q.rayY = rayMapY.data();
      if (q.tableBinning == 0) status = StatusInvalidArgument;
    }
    if (status != StatusOk) {
      std::memset(xyz, 0, n * 3 * sizeof(float));
      return status;
    }
    DepthToPointsKernel(q);
    return StatusOk;
  } catch (...) {
    return StatusOutOfMemory;
  }
}

void ReconstructionImpl::ColouriseDepth(uint8_t** rgbOut, const uint16_t* depth, int32_t width, int32_t height) {
  if (rgbOut == nullptr) return;
  *rgbOut = nullptr;
  if (depth == nullptr || width < 1 || height < 1) return;
  int32_t nearValue = 0, farValue = 0;
  {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    nearValue = nearLimit;
    farValue = farLimit;
  }
  const std::size_t n = static_cast<std::size_t>(width) * height;
  uint8_t* rgb = new (std::nothrow) uint8_t[n * 3];
  if (rgb == nullptr) return;
  ColouriseKernel(depth, rgb, width, height, nearValue, farValue);
  *rgbOut = rgb;
}

void ReconstructionImpl::Undistort(const uint16_t* src, int32_t width, int32_t height, uint16_t* dst,
                                   int32_t singleChannel) {
  if (src == nullptr || dst == nullptr || width < 1 || height < 1) return;
  LensModel lens{};
  const bool depthCamera = (singleChannel & 0xFF) != 0;
  {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    const CalibrationBlock& b = activeCalibration;
    if (depthCamera) {
      lens = {b.depthIntrinsics[0], b.depthIntrinsics[1], b.depthIntrinsics[2], b.depthIntrinsics[3], b.distCoeffs[0],
              b.distCoeffs[1], b.distCoeffs[2], b.distCoeffs[3], b.distCoeffs[4]};
    } else if (b.colourIntrinsics[0] == 0.0f) {
      lens = kBuiltInColourLens;
    } else {
      lens = {b.colourIntrinsics[0] / 2, b.colourIntrinsics[1] / 2, b.colourIntrinsics[2] / 2,
              b.colourIntrinsics[3] / 2, b.colourDistCoeffs[0], b.colourDistCoeffs[1],
              b.colourDistCoeffs[2], b.colourDistCoeffs[3], b.colourDistCoeffs[4]};
    }
  }
  UndistortKernel(src, dst, width, height, depthCamera ? 1 : 3, lens);
}

}  // namespace qzapi
