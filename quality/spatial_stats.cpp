#include "quality/spatial_stats.h"

#include <algorithm>
#include <cmath>

namespace quality {

namespace {

// The values at sorted positions lo and hi (lo <= hi) of the valid pixels.
// Depths of a region usually span a narrow range, so a histogram over
// [min, max] finds them in two linear passes; a wide spread falls back to
// selection on a copy.
void middle_values(const image16& depth, const region& c, int lo_value, int hi_value, int count,
                   spatial_workspace* ws, double* lower, double* upper) {
  const std::size_t lo_pos = static_cast<std::size_t>(count - 1) / 2;
  const std::size_t hi_pos = static_cast<std::size_t>(count) / 2;
  const std::size_t span = static_cast<std::size_t>(hi_value - lo_value) + 1;
  if (span <= std::max<std::size_t>(4096, 4 * static_cast<std::size_t>(count))) {
    auto& h = ws->histogram;
    h.assign(span, 0);
    for (int y = c.y; y < c.y + c.height; ++y) {
      const std::uint16_t* row = depth.row(y);
      for (int x = c.x; x < c.x + c.width; ++x)
        if (valid_depth(row[x])) ++h[row[x] - lo_value];
    }
    std::size_t seen = 0;
    bool have_lower = false;
    for (std::size_t b = 0; b < span; ++b) {
      seen += h[b];
      if (!have_lower && seen > lo_pos) {
        *lower = static_cast<double>(lo_value + b);
        have_lower = true;
      }
      if (seen > hi_pos) {
        *upper = static_cast<double>(lo_value + b);
        return;
      }
    }
    return;
  }
  auto& v = ws->values;
  v.clear();
  for (int y = c.y; y < c.y + c.height; ++y) {
    const std::uint16_t* row = depth.row(y);
    for (int x = c.x; x < c.x + c.width; ++x)
      if (valid_depth(row[x])) v.push_back(row[x]);
  }
  std::nth_element(v.begin(), v.begin() + hi_pos, v.end());
  *upper = v[hi_pos];
  *lower = lo_pos == hi_pos ? *upper : *std::max_element(v.begin(), v.begin() + hi_pos);
}

}  // namespace

spatial_stats measure_spatial(const image16& depth, const region& r, spatial_workspace* workspace) {
  spatial_stats s;
  region c = r;
  c.image_width = depth.width;
  c.image_height = depth.height;
  c = clipped(c);
  if (depth.empty() || c.empty()) return s;
  s.pixels = c.pixels();
  // Integer sums are exact: 65535^2 * 2^31 pixels stays inside 64 bits.
  std::uint64_t sum = 0, sum_sq = 0;
  int lo = 65535, hi = 0, valid = 0;
  for (int y = c.y; y < c.y + c.height; ++y) {
    const std::uint16_t* row = depth.row(y);
    for (int x = c.x; x < c.x + c.width; ++x) {
      const std::uint16_t d = row[x];
      if (!valid_depth(d)) {
        if (d == 1) ++s.saturated;
        continue;
      }
      ++valid;
      sum += d;
      sum_sq += static_cast<std::uint64_t>(d) * d;
      lo = std::min<int>(lo, d);
      hi = std::max<int>(hi, d);
    }
  }
  s.valid = valid;
  s.valid_share = static_cast<double>(s.valid) / s.pixels;
  if (s.valid == 0) return s;
  s.mean_mm = static_cast<double>(sum) / s.valid;
  s.min_mm = lo;
  s.max_mm = hi;
  if (s.valid > 1) {
    // n * sum_sq - sum^2, exact in 128 bits.
    const unsigned __int128 num = static_cast<unsigned __int128>(sum_sq) * s.valid -
                                  static_cast<unsigned __int128>(sum) * sum;
    const double var = static_cast<double>(num) /
                       (static_cast<double>(s.valid) * static_cast<double>(s.valid - 1));
    s.std_mm = std::sqrt(var);
  }
  spatial_workspace local;
  double lower = 0, upper = 0;
  middle_values(depth, c, lo, hi, s.valid, workspace != nullptr ? workspace : &local, &lower,
                &upper);
  s.median_mm = 0.5 * (lower + upper);
  return s;
}

}  // namespace quality
