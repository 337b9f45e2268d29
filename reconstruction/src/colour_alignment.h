// Depth-to-colour alignment: colour-camera tables and the projection of depth
// pixels into the undistorted colour image.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "offset_file.h"
#include "pixel_tables.h"
#include "qzapi/reconstruction.h"

namespace qzapi {

// Rotation from otherOffset2 (row-major) with otherOffset4's first three
// entries added to its rotation vector when there are more than two of them.
// `builtInWhenZero` substitutes the built-in rotation/translation of the
// initialisation tables when the block's first value is 0.
cv::Matx33d AlignmentRotation(const CalibrationBlock& block, bool builtInWhenZero);
cv::Vec3d AlignmentTranslation(const CalibrationBlock& block, bool builtInWhenZero);
// Rodrigues(Rodrigues(r) + tweak).
cv::Matx33d TweakRotation(const cv::Matx33d& r, const cv::Vec3d& tweak);

// Undistortion maps (CV_32FC1) of a camera over a grid.
void BuildUndistortMaps(const LensModel& lens, int32_t width, int32_t height, cv::Mat& mapX, cv::Mat& mapY);

// colour K * R * depth K^-1 with colour K * T as last column.
void BuildColourTransform(const LensModel& depth, const LensModel& colour, const cv::Matx33d& r, const cv::Vec3d& t,
                          float out[4][4]);

struct ParallaxParameters {
  double distanceSplit = 2000.0;
  double addPixelGlobal = 10.0;
  double distanceToPixel = 0.025;
};

// otherOffset4 entries 3..5 replace the defaults when it has more than 5.
ParallaxParameters ParallaxFromBlock(const CalibrationBlock& block);

struct CentreDistance {
  int32_t count = 0;
  uint16_t value = 0;
};
// Mean of the values above 10 in the 3 x 3 window at the image centre, or
// `fallback` when fewer than three count.
CentreDistance MeasureCentreDistance(const uint16_t* depth, int32_t width, int32_t height, double fallback);

// Near-range horizontal shift in colour pixels; updates addPixelGlobal.
int32_t HorizontalShift(uint16_t centre, ParallaxParameters& p);

struct ProjectionSetup {
  const uint16_t* depth;  // depthWidth x depthHeight
  int32_t depthWidth;
  int32_t depthHeight;
  const float* rayX;  // grid of tableBinning times the depth size
  const float* rayY;
  int32_t tableBinning;
  cv::Matx33d rotation;
  cv::Vec3d translation;
  float fx, fy, cx, cy;  // colour camera
  int32_t shift;         // horizontal shift, colour pixels
};

// Colour pixel (row, col) that depth pixel (l, m) of depth z lands on, for
// a colour image of cw x ch; false when it is not projected (z <= 9, behind
// the colour camera, off the image).
inline bool ProjectPixel(const ProjectionSetup& s, int32_t l, int32_t m, uint16_t z, int32_t cw, int32_t ch,
                         int32_t* rowOut, int32_t* colOut) {
  if (z <= 9) return false;
  const std::size_t idx =
      static_cast<std::size_t>(s.tableBinning) * (m + static_cast<std::size_t>(s.depthWidth) * l * s.tableBinning);
  const double X = static_cast<double>(s.rayX[idx]) * z;
  const double Y = static_cast<double>(s.rayY[idx]) * z;
  const double Z = z;
  const cv::Matx33d& r = s.rotation;
  const double px = r(0, 0) * X + r(0, 1) * Y + r(0, 2) * Z + s.translation[0];
  const double py = r(1, 0) * X + r(1, 1) * Y + r(1, 2) * Z + s.translation[1];
  const double pz = r(2, 0) * X + r(2, 1) * Y + r(2, 2) * Z + s.translation[2];
  if (!(pz > 0.0)) return false;  // behind the colour camera
  const double u = px / pz * s.fx + s.cx;
  const double v = py / pz * s.fy + s.cy;
  if (!(u > -1e6 && u < 1e6 && v > -1e6 && v < 1e6)) return false;
  const int32_t col = static_cast<int32_t>(u) + s.shift;
  const int32_t row = static_cast<int32_t>(v);
  if (col < 0 || col >= cw || row < 0 || row >= ch) return false;
  *rowOut = row;
  *colOut = col;
  return true;
}

// Writes each projected depth into `aligned` (colour size, CV_16UC1, zeroed
// by the caller) and splats it to the eleven listed neighbours that hold no
// depth above 9. When `undistorted` and `diagnostic` are given, the colour
// each depth pixel lands on is copied into `diagnostic` (depth size, BGR).
// When `written` is given it receives a rectangle holding every pixel
// written (empty when none).
void ProjectDepthToColour(const ProjectionSetup& s, cv::Mat& aligned, const cv::Mat* undistorted,
                          cv::Mat* diagnostic, cv::Rect* written = nullptr);
// The same, pixel by pixel through ProjectPixel: the reference the faster
// loop above is checked against.
void ProjectDepthToColourReference(const ProjectionSetup& s, cv::Mat& aligned, const cv::Mat* undistorted,
                                   cv::Mat* diagnostic, cv::Rect* written = nullptr);

// The fixed-point form (CV_16SC2) of float undistortion maps that
// cv::remap's nearest-neighbour path derives from them block by block on
// every call: remapping with it gives the same image.
void BuildNearestMap(const cv::Mat& mapX, const cv::Mat& mapY, cv::Mat& nearest);

// Byte offset in a continuous B,G,R image of `sourceSize` of the pixel that
// each output pixel takes through `nearest` (BuildNearestMap's form), -1
// where it falls outside (remap's constant border: 0, 0, 0).
void BuildSourceOffsets(const cv::Mat& nearest, cv::Size sourceSize, std::vector<int32_t>& offsets);

// cv::remap(source, out, nearest, noArray(), INTER_NEAREST, BORDER_CONSTANT)
// of a B,G,R image through BuildSourceOffsets' table: `pixels` output pixels
// (B,G,R) from `source`, which must have one readable byte after its last
// pixel (each pixel is copied as four bytes, the fourth overwritten by the
// next pixel).
void RemapNearestBgr(const uint8_t* source, const int32_t* offsets, uint8_t* out, std::size_t pixels);

// cv::medianBlur(src, dst, 5) for a CV_16UC1 `src` that is zero outside
// `nonZero`: pixels more than two away from it are zero without sorting,
// the rest is filtered in `bands` row bands, in parallel when there are
// several. `dst` must be allocated (src's size and type) and must not share
// memory with `src`.
void MedianBlur5Sparse(const cv::Mat& src, cv::Mat& dst, const cv::Rect& nonZero, int bands = 1);

}  // namespace qzapi
