#include "quality/temporal_noise.h"

#include <algorithm>
#include <cmath>

namespace quality {

namespace {

constexpr int kMaxWindow = 255;  // per-pixel counts are bytes

// 1 / (k (k - 1)) for every count k of samples a pixel can hold.
struct inverse_table {
  double value[kMaxWindow + 1];
  inverse_table() {
    value[0] = value[1] = 0.0;
    for (int k = 2; k <= kMaxWindow; ++k) value[k] = 1.0 / (static_cast<double>(k) * (k - 1));
  }
};
const inverse_table kInverse;

// Sample deviation of k samples from their sum and sum of squares:
// k * sum_sq - sum^2 is exact in 63 bits (k <= 255, samples <= 65535).
double pixel_std(std::uint64_t k, std::uint64_t sum, std::uint64_t sum_sq) {
  const auto num = static_cast<std::int64_t>(k * sum_sq - sum * sum);
  return std::sqrt(static_cast<double>(num) * kInverse.value[k]);
}

}  // namespace

temporal_noise::temporal_noise(int window) : window_(std::clamp(window, 2, kMaxWindow)) {
  reset();
}

void temporal_noise::set_window(int window) {
  window_ = std::clamp(window, 2, kMaxWindow);
  reset();
}

void temporal_noise::reset() {
  region_ = region();
  frames_ = 0;
  next_ = 0;
  ring_.clear();
  count_.clear();
  sum_.clear();
  sum_sq_.clear();
  last_ = summary(0.0, 0);
}

temporal_result temporal_noise::add(const image16& depth, const region& r) {
  region c = r;
  c.image_width = depth.width;
  c.image_height = depth.height;
  c = clipped(c);
  if (depth.empty() || c.empty()) {
    reset();
    return result();
  }
  if (c != region_) {
    reset();
    region_ = c;
    const std::size_t n = static_cast<std::size_t>(c.pixels());
    ring_.assign(n * window_, 0);
    count_.assign(n, 0);
    sum_.assign(n, 0);
    sum_sq_.assign(n, 0);
  }
  const std::size_t n = count_.size();
  std::uint16_t* slot = ring_.data() + static_cast<std::size_t>(next_) * n;
  const bool full = frames_ == window_;
  // One pass: each pixel drops the sample leaving the window, takes the new
  // one and adds its deviation to the region's total.
  double total = 0;
  int used = 0;
  std::size_t i = 0;
  for (int y = c.y; y < c.y + c.height; ++y) {
    const std::uint16_t* row = depth.row(y) + c.x;
    for (int x = 0; x < c.width; ++x, ++i) {
      if (full) {
        const std::uint16_t old = slot[i];
        if (valid_depth(old)) {
          --count_[i];
          sum_[i] -= old;
          sum_sq_[i] -= static_cast<std::uint64_t>(old) * old;
        }
      }
      const std::uint16_t d = row[x];
      slot[i] = d;
      if (valid_depth(d)) {
        ++count_[i];
        sum_[i] += d;
        sum_sq_[i] += static_cast<std::uint64_t>(d) * d;
      }
      const std::uint64_t k = count_[i];
      if (k >= 2) {
        total += pixel_std(k, sum_[i], sum_sq_[i]);
        ++used;
      }
    }
  }
  next_ = (next_ + 1) % window_;
  frames_ = std::min(frames_ + 1, window_);
  last_ = summary(total, used);
  return last_;
}

temporal_result temporal_noise::result() const { return last_; }

temporal_result temporal_noise::summary(double total, int used) const {
  temporal_result t;
  t.frames = frames_;
  t.window = window_;
  if (frames_ < 2) return t;
  t.pixels = used;
  t.ok = used > 0;
  t.std_mm = used > 0 ? total / used : 0.0;
  return t;
}

}  // namespace quality
