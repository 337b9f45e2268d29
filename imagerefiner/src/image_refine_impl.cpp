#include "image_refine_impl.h"

#include <climits>
#include <cstdint>
#include <exception>
#include <new>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "brightness.h"
#include "depth_ramp.h"
#include "ir_block_filter.h"
#include "point_cloud.h"
#include "texture_blend.h"
#include "texture_pattern.h"
#include "undistort_maps.h"

namespace qzapi {

namespace {

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kUnsupportedSize = -1;
constexpr std::int32_t kInternalFailure = -2;
constexpr std::int32_t kInvalidArgument = -3;

// Built when the library is loaded.
const std::string kVersion = "v1.0.0.4";

// Positive sizes whose colour byte count still fits the int that OpenCV and
// the interface use for sizes.
bool ValidImageSize(std::int32_t width, std::int32_t height) {
  return width >= 1 && height >= 1 &&
         static_cast<std::int64_t>(width) * height * 3 <= INT_MAX;
}

bool SupportedFrameSize(std::int32_t width, std::int32_t height) {
  return (width == 640 && height == 480) || (width == 320 && height == 240);
}

// OpenCV reports allocation failures and internal errors by exception; none
// may cross the exported boundary.
template <typename Work>
std::int32_t Guarded(Work&& work) {
  try {
    work();
    return kOk;
  } catch (const std::exception&) {
    return kInternalFailure;
  }
}

// Working images of the refinement operations, one set per calling thread:
// reusing their storage saves page faults on every frame, and keeping them
// per thread keeps concurrent calls independent.
struct RefineWorkspace {
  cv::Mat colour;
  std::vector<cv::Vec3b> rampTable;
  cv::Mat sharpened;
  cv::Mat patternA;
  cv::Mat patternB;
  cv::Mat texture;
  detail::TextureScratch textureScratch;
  cv::Mat infrared;
  cv::Mat infraredScratch;
};

RefineWorkspace& ThreadWorkspace() {
  thread_local RefineWorkspace workspace;
  return workspace;
}

cv::Mat SharpeningKernel() {
  return (cv::Mat_<std::int8_t>(3, 3) << 0, -1, 0, -1, 5, -1, 0, -1, 0);
}

// Doubles minus one, three times; 0 (invalid) stays 0. Every step yields an
// odd value, so only the first step can see a 0.
std::uint16_t StretchInfrared(std::uint16_t v) {
  for (int i = 0; i < 3; ++i) {
    if (v != 0) {
      v = static_cast<std::uint16_t>(2U * v - 1U);
    }
  }
  return v;
}

}  // namespace

std::int32_t ImageRefineImpl::GetViewCamera(double* position, double* focalPoint, double* viewUp,
                                            std::int32_t distance) {
  if (position == nullptr || focalPoint == nullptr || viewUp == nullptr) {
    return kInvalidArgument;
  }
  position[0] = 0.0;
  position[1] = 0.0;
  position[2] = -static_cast<double>(distance);
  focalPoint[0] = 0.0;
  focalPoint[1] = 0.0;
  focalPoint[2] = 1.0;
  viewUp[0] = 0.0;
  viewUp[1] = -1.0;
  viewUp[2] = 0.0;
  return kOk;
}

std::int32_t ImageRefineImpl::RefineDepth(std::uint8_t* rgbOut, const std::uint16_t* depth,
                                          std::int32_t width, std::int32_t height,
                                          std::int32_t nearLimit, std::int32_t farLimit) {
  if (rgbOut == nullptr || depth == nullptr || !ValidImageSize(width, height) || farLimit < 1) {
    return kInvalidArgument;
  }
  return Guarded([&] {
    // Read-only view of the caller's buffer; nothing below writes to it.
    RefineWorkspace& ws = ThreadWorkspace();
    const cv::Mat d(height, width, CV_16UC1, const_cast<std::uint16_t*>(depth));
    detail::ColouriseDepth(d, nearLimit, farLimit, ws.colour, ws.rampTable);
    // The sharpened copy only feeds the texture; the blend uses plain colours.
    cv::filter2D(ws.colour, ws.sharpened, -1, SharpeningKernel());
    detail::TexturePattern(ws.sharpened, ws.patternA, ws.textureScratch);
    detail::TexturePattern(d, ws.patternB, ws.textureScratch);
    cv::addWeighted(ws.patternA, 0.5, ws.patternB, 0.5, 0.0, ws.texture);
    detail::BlendTextureToRgb(ws.colour, ws.texture, rgbOut);
  });
}

std::int32_t ImageRefineImpl::RefineDepthWithIr(std::uint8_t* rgbOut,
                                                const std::uint16_t* infrared,
                                                const std::uint16_t* depth, std::int32_t width,
                                                std::int32_t height, std::int32_t nearLimit,
                                                std::int32_t farLimit) {
  if (rgbOut == nullptr || infrared == nullptr || depth == nullptr ||
      !ValidImageSize(width, height) || farLimit < 1) {
    return kInvalidArgument;
  }
  return Guarded([&] {
    RefineWorkspace& ws = ThreadWorkspace();
    const cv::Mat d(height, width, CV_16UC1, const_cast<std::uint16_t*>(depth));
    detail::ColouriseDepth(d, nearLimit, farLimit, ws.colour, ws.rampTable);

    cv::Mat& ir = ws.infrared;
    cv::Mat(height, width, CV_16UC1, const_cast<std::uint16_t*>(infrared)).copyTo(ir);
    detail::IrBlockDeviationFilter(ir, ws.infraredScratch);
    cv::filter2D(ir, ir, CV_16U, SharpeningKernel());
    for (int r = 0; r < ir.rows; ++r) {
      std::uint16_t* row = ir.ptr<std::uint16_t>(r);
      for (int c = 0; c < ir.cols; ++c) {
        row[c] = StretchInfrared(row[c]);
      }
    }
    cv::GaussianBlur(ir, ir, cv::Size(3, 3), 1.5, 0.0);
    ir.convertTo(ir, CV_16U, 3.0);  // rounds and saturates

    // The grey texture goes to all three channels alike, so brightening its
    // single channel equals brightening the three-channel copy.
    detail::TexturePattern(ir, ws.texture, ws.textureScratch);
    detail::AdjustBrightnessBytes(ws.texture.data, ws.texture.total(), 80, 0.5F);
    detail::BlendTextureToRgb(ws.colour, ws.texture, rgbOut);
  });
}

std::int32_t ImageRefineImpl::SetIntrinsics(std::int32_t width, std::int32_t height, float cxIn,
                                            float cyIn, float fxIn, float fyIn, float scaleAIn,
                                            float scaleBIn) {
  if (!SupportedFrameSize(width, height)) {
    return kUnsupportedSize;
  }
  // Stored for the 640 x 480 grid the maps use.
  const float toGrid = width == 320 ? 2.0F : 1.0F;
  cx = cxIn * toGrid;
  cy = cyIn * toGrid;
  fx = fxIn * toGrid;
  fy = fyIn * toGrid;
  scaleA = scaleAIn;
  scaleB = scaleBIn;
  return kOk;
}

std::int32_t ImageRefineImpl::SetDistortion(const DistortionCoefficients* coefficients,
                                            std::uint8_t halfCornerMarginIn,
                                            std::uint8_t iterationUnitsIn) {
  // Zero focal lengths mean no intrinsics yet (or unusable ones): the maps
  // would be divisions by zero.
  if (coefficients == nullptr || fx == 0.0F || fy == 0.0F) {
    return kInvalidArgument;
  }
  if (!undistortMapX || !undistortMapY) {
    std::unique_ptr<float[]> mapX(new (std::nothrow) float[detail::kMapSize]);
    std::unique_ptr<float[]> mapY(new (std::nothrow) float[detail::kMapSize]);
    if (!mapX || !mapY) {
      return kInternalFailure;
    }
    undistortMapX = std::move(mapX);
    undistortMapY = std::move(mapY);
  }
  k1 = coefficients->k1;
  k2 = coefficients->k2;
  p1 = coefficients->p1;
  p2 = coefficients->p2;
  k3 = coefficients->k3;
  halfCornerMargin = halfCornerMarginIn;
  iterationUnits = iterationUnitsIn;
  detail::BuildUndistortMaps(undistortMapX.get(), undistortMapY.get(), {cx, cy, fx, fy},
                             *coefficients, 4 * iterationUnits);
  return kOk;
}

std::int32_t ImageRefineImpl::BuildPointCloud(RefinedPoint* points, const std::uint8_t* colours,
                                              const std::uint16_t* depth, std::int32_t height,
                                              std::int32_t width) {
  // Any size other than the two the intrinsics accept would index past the
  // 640 x 480 maps.
  if (points == nullptr || colours == nullptr || depth == nullptr || !undistortMapX ||
      !undistortMapY || !SupportedFrameSize(width, height)) {
    return kInvalidArgument;
  }
  detail::BackProject(points, colours, depth, height, width, undistortMapX.get(),
                      undistortMapY.get(), halfCornerMargin != 0);
  return kOk;
}

std::int32_t ImageRefineImpl::AdjustBrightness(std::uint8_t* rgb, std::int32_t width,
                                               std::int32_t height, std::int32_t offset,
                                               float gain) {
  if (rgb == nullptr || !ValidImageSize(width, height)) {
    return kInvalidArgument;
  }
  return Guarded([&] {
    detail::AdjustBrightnessBytes(rgb, static_cast<std::size_t>(width) * height * 3, offset,
                                  gain);
  });
}

void ImageRefineImpl::GetVersion(std::string& out) {
  try {
    out = kVersion;
  } catch (const std::exception&) {
    // Out of memory: `out` keeps its previous content.
  }
}

}  // namespace qzapi
