// The SDK's depth colour table and the colouring of depth images with it.
#pragma once

#include <array>
#include <cstdint>

namespace pvx3::detail {

constexpr int kColormapSize = 360;

// 360 R, G, B triples from near (dark red) to far (dark blue).
const std::array<uint8_t, kColormapSize * 3>& colormap_table();

// Colours `count` depth values (mm) into R, G, B triples: values inside
// [near_mm, far_mm] spread over the table, 0 (invalid) and values outside the
// range black, 1 (saturated) purple.
void colourise_depth(const uint16_t* depth, int count, int near_mm, int far_mm, uint8_t* rgb);

}  // namespace pvx3::detail
