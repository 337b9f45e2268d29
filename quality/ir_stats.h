#pragma once

#include <cstdint>

#include "quality/image_view.h"
#include "quality/region.h"

namespace quality {

// The sensor's samples are 10 bits; an IR pixel at 1023 saturated.
constexpr std::uint16_t kIrSaturation = 1023;

struct ir_stats {
  bool ok = false;  // the IR image has the region inside it
  int pixels = 0;
  double mean = 0;             // mean amplitude over all region pixels (LSB)
  double saturated_share = 0;  // share of pixels at or above the saturation value, 0 to 1
};

ir_stats measure_ir(const image16& ir, const region& r,
                    std::uint16_t saturation = kIrSaturation);

}  // namespace quality
