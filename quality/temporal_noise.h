#pragma once

#include <cstdint>
#include <vector>

#include "quality/image_view.h"
#include "quality/region.h"

namespace quality {

constexpr int kDefaultTemporalWindow = 30;

struct temporal_result {
  int frames = 0;  // frames in the window (up to the window size)
  int window = 0;  // the window size N
  // Pixels with at least two valid samples in the window; only they count.
  int pixels = 0;
  bool ok = false;    // frames >= 2 and pixels > 0
  double std_mm = 0;  // mean over those pixels of their temporal standard deviation
};

// Per-pixel standard deviation of the depth over the last N frames, averaged
// over a region: the temporal noise.
//
// Invalid samples (depth 0 or 1) are left out of a pixel's statistics rather
// than counted as zero, which would turn every dropout into a metre-sized
// "noise". A pixel contributes once it holds two valid samples, with the
// sample standard deviation (n - 1) of its valid samples; the share of
// dropouts shows in the spatial fill rate instead.
//
// Each frame costs one pass over the region: the pixel's sums are updated
// with the new sample and the sample that leaves the window, in exact
// integer arithmetic. A different region or image size restarts the window.
class temporal_noise {
 public:
  explicit temporal_noise(int window = kDefaultTemporalWindow);

  void set_window(int window);  // at least 2; restarts
  int window() const { return window_; }
  void reset();

  // Adds the region's pixels of one frame and returns the noise so far.
  temporal_result add(const image16& depth, const region& r);
  temporal_result result() const;

 private:
  temporal_result summary(double total, int used) const;

  int window_;
  region region_;  // clipped region the buffers belong to
  int frames_ = 0;
  int next_ = 0;                     // ring slot the next frame goes to
  std::vector<std::uint16_t> ring_;  // window_ x pixels samples
  std::vector<std::uint8_t> count_;  // valid samples per pixel
  std::vector<std::uint32_t> sum_;   // of valid samples
  std::vector<std::uint64_t> sum_sq_;
  temporal_result last_;
};

}  // namespace quality
