// Brightness and contrast of 8-bit pixels: v * gain + offset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qzapi::detail {

// One value: v * gain + offset in single precision, rounded to nearest with
// ties to even, clamped to 0..255 (NaN gives 0).
std::uint8_t BrightnessValue(std::uint8_t v, int offset, float gain);

// In place on `count` bytes.
void AdjustBrightnessBytes(std::uint8_t* data, std::size_t count, int offset, float gain);

}  // namespace qzapi::detail
