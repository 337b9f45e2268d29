#include "quality/ir_stats.h"

namespace quality {

ir_stats measure_ir(const image16& ir, const region& r, std::uint16_t saturation) {
  ir_stats s;
  region c = r;
  c.image_width = ir.width;
  c.image_height = ir.height;
  c = clipped(c);
  if (ir.empty() || c.empty()) return s;
  std::uint64_t sum = 0;
  int saturated = 0;
  for (int y = c.y; y < c.y + c.height; ++y) {
    const std::uint16_t* row = ir.row(y);
    for (int x = c.x; x < c.x + c.width; ++x) {
      sum += row[x];
      saturated += row[x] >= saturation ? 1 : 0;
    }
  }
  s.ok = true;
  s.pixels = c.pixels();
  s.mean = static_cast<double>(sum) / s.pixels;
  s.saturated_share = static_cast<double>(saturated) / s.pixels;
  return s;
}

}  // namespace quality
