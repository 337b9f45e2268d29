#include "quality/region.h"

#include <algorithm>
#include <cmath>

namespace quality {

region region_from_corners(int x0, int y0, int x1, int y1, int image_width, int image_height) {
  region r;
  r.image_width = std::max(0, image_width);
  r.image_height = std::max(0, image_height);
  if (r.image_width == 0 || r.image_height == 0) return r;
  const int left = std::clamp(std::min(x0, x1), 0, r.image_width - 1);
  const int right = std::clamp(std::max(x0, x1), 0, r.image_width - 1);
  const int top = std::clamp(std::min(y0, y1), 0, r.image_height - 1);
  const int bottom = std::clamp(std::max(y0, y1), 0, r.image_height - 1);
  r.x = left;
  r.y = top;
  r.width = right - left + 1;
  r.height = bottom - top + 1;
  return r;
}

region clipped(const region& r) {
  region out = r;
  const int left = std::max(r.x, 0);
  const int top = std::max(r.y, 0);
  const int right = std::min(r.x + r.width, r.image_width);
  const int bottom = std::min(r.y + r.height, r.image_height);
  out.x = left;
  out.y = top;
  out.width = std::max(0, right - left);
  out.height = std::max(0, bottom - top);
  if (out.width == 0 || out.height == 0) out.width = out.height = 0;
  return out;
}

namespace {

// Edge position e of an axis of length from, carried to length to.
int scale_edge(int e, int from, int to) {
  return static_cast<int>(std::lround(static_cast<double>(e) * to / from));
}

// Scales the span [lo, lo + len) of an axis; keeps at least one pixel.
void scale_span(int lo, int len, int from, int to, int* out_lo, int* out_len) {
  int a = scale_edge(lo, from, to);
  int b = scale_edge(lo + len, from, to);
  a = std::clamp(a, 0, to - 1);
  b = std::clamp(b, a + 1, to);
  *out_lo = a;
  *out_len = b - a;
}

}  // namespace

region scaled(const region& r, int new_width, int new_height) {
  region out;
  out.image_width = std::max(0, new_width);
  out.image_height = std::max(0, new_height);
  const region c = clipped(r);
  if (c.empty() || out.image_width == 0 || out.image_height == 0) return out;
  scale_span(c.x, c.width, c.image_width, out.image_width, &out.x, &out.width);
  scale_span(c.y, c.height, c.image_height, out.image_height, &out.y, &out.height);
  return out;
}

region mirrored(const region& r, bool vertical, bool horizontal) {
  region out = r;
  if (horizontal) out.x = r.image_width - (r.x + r.width);
  if (vertical) out.y = r.image_height - (r.y + r.height);
  return out;
}

}  // namespace quality
