#include "depth_colour.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace qzapi {
namespace {

void RampColour(int64_t f, uint8_t* px) {
  if (f >= 0 && f <= 128) {
    px[0] = static_cast<uint8_t>(127 + f), px[1] = 0, px[2] = 0;
  } else if (f >= 129 && f <= 383) {
    px[0] = 255, px[1] = static_cast<uint8_t>(f - 128), px[2] = 0;
  } else if (f >= 384 && f <= 638) {
    px[0] = static_cast<uint8_t>(638 - f), px[1] = 255, px[2] = static_cast<uint8_t>(f - 383);
  } else if (f >= 639 && f <= 893) {
    px[0] = 0, px[1] = static_cast<uint8_t>(893 - f), px[2] = 255;
  } else {
    px[0] = 0, px[1] = 0, px[2] = 128;
  }
}

}  // namespace

void ColouriseKernel(const uint16_t* depth, uint8_t* rgb, int32_t width, int32_t height, int32_t nearLimit,
                     int32_t farLimit) {
  const std::size_t n = static_cast<std::size_t>(width) * height;
  for (std::size_t i = 0; i < n; ++i) {
    const int64_t d = depth[i];
    uint8_t* px = rgb + 3 * i;
    if (d == 0) {
      px[0] = px[1] = px[2] = 0;
      continue;
    }
    if (d == 1) {
      px[0] = 127, px[1] = 0, px[2] = 170;
      continue;
    }
    const int64_t lo = std::min<int64_t>(nearLimit, d);
    const int64_t hi = std::max<int64_t>(farLimit, d);
    // hi == lo has no ramp position: it falls into the "undefined" colour.
    const double q = static_cast<double>(d - lo) / static_cast<double>(hi - lo) * 1021.0;
    const int64_t f = std::isfinite(q) ? static_cast<int64_t>(q) : -1;
    RampColour(f, px);
  }
}

void FillColourTable(uint8_t* table) {
  // Piecewise-linear ramp: dark red, red, yellow, cyan, blue, dark blue.
  constexpr double kSlope = 2.8;
  constexpr double kRedFall = 137.5;                      // red starts falling
  constexpr double kRedZero = kRedFall + 255.0 / kSlope;  // and reaches 0
  constexpr double kGreenRise = 120.0 - 207.0 / kSlope;   // green leaves 0
  constexpr double kBlueFall = 320.0;                     // blue starts darkening
  for (int32_t k = 0; k < kColourTableCount; ++k) {
    const double x = k;
    const double r = x < 44.0 ? 128.0 + 127.0 / 44.0 * x : 255.0 - kSlope * (x - kRedFall);
    const double g = x < kRedZero ? kSlope * (x - kGreenRise) : 255.0 - kSlope * (x - kRedZero);
    const double b = x < kBlueFall ? kSlope * (x - kRedFall) : 255.0 - 112.0 / 39.0 * (x - kBlueFall);
    auto byte = [](double v) { return static_cast<uint8_t>(std::clamp<long>(std::lround(v), 0, 255)); };
    table[3 * k + 0] = byte(r);
    table[3 * k + 1] = byte(g);
    table[3 * k + 2] = byte(b);
  }
}

}  // namespace qzapi
