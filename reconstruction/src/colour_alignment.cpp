#include "colour_alignment.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/calib3d.hpp>

#include "calibration_loader.h"

namespace qzapi {
namespace {

const cv::Matx33d kInitRotation(0.99953992, -0.0016375407, -0.030286304, 0.0019585483, 0.99994219, 0.010572474,
                                0.03026724, -0.010626927, 0.99948535);
const cv::Vec3d kInitTranslation(-43.573035, 0.0019267917, -2.3564301);
const cv::Matx33d kAlignRotation(0.9997647, -0.01876495, -0.01088518, 0.01876177, 0.9998239, -0.0003945971,
                                 0.01089067, 0.0001902789, 0.9999407);
const cv::Vec3d kAlignTranslation(-42.98093, -0.3890187, -0.5919332);

cv::Matx33d CameraMatrix(const LensModel& l) { return cv::Matx33d(l.fx, 0, l.cx, 0, l.fy, l.cy, 0, 0, 1); }

// The splat: offsets (row, column) in the order they are filled.
constexpr int kSplat[11][2] = {{0, -1}, {-1, 0}, {-1, -1}, {0, 1}, {1, -1}, {-1, 1}, {1, 0}, {1, 1}, {-2, -2}, {0, -2}, {-2, 0}};

// Rectangle reached by writes at rows and columns [min, max] and their splat.
cv::Rect SplatReach(int32_t rowMin, int32_t rowMax, int32_t colMin, int32_t colMax, int32_t cw, int32_t ch) {
  if (rowMax < 0) return cv::Rect();
  return cv::Rect(colMin - 2, rowMin - 2, colMax - colMin + 4, rowMax - rowMin + 4) & cv::Rect(0, 0, cw, ch);
}

}  // namespace

cv::Matx33d TweakRotation(const cv::Matx33d& r, const cv::Vec3d& tweak) {
  cv::Vec3d vec;
  cv::Rodrigues(r, vec);
  vec += tweak;
  cv::Matx33d out;
  cv::Rodrigues(vec, out);
  return out;
}

cv::Matx33d AlignmentRotation(const CalibrationBlock& b, bool builtInWhenZero) {
  cv::Matx33d r;
  if (builtInWhenZero) {
    r = b.otherOffset2[0] == 0.0f ? kInitRotation
                                  : cv::Matx33d(b.otherOffset2[0], b.otherOffset2[1], b.otherOffset2[2],
                                                b.otherOffset2[3], b.otherOffset2[4], b.otherOffset2[5],
                                                b.otherOffset2[6], b.otherOffset2[7], b.otherOffset2[8]);
  } else {
    r = b.colourIntrinsics[0] != 0.0f
            ? cv::Matx33d(b.otherOffset2[0], b.otherOffset2[1], b.otherOffset2[2], b.otherOffset2[3],
                          b.otherOffset2[4], b.otherOffset2[5], b.otherOffset2[6], b.otherOffset2[7],
                          b.otherOffset2[8])
            : kAlignRotation;
  }
  return r;
}

cv::Vec3d AlignmentTranslation(const CalibrationBlock& b, bool builtInWhenZero) {
  const cv::Vec3d fromBlock(b.otherOffset3[0], b.otherOffset3[1], b.otherOffset3[2]);
  if (builtInWhenZero) return b.otherOffset3[0] == 0.0f ? kInitTranslation : fromBlock;
  return b.colourIntrinsics[0] != 0.0f ? fromBlock : kAlignTranslation;
}

void BuildUndistortMaps(const LensModel& l, int32_t width, int32_t height, cv::Mat& mapX, cv::Mat& mapY) {
  const cv::Matx33d k = CameraMatrix(l);
  const cv::Matx<double, 1, 5> dist(l.k1, l.k2, l.p1, l.p2, l.k3);
  cv::initUndistortRectifyMap(k, dist, cv::Matx33d::eye(), k, cv::Size(width, height), CV_32FC1, mapX, mapY);
}

void BuildColourTransform(const LensModel& depth, const LensModel& colour, const cv::Matx33d& r, const cv::Vec3d& t,
                          float out[4][4]) {
  // SVD keeps a degenerate depth matrix from throwing.
  const cv::Matx33d depthInverse = CameraMatrix(depth).inv(cv::DECOMP_SVD);
  const cv::Matx33d upper = CameraMatrix(colour) * r * depthInverse;
  const cv::Vec3d last = CameraMatrix(colour) * t;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out[i][j] = static_cast<float>(upper(i, j));
    out[i][3] = static_cast<float>(last[i]);
  }
  out[3][0] = out[3][1] = out[3][2] = 0.0f;
  out[3][3] = 1.0f;
}

ParallaxParameters ParallaxFromBlock(const CalibrationBlock& b) {
  ParallaxParameters p;
  if (ClampCount(b.otherOffset4Count, kMaxTableCount) > 5) {
    p.distanceSplit = b.otherOffset4[3];
    p.addPixelGlobal = b.otherOffset4[4];
    p.distanceToPixel = b.otherOffset4[5];
  }
  return p;
}

CentreDistance MeasureCentreDistance(const uint16_t* depth, int32_t width, int32_t height, double fallback) {
  const int32_t r0 = height / 2, c0 = width / 2;
  int64_t sum = 0;
  CentreDistance out;
  for (int32_t r = std::max(r0 - 1, 0); r <= std::min(r0 + 1, height - 1); ++r) {
    for (int32_t c = std::max(c0 - 1, 0); c <= std::min(c0 + 1, width - 1); ++c) {
      const uint16_t v = depth[static_cast<std::size_t>(r) * width + c];
      if (v > 10) {
        sum += v;
        ++out.count;
      }
    }
  }
  if (out.count < 3) {
    const double f = std::isfinite(fallback) ? std::clamp(fallback, 0.0, 65535.0) : 0.0;
    out.value = static_cast<uint16_t>(f);
  } else {
    out.value = static_cast<uint16_t>(sum / out.count);
  }
  return out;
}

int32_t HorizontalShift(uint16_t c, ParallaxParameters& p) {
  if (c > 10 && c < 800) p.addPixelGlobal += (static_cast<double>(c) - 800.0) * 0.08;
  const double h = c < p.distanceSplit ? (c - p.distanceSplit) * p.distanceToPixel + p.addPixelGlobal
                                       : p.addPixelGlobal;
  // Hostile tuning values must not overflow the conversion.
  if (!std::isfinite(h)) return 0;
  return static_cast<int32_t>(std::clamp(h, -1e6, 1e6));
}

namespace {

// Targets of one depth row: column and row in the colour image of each
// pixel, row -1 when it is not projected. `kb` is the ray table's step (a
// compile-time 1 lets the loop load the rays as vectors). The arithmetic is
// ProjectPixel's, operation for operation, so the targets are the same.
template <int kFixedStep>
void ProjectRow(const ProjectionSetup& s, const uint16_t* zs, const float* rx, const float* ry, std::size_t kbRuntime,
                int32_t cw, int32_t ch, int32_t* cols, int32_t* rows) {
  const std::size_t kb = kFixedStep > 0 ? static_cast<std::size_t>(kFixedStep) : kbRuntime;
  const cv::Matx33d& r = s.rotation;
  const double r00 = r(0, 0), r01 = r(0, 1), r02 = r(0, 2), r10 = r(1, 0), r11 = r(1, 1), r12 = r(1, 2),
               r20 = r(2, 0), r21 = r(2, 1), r22 = r(2, 2);
  const double t0 = s.translation[0], t1 = s.translation[1], t2 = s.translation[2];
  const double fx = s.fx, fy = s.fy, cx = s.cx, cy = s.cy;
  const int32_t shift = s.shift;
  for (int32_t m = 0; m < s.depthWidth; ++m) {
    const uint16_t z = zs[m];
    const double X = static_cast<double>(rx[kb * m]) * z;
    const double Y = static_cast<double>(ry[kb * m]) * z;
    const double Z = z;
    const double px = r00 * X + r01 * Y + r02 * Z + t0;
    const double py = r10 * X + r11 * Y + r12 * Z + t1;
    const double pz = r20 * X + r21 * Y + r22 * Z + t2;
    const double u = px / pz * fx + cx;
    const double v = py / pz * fy + cy;
    const bool finite = (z > 9) & (pz > 0.0) & (u > -1e6) & (u < 1e6) & (v > -1e6) & (v < 1e6);
    const int32_t col = static_cast<int32_t>(finite ? u : 0.0) + shift;
    const int32_t row = static_cast<int32_t>(finite ? v : 0.0);
    const bool inside = finite & (col >= 0) & (col < cw) & (row >= 0) & (row < ch);
    cols[m] = col;
    rows[m] = inside ? row : -1;
  }
}

}  // namespace

void ProjectDepthToColour(const ProjectionSetup& s, cv::Mat& aligned, const cv::Mat* undistorted,
                          cv::Mat* diagnostic, cv::Rect* written) {
  const int32_t cw = aligned.cols, ch = aligned.rows;
  const std::size_t step = aligned.step1();
  uint16_t* const base = aligned.ptr<uint16_t>(0);
  // Per depth row: the targets first, without branches so the arithmetic
  // vectorises, then the writes in pixel order.
  const std::size_t width = static_cast<std::size_t>(std::max(s.depthWidth, 0));
  std::vector<int32_t> targets(2 * width);
  int32_t* const cols = targets.data();
  int32_t* const rows = cols + width;
  const std::size_t kb = static_cast<std::size_t>(s.tableBinning);
  // Bounds of the projected pixels; the splat reaches two rows and columns
  // before them and one after.
  int32_t rowMin = ch, rowMax = -1, colMin = cw, colMax = -1;
  for (int32_t l = 0; l < s.depthHeight; ++l) {
    const uint16_t* const zs = s.depth + static_cast<std::size_t>(l) * s.depthWidth;
    const std::size_t rowBase = kb * kb * width * static_cast<std::size_t>(l);
    if (kb == 1)
      ProjectRow<1>(s, zs, s.rayX + rowBase, s.rayY + rowBase, kb, cw, ch, cols, rows);
    else
      ProjectRow<0>(s, zs, s.rayX + rowBase, s.rayY + rowBase, kb, cw, ch, cols, rows);
    for (int32_t m = 0; m < s.depthWidth; ++m) {
      const int32_t row = rows[m];
      if (row < 0) continue;
      const int32_t col = cols[m];
      const uint16_t z = zs[m];
      if (undistorted && diagnostic) diagnostic->at<cv::Vec3b>(l, m) = undistorted->at<cv::Vec3b>(row, col);
      uint16_t* const at = base + static_cast<std::size_t>(row) * step + col;
      *at = z;
      rowMin = std::min(rowMin, row);
      rowMax = std::max(rowMax, row);
      colMin = std::min(colMin, col);
      colMax = std::max(colMax, col);
      if (col > 1 && col < cw - 2 && row > 1 && row < ch - 2) {
        // Stored unconditionally: a select instead of a branch the
        // predictor misses at every object edge. Addressed from one pointer
        // per row, so every neighbour is a constant displacement.
        uint16_t* const up2 = at - 2 * step;
        uint16_t* const up1 = at - step;
        uint16_t* const down1 = at + step;
        const auto fill = [z](uint16_t& n) { n = n <= 9 ? z : n; };
        fill(at[-1]);
        fill(up1[0]);
        fill(up1[-1]);
        fill(at[1]);
        fill(down1[-1]);
        fill(up1[1]);
        fill(down1[0]);
        fill(down1[1]);
        fill(up2[-2]);
        fill(at[-2]);
        fill(up2[0]);
      }
    }
  }
  if (written) *written = SplatReach(rowMin, rowMax, colMin, colMax, cw, ch);
}

void ProjectDepthToColourReference(const ProjectionSetup& s, cv::Mat& aligned, const cv::Mat* undistorted,
                                   cv::Mat* diagnostic, cv::Rect* written) {
  const int32_t cw = aligned.cols, ch = aligned.rows;
  // Bounds of the projected pixels; the splat reaches two rows and columns
  // before them and one after.
  int32_t rowMin = ch, rowMax = -1, colMin = cw, colMax = -1;
  for (int32_t l = 0; l < s.depthHeight; ++l) {
    for (int32_t m = 0; m < s.depthWidth; ++m) {
      const uint16_t z = s.depth[static_cast<std::size_t>(l) * s.depthWidth + m];
      int32_t row = 0, col = 0;
      if (!ProjectPixel(s, l, m, z, cw, ch, &row, &col)) continue;
      if (undistorted && diagnostic) diagnostic->at<cv::Vec3b>(l, m) = undistorted->at<cv::Vec3b>(row, col);
      aligned.at<uint16_t>(row, col) = z;
      rowMin = std::min(rowMin, row);
      rowMax = std::max(rowMax, row);
      colMin = std::min(colMin, col);
      colMax = std::max(colMax, col);
      if (col > 1 && col < cw - 2 && row > 1 && row < ch - 2) {
        for (const auto& o : kSplat) {
          uint16_t& n = aligned.at<uint16_t>(row + o[0], col + o[1]);
          if (n <= 9) n = z;
        }
      }
    }
  }
  if (written) *written = SplatReach(rowMin, rowMax, colMin, colMax, cw, ch);
}

}  // namespace qzapi
