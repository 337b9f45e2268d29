// Faster steps of the depth-to-colour alignment, each giving the image of
// the OpenCV call it replaces.
#include <algorithm>
#include <cstring>

#include <opencv2/imgproc.hpp>
#include <tessivue/parallel_for.h>

#include "colour_alignment.h"

namespace qzapi {

void BuildNearestMap(const cv::Mat& mapX, const cv::Mat& mapY, cv::Mat& nearest) {
  cv::Mat unused;
  cv::convertMaps(mapX, mapY, nearest, unused, CV_16SC2, true);
}

void BuildSourceOffsets(const cv::Mat& nearest, cv::Size sourceSize, std::vector<int32_t>& offsets) {
  CV_Assert(nearest.type() == CV_16SC2 && 3.0 * sourceSize.area() < 2147483647.0);
  offsets.resize(nearest.total());
  std::size_t i = 0;
  for (int r = 0; r < nearest.rows; ++r) {
    const cv::Vec2s* const row = nearest.ptr<cv::Vec2s>(r);
    for (int c = 0; c < nearest.cols; ++c, ++i) {
      const int x = row[c][0], y = row[c][1];
      const bool inside = x >= 0 && x < sourceSize.width && y >= 0 && y < sourceSize.height;
      offsets[i] = inside ? 3 * (y * sourceSize.width + x) : -1;
    }
  }
}

void RemapNearestBgr(const uint8_t* source, const int32_t* offsets, uint8_t* out, std::size_t pixels) {
  if (pixels == 0) return;
  // Four bytes per pixel, in order, so each store's fourth byte is
  // overwritten by the next pixel; the last pixel is copied as three.
  for (std::size_t i = 0; i + 1 < pixels; ++i) {
    const int32_t at = offsets[i];
    uint32_t bgr = 0;
    if (at >= 0) std::memcpy(&bgr, source + at, 4);
    std::memcpy(out + 3 * i, &bgr, 4);
  }
  const int32_t at = offsets[pixels - 1];
  for (int k = 0; k < 3; ++k) out[3 * (pixels - 1) + k] = at >= 0 ? source[at + k] : 0;
}

void MedianBlur5Sparse(const cv::Mat& src, cv::Mat& dst, const cv::Rect& nonZero, int bands) {
  CV_Assert(src.type() == CV_16UC1 && dst.type() == CV_16UC1 && dst.size() == src.size());
  const cv::Rect image(0, 0, src.cols, src.rows);
  // Outside `out` every 5 x 5 window (edge pixels replicated) holds zeros only.
  const cv::Rect out = nonZero.empty() ? cv::Rect() : (nonZero + cv::Size(4, 4) - cv::Point(2, 2)) & image;
  if (out.empty()) {
    dst.setTo(0);
    return;
  }
  // Zero the frame around `out` (rows above and below, columns beside).
  dst.rowRange(0, out.y).setTo(0);
  dst.rowRange(out.y + out.height, dst.rows).setTo(0);
  dst(cv::Rect(0, out.y, out.x, out.height)).setTo(0);
  dst(cv::Rect(out.x + out.width, out.y, dst.cols - out.x - out.width, out.height)).setTo(0);

  // Each band filters its rows of `out` from a source window two pixels
  // wider on every side. medianBlur replicates the edges of the matrix it is
  // given; the window's edges lie at least two pixels from every output
  // pixel unless they are the image's own edges, so the result is the
  // whole-image filter's.
  bands = std::max(1, std::min(bands, out.height));
  tessivue::parallel_for(
      cv::Range(0, bands),
      [&](const cv::Range& range) {
        for (int b = range.start; b < range.end; ++b) {
          const int r0 = out.y + out.height * b / bands;
          const int r1 = out.y + out.height * (b + 1) / bands;
          if (r1 <= r0) continue;
          const cv::Rect rows(out.x, r0, out.width, r1 - r0);
          const cv::Rect window = (rows + cv::Size(4, 4) - cv::Point(2, 2)) & image;
          cv::Mat filtered;
          cv::medianBlur(src(window), filtered, 5);
          filtered(rows - window.tl()).copyTo(dst(rows));
        }
      },
      bands);
}

}  // namespace qzapi
