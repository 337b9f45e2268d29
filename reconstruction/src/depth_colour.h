// Depth colour ramp and the built-in 360-entry colour table.
#pragma once

#include <cstdint>

namespace qzapi {

constexpr int32_t kColourTableCount = 360;

// Three bytes per pixel into `rgb` (width x height x 3).
void ColouriseKernel(const uint16_t* depth, uint8_t* rgb, int32_t width, int32_t height, int32_t nearLimit,
                     int32_t farLimit);

// Fills 360 RGB triples (1080 bytes).
void FillColourTable(uint8_t* table);

}  // namespace qzapi
