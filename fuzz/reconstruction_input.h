// The byte layout the reconstruction targets read, and its writer for the
// seed corpora. A 32-byte header, the serial text, the calibration block's
// 1100 four-byte words (F[0..1099], as the host lays them out) and then
// pixel bytes, repeated to fill whatever frame the header asks for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fill.h"
#include "qzapi/reconstruction.h"

namespace fuzz {

struct ReconstructionInput {
  uint8_t initKind = 0;  // 1 Init, 2 InitDefault, anything else InitWithSize
  int8_t deviceType = 1;
  int8_t mode = 0;
  uint8_t operations = 0xff;                 // bit mask, see the targets
  uint16_t width = 16, height = 12;          // initialisation size code
  uint16_t frameWidth = 0, frameHeight = 0;  // 0: the initialised size
  uint8_t filterMode = 1;
  uint8_t orientation = 0;
  uint8_t filterCode = 0;  // index into the filter codes
  float filterValues[2] = {0.0f, 0.0f};
  int32_t frequency1 = 0, frequency2 = 0;
  qzapi::CalibrationBlock block;
  std::vector<uint8_t> pixels;
};

constexpr size_t kHeaderBytes = 32;
constexpr size_t kBlockWordBytes = 4400;
constexpr size_t kMaxSerialBytes = 48;

// False when the input is shorter than the header.
bool Decode(const uint8_t* data, size_t size, ReconstructionInput& out);
std::vector<uint8_t> Encode(const ReconstructionInput& in);

// A size from a 16-bit code: mostly small (1..96, to keep runs fast), and
// for codes from 0xff00 a hostile value (0, negative, above 4096, extremes).
int32_t SizeFromCode(uint16_t code);

// `count` 16-bit samples from the pixel bytes, repeated (zeros when none).
std::vector<uint16_t> Samples(const std::vector<uint8_t>& pixels, size_t count);

}  // namespace fuzz
