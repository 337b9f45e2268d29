#pragma once

#include <cstddef>
#include <cstdint>

namespace quality {

// A 16-bit single-channel image the caller owns, read row-major.
// Depth: unit millimetre along the optical axis; 0 = invalid, 1 = saturated.
// IR: amplitude in sensor units (LSB).
// `stride` counts elements (not bytes) from one row to the next.
struct image16 {
  const std::uint16_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;

  bool empty() const { return pixels == nullptr || width <= 0 || height <= 0; }
  const std::uint16_t* row(int y) const { return pixels + y * stride; }
  std::uint16_t at(int x, int y) const { return row(y)[x]; }
};

inline image16 make_image16(const std::uint16_t* pixels, int width, int height) {
  return image16{pixels, width, height, width};
}

// Depth values 0 (no measurement) and 1 (saturated) carry no distance.
constexpr std::uint16_t kFirstValidDepth = 2;
inline bool valid_depth(std::uint16_t d) { return d >= kFirstValidDepth; }

}  // namespace quality
