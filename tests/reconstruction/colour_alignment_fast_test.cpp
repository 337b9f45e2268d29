// The fast steps of the depth-to-colour alignment give, pixel for pixel,
// what the plain OpenCV calls and the reference path give.
#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "colour_alignment.h"
#include "forward_model.h"
#include "reconstruction_impl.h"

namespace {

using qzapi::CalibrationBlock;
using qzapi::ReconstructionImpl;

// Location and values of the first differing pixel, or "" when equal.
std::string FirstDifference(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return "size or type differ";
  cv::Mat diff;
  cv::absdiff(a, b, diff);
  diff = diff.reshape(1, a.rows);
  std::vector<cv::Point> where;
  cv::findNonZero(diff, where);
  if (where.empty()) return "";
  const cv::Point p(where[0].x / a.channels(), where[0].y);
  return "first difference at (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ") of " +
         std::to_string(where.size()) + " values";
}

TEST(BuildNearestMap, RemapsAsTheFloatMapsDoAndSoDoesTheOffsetTable) {
  // A distorting lens over the colour grid, and hand-made maps with ties,
  // negative and far out-of-range coordinates and NaN.
  const qzapi::LensModel lens{1000.0f, 1000.0f, 960.0f, 540.0f, -0.21f, 0.07f, 0.001f, -0.002f, 0.01f};
  cv::Mat lensX, lensY;
  qzapi::BuildUndistortMaps(lens, 1920, 1080, lensX, lensY);
  cv::Mat odd(7, 9, CV_32FC1), oddY(7, 9, CV_32FC1);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float values[] = {0.5f, 1.5f, 2.5f, -0.5f, -1.5f, 8.49f, 8.5f, 9.5f, 1e6f, -1e6f, nan, 3.0f, 6.5f, 4.4999f};
  for (int i = 0; i < odd.rows * odd.cols; ++i) {
    odd.at<float>(i) = values[i % 14];
    oddY.at<float>(i) = values[(i * 5 + 3) % 14];
  }
  struct Case {
    const char* name;
    cv::Mat x, y;
    cv::Size source;
  };
  for (const Case& c : {Case{"lens 1920x1080", lensX, lensY, {1920, 1080}}, Case{"ties and outliers", odd, oddY, {9, 7}}}) {
    SCOPED_TRACE(c.name);
    cv::Mat source(c.source, CV_8UC3);
    cv::randu(source, 0, 256);
    cv::Mat expected, got, nearest;
    cv::remap(source, expected, c.x, c.y, cv::INTER_NEAREST, cv::BORDER_CONSTANT, cv::Scalar());
    qzapi::BuildNearestMap(c.x, c.y, nearest);
    cv::remap(source, got, nearest, cv::noArray(), cv::INTER_NEAREST, cv::BORDER_CONSTANT, cv::Scalar());
    EXPECT_EQ(FirstDifference(got, expected), "");
    // The offset table: the source with its spare byte, an output full of
    // stale values.
    std::vector<int32_t> offsets;
    qzapi::BuildSourceOffsets(nearest, c.source, offsets);
    std::vector<uint8_t> spare(source.total() * 3 + 1, 0xA5);
    std::memcpy(spare.data(), source.data, source.total() * 3);
    cv::Mat table(c.x.size(), CV_8UC3, cv::Scalar::all(77));
    qzapi::RemapNearestBgr(spare.data(), offsets.data(), table.data, table.total());
    EXPECT_EQ(FirstDifference(table, expected), "") << "offset table";
  }
}

// Random depths (a third of them zero) inside `nonZero`, zero elsewhere.
cv::Mat SparseDepth(cv::Size size, cv::Rect nonZero, unsigned seed) {
  std::mt19937 rng(seed);
  cv::Mat m(size, CV_16UC1, cv::Scalar(0));
  for (int r = nonZero.y; r < nonZero.y + nonZero.height; ++r)
    for (int c = nonZero.x; c < nonZero.x + nonZero.width; ++c)
      m.at<uint16_t>(r, c) = rng() % 3 == 0 ? 0 : static_cast<uint16_t>(rng() % 7600);
  return m;
}

// The row-at-a-time projection against ProjectPixel pixel by pixel: rays
// and depths that land off the image, behind the colour camera, on the
// border rows where the splat stops, on each other, and non-finite rays.
TEST(ProjectDepthToColour, EqualsThePixelByPixelLoop) {
  struct Case {
    const char* name;
    int32_t w, h, binning, shift;
    cv::Vec3d tweak, translation;
    double spread;  // ray slope range: wide ones leave the image
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"colour frame, small rotation", 64, 48, 1, -15, {0.01, -0.02, 0.005}, {-43, 0.4, -2}, 0.4},
      {"binned table, wide rays", 40, 30, 2, 7, {0, 0, 0.3}, {10, -5, 0}, 3.0},
      {"large shift off the right", 32, 24, 1, 1900, {0, 0, 0}, {0, 0, 0}, 0.5},
      {"camera behind the scene", 32, 24, 1, 0, {0, 3.1, 0}, {0, 0, 500}, 0.5},
      // Thousands of pixels within a few colour pixels of each other: their
      // writes and splats land on one another in every order.
      {"dense, overlapping splats", 64, 48, 1, 0, {0, 0, 0}, {0, 0, 0}, 0.01},
      {"dense, binned, shifted", 40, 30, 2, 3, {0.001, 0, 0}, {5, 1, 0}, 0.004},
  };
  std::mt19937 rng(11);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uniform_real_distribution<float> slope(static_cast<float>(-c.spread), static_cast<float>(c.spread));
    const std::size_t table = static_cast<std::size_t>(c.w) * c.h * c.binning * c.binning;
    std::vector<float> rx(table), ry(table);
    for (std::size_t i = 0; i < table; ++i) {
      rx[i] = slope(rng);
      ry[i] = slope(rng);
      if (rng() % 97 == 0) rx[i] = nan;
    }
    std::vector<uint16_t> depth(static_cast<std::size_t>(c.w) * c.h);
    for (auto& d : depth) d = rng() % 7 == 0 ? static_cast<uint16_t>(rng() % 12) : static_cast<uint16_t>(200 + rng() % 6000);
    const qzapi::ProjectionSetup s{depth.data(), c.w, c.h, rx.data(), ry.data(), c.binning,
                                   qzapi::TweakRotation(cv::Matx33d::eye(), c.tweak), c.translation,
                                   1380.5f, 1379.25f, 961.3f, 538.7f, c.shift};
    cv::Mat fast(1080, 1920, CV_16UC1, cv::Scalar(0)), reference = fast.clone();
    cv::Rect fastRect, referenceRect;
    qzapi::ProjectDepthToColour(s, fast, nullptr, nullptr, &fastRect);
    qzapi::ProjectDepthToColourReference(s, reference, nullptr, nullptr, &referenceRect);
    EXPECT_EQ(cv::norm(fast, reference, cv::NORM_INF), 0.0);
    EXPECT_EQ(fastRect, referenceRect);
  }
}

TEST(MedianBlur5Sparse, EqualsTheWholeImageFilter) {
  struct Case {
    const char* name;
    cv::Size size;
    cv::Rect nonZero;
  };
  const Case cases[] = {
      {"1x1", {1, 1}, {0, 0, 1, 1}},
      {"2x2", {2, 2}, {0, 0, 2, 2}},
      {"5x5 single spike", {5, 5}, {2, 2, 1, 1}},
      {"7x13 whole", {7, 13}, {0, 0, 7, 13}},
      {"odd interior", {31, 17}, {9, 4, 11, 6}},
      {"touching the left and top edges", {40, 30}, {0, 0, 12, 9}},
      {"touching the right and bottom edges", {40, 30}, {30, 22, 10, 8}},
      {"one pixel from an edge", {40, 30}, {1, 1, 5, 28}},
      {"nothing written", {40, 30}, {}},
      {"colour frame, projected depth", {1920, 1080}, {233, 61, 1452, 930}},
      {"colour frame, whole", {1920, 1080}, {0, 0, 1920, 1080}},
  };
  unsigned seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const cv::Mat src = SparseDepth(c.size, c.nonZero, seed++);
    cv::Mat expected;
    cv::medianBlur(src, expected, 5);
    for (int bands : {1, 2, 3}) {
      cv::Mat got(c.size, CV_16UC1, cv::Scalar(12345));  // stale values must all go
      qzapi::MedianBlur5Sparse(src, got, c.nonZero, bands);
      EXPECT_EQ(FirstDifference(got, expected), "") << bands << " bands";
    }
  }
}

// A type-4 block with a distorting colour lens, rotated slightly and set 40
// mm beside the depth camera.
CalibrationBlock DistortingColourBlock() {
  CalibrationBlock b = qzr_test::PlainBlock(500.0f, 500.0f, 320.0f, 240.0f);
  const float k[4] = {1000.0f, 1001.0f, 955.0f, 543.0f};
  std::copy(k, k + 4, b.colourIntrinsics);
  const float d[5] = {-0.12f, 0.05f, 0.0007f, -0.0011f, 0.002f};
  std::copy(d, d + 5, b.colourDistCoeffs);
  b.colourWidth = 1920;
  b.colourHeight = 1080;
  const float r[9] = {0.99998f, -0.0052f, 0.0031f, 0.0052f, 0.99998f, 0.0021f, -0.0031f, -0.0021f, 0.99999f};
  std::copy(r, r + 9, b.otherOffset2);
  b.otherOffset3[0] = -40.0f;
  b.otherOffset3[1] = 1.5f;
  return b;
}

struct Aligned {
  std::vector<uint8_t> colour;
  std::vector<uint16_t> depth;
};

Aligned Align(ReconstructionImpl& impl, const std::vector<uint16_t>& depth, const std::vector<uint8_t>& yuyv) {
  auto* buffer = new uint16_t[depth.size()];
  std::copy(depth.begin(), depth.end(), buffer);
  uint8_t* colour = nullptr;
  int32_t w = 0, h = 0;
  impl.AlignDepthToColour(&colour, &buffer, yuyv.data(), 1920, 1080, &w, &h);
  Aligned out;
  if (colour) out.colour.assign(colour, colour + static_cast<std::size_t>(w) * h * 3);
  if (w > 0) out.depth.assign(buffer, buffer + static_cast<std::size_t>(w) * h);
  delete[] colour;
  delete[] buffer;
  return out;
}

TEST(AlignDepthToColour, FastPathEqualsTheReferencePixelForPixel) {
  struct Case {
    const char* name;
    int kind;  // 0 two planes with holes, 1 near plane, 2 no depth, 3 only values <= 9
  };
  const Case cases[] = {{"two planes with holes", 0}, {"near plane (large shift)", 1}, {"no depth", 2}, {"only unprojected values", 3}};
  CalibrationBlock block = DistortingColourBlock();
  ReconstructionImpl fast, reference;
  fast.diagnosticWindowAllowed = reference.diagnosticWindowAllowed = false;
  reference.useReferenceKernels = true;
  ASSERT_EQ(fast.InitWithSize(4, 0, &block, 640, 480), 0);
  ASSERT_EQ(reference.InitWithSize(4, 0, &block, 640, 480), 0);
  std::mt19937 rng(5);
  std::vector<uint8_t> yuyv(static_cast<std::size_t>(1920) * 1080 * 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (auto& v : yuyv) v = static_cast<uint8_t>(rng());
    std::vector<uint16_t> depth(640 * 480, 0);
    for (int r = 0; r < 480; ++r) {
      for (int col = 0; col < 640; ++col) {
        uint16_t& d = depth[static_cast<std::size_t>(r) * 640 + col];
        switch (c.kind) {
          case 0: d = rng() % 10 == 0 ? 0 : static_cast<uint16_t>(col < 320 ? 900 + r : 2400 + col); break;
          case 1: d = static_cast<uint16_t>(400 + rng() % 5); break;
          case 2: d = 0; break;
          default: d = static_cast<uint16_t>(rng() % 10); break;
        }
      }
    }
    // Twice: the fast path's kept working images must not leak into the next frame.
    for (int frame = 0; frame < 2; ++frame) {
      const Aligned a = Align(fast, depth, yuyv);
      const Aligned b = Align(reference, depth, yuyv);
      ASSERT_EQ(a.colour.size(), static_cast<std::size_t>(1920) * 1080 * 3);
      ASSERT_EQ(a.depth.size(), b.depth.size());
      const cv::Mat ca(1080, 1920, CV_8UC3, const_cast<uint8_t*>(a.colour.data()));
      const cv::Mat cb(1080, 1920, CV_8UC3, const_cast<uint8_t*>(b.colour.data()));
      const cv::Mat da(1080, 1920, CV_16UC1, const_cast<uint16_t*>(a.depth.data()));
      const cv::Mat db(1080, 1920, CV_16UC1, const_cast<uint16_t*>(b.depth.data()));
      EXPECT_EQ(FirstDifference(ca, cb), "") << "colour";
      EXPECT_EQ(FirstDifference(da, db), "") << "depth";
      if (c.kind == 0 && frame == 0) {
        EXPECT_GT(cv::countNonZero(da), 100000) << "the case projects depth";
      }
      if (c.kind >= 2) {
        EXPECT_EQ(cv::countNonZero(da), 0);
      }
    }
  }
}

}  // namespace
