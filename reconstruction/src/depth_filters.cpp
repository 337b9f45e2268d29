#include "depth_filters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace qzapi {
namespace {

// Windows the 16-bit OpenCV filters accept.
bool ValidWindow(int32_t window) { return window == 3 || window == 5; }

}  // namespace

void MedianFilter(uint16_t* depth, int32_t width, int32_t height, int32_t window, int32_t passes) {
  if (!ValidWindow(window)) return;
  cv::Mat image(height, width, CV_16UC1, depth);
  cv::Mat filtered;
  for (int32_t k = 0; k < passes; ++k) {
    cv::medianBlur(image, filtered, window);
    filtered.copyTo(image);
  }
}

void GaussianFilter(uint16_t* depth, int32_t width, int32_t height, int32_t window, int32_t passes) {
  if (!ValidWindow(window)) return;
  cv::Mat image(height, width, CV_16UC1, depth);
  cv::Mat filtered;
  for (int32_t k = 0; k < passes; ++k) {
    cv::GaussianBlur(image, filtered, cv::Size(window, window), 0.0, 0.0, cv::BORDER_DEFAULT);
    filtered.copyTo(image);
  }
}

// Scan order on the image as it is being modified: a cleared pixel takes part
// in the blocks that follow it.
void BlockDeviationFilter(uint16_t* depth, int32_t width, int32_t height, int32_t threshold) {
  const int64_t limit = (static_cast<int64_t>(threshold) + 1) * (static_cast<int64_t>(threshold) + 1);
  for (int32_t r = 2; r <= height - 2; ++r) {
    uint16_t* row = depth + static_cast<std::size_t>(r) * width;
    const uint16_t* next = row + width;
    for (int32_t c = 0; c <= width - 2; ++c) {
      const int32_t a = row[c], b = row[c + 1], e = next[c], g = next[c + 1];
      const int32_t m = (a + b + e + g) / 4;
      const int64_t squares = static_cast<int64_t>(a - m) * (a - m) + static_cast<int64_t>(b - m) * (b - m) +
                              static_cast<int64_t>(e - m) * (e - m) + static_cast<int64_t>(g - m) * (g - m);
      // floor(sqrt(squares)) > t exactly when squares >= (t + 1)^2: no root needed.
      if (squares >= limit) row[c] = 0;
    }
  }
}

void SmallRegionFilter(uint16_t* depth, int32_t width, int32_t height, int32_t maxSize, int32_t maxStep) {
  const std::size_t n = static_cast<std::size_t>(width) * height;
  std::vector<uint8_t> labelled(n, 0);
  std::vector<uint32_t> stack;  // packed (row << 16) | column
  std::vector<std::size_t> region;
  stack.reserve(1024);
  region.reserve(1024);
  auto pack = [](int32_t r, int32_t c) { return (static_cast<uint32_t>(r) << 16) | static_cast<uint32_t>(c); };
  for (int32_t r0 = 0; r0 < height; ++r0) {
    for (int32_t c0 = 0; c0 < width; ++c0) {
      const std::size_t seed = static_cast<std::size_t>(r0) * width + c0;
      if (depth[seed] == 0 || labelled[seed]) continue;
      labelled[seed] = 1;
      region.clear();
      stack.clear();
      stack.push_back(pack(r0, c0));
      while (!stack.empty()) {
        const uint32_t top = stack.back();
        stack.pop_back();
        const int32_t r = static_cast<int32_t>(top >> 16);
        const int32_t c = static_cast<int32_t>(top & 0xFFFFu);
        const std::size_t at = static_cast<std::size_t>(r) * width + c;
        region.push_back(at);
        const int32_t value = depth[at];
        const int32_t dr[4] = {-1, 1, 0, 0};
        const int32_t dc[4] = {0, 0, -1, 1};
        for (int k = 0; k < 4; ++k) {
          const int32_t nr = r + dr[k], nc = c + dc[k];
          if (nr < 0 || nr >= height || nc < 0 || nc >= width) continue;
          const std::size_t ni = static_cast<std::size_t>(nr) * width + nc;
          if (depth[ni] == 0 || labelled[ni] || std::abs(depth[ni] - value) > maxStep) continue;
          labelled[ni] = 1;
          stack.push_back(pack(nr, nc));
        }
      }
      if (static_cast<int64_t>(region.size()) <= maxSize) {
        for (const std::size_t at : region) depth[at] = 0;
      }
    }
  }
}

namespace {

// One spike pass over `count` values `stride` apart; neighbours are read from
// the values before the pass. Invalid (0) neighbours never make a spike.
void SpikeLine(uint16_t* line, int32_t count, std::ptrdiff_t stride, std::vector<uint16_t>& before) {
  before.resize(static_cast<std::size_t>(count));
  for (int32_t k = 0; k < count; ++k) before[k] = line[k * stride];
  for (int32_t k = 0; k + 1 < count; ++k) {
    const int64_t cur = before[k];
    const int64_t next = before[k + 1];
    const int64_t prev = k > 0 ? before[k - 1] : 0;
    const int64_t c = (cur == 0 || next == 0) ? 0 : cur - next;
    const int64_t d = (k == 0 || cur == 0 || prev == 0) ? 0 : cur - prev;
    if (d * c > 0) line[k * stride] = static_cast<uint16_t>((prev + next) / 2);
  }
}

}  // namespace

void SpikeFilter(uint16_t* depth, int32_t width, int32_t height) {
  std::vector<uint16_t> before;
  for (int32_t r = 0; r < height; ++r) SpikeLine(depth + static_cast<std::size_t>(r) * width, width, 1, before);
  for (int32_t c = 0; c < width; ++c) SpikeLine(depth + c, height, width, before);
}

void FlyingPixelFilter(uint16_t* depth, int32_t width, int32_t height, int32_t factor) {
  const std::size_t n = static_cast<std::size_t>(width) * height;
  std::vector<uint16_t> average(n, 0);
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const int32_t centre = depth[static_cast<std::size_t>(r) * width + c];
      uint16_t sum = 0;  // deliberately 16-bit, as the filter was tuned with it
      int32_t count = 0;
      if (centre != 0) {
        for (int32_t nr = std::max(r - 1, 0); nr <= std::min(r + 1, height - 1); ++nr) {
          for (int32_t nc = std::max(c - 1, 0); nc <= std::min(c + 1, width - 1); ++nc) {
            const int32_t v = depth[static_cast<std::size_t>(nr) * width + nc];
            if (v == 0) continue;
            sum = static_cast<uint16_t>(sum + std::abs(centre - v));
            ++count;
          }
        }
      }
      average[static_cast<std::size_t>(r) * width + c] = count ? static_cast<uint16_t>(sum / count) : 0;
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (static_cast<int64_t>(factor) * depth[i] / 500 < average[i]) depth[i] = 0;
  }
}

}  // namespace qzapi
