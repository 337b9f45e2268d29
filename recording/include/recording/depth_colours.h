// Depth coloured as the camera SDK colours it for the viewer (a depth
// frame's render data), for recorded depth: the SDK's colour table spread
// from the near to the far limit of the distance range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace recording {

// The SDK's table (pvx3_get_colormap_table): R, G, B triples, near to far.
std::vector<uint8_t> sdk_colour_table();

// R, G, B bytes per pixel: black for invalid pixels and depth outside the
// limits, (127, 0, 170) for saturated ones (1), else the table entry of the
// depth's place between the limits (the near limit counts from 2 mm).
void colourise_depth(const uint16_t* depth, size_t count, int near_mm, int far_mm,
                     const std::vector<uint8_t>& table, uint8_t* rgb);

}  // namespace recording
