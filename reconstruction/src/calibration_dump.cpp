#include "calibration_dump.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "calibration_loader.h"

namespace qzapi {
namespace {

// Floats in the library's fixed six-decimal form, items joined by ",".
void WriteFloats(std::ostream& out, const float* values, int32_t count) {
  for (int32_t k = 0; k < count; ++k) {
    if (k) out << ',';
    out << std::to_string(values[k]);
  }
}

// Blocks come from the host unchecked: a value outside long long (or NaN)
// must not reach the conversion, which would be undefined. Such a value is
// already whole, so it is written exactly; NaN and infinities as to_string
// writes them.
void WriteTruncatedValue(std::ostream& out, float v) {
  constexpr float kLimit = 9223372036854775808.0f;  // 2^63
  if (v >= -kLimit && v < kLimit) {
    out << static_cast<long long>(v);
  } else if (std::isnan(v)) {
    out << "nan";
  } else if (std::isinf(v)) {
    out << (v < 0 ? "-inf" : "inf");
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(v));
    out << text;
  }
}

void WriteTruncated(std::ostream& out, const float* values, int32_t count) {
  for (int32_t k = 0; k < count; ++k) {
    if (k) out << ',';
    WriteTruncatedValue(out, values[k]);
  }
}

}  // namespace

void WriteCalibrationText(std::ostream& out, const CalibrationBlock& b) {
  const float* k = b.depthIntrinsics;
  out << "cameraMatrix = { " << std::to_string(k[0]) << ",0," << std::to_string(k[2]) << ",0,"
      << std::to_string(k[1]) << ',' << std::to_string(k[3]) << ",0,0,1}\n";
  out << "distCoeffs= { ";
  WriteFloats(out, b.distCoeffs, 5);
  out << "}\n";
  out << "globalOffset80 = { " << std::to_string(b.globalOffset80) << "}\n";
  out << "globalOffset100 = { " << std::to_string(b.globalOffset100) << "}\n";
  out << "wigglingError80 = { ";
  WriteTruncated(out, b.wigglingError80, ClampCount(b.wigglingError80Count, kMaxTableCount));
  out << "}\n";
  out << "wigglingError100 = { ";
  WriteTruncated(out, b.wigglingError100, ClampCount(b.wigglingError100Count, kMaxTableCount));
  out << "}\n";
  out << "fitting80 = { ";
  WriteFloats(out, b.fitting80, 6);
  out << "}\n";
  out << "fitting100 = { ";
  WriteFloats(out, b.fitting100, 6);
  out << "}\n";
  out << "tempOffset80 = { ";
  WriteFloats(out, b.tempOffset80, 4);
  out << "}\n";
  out << "tempOffset100 = { ";
  WriteFloats(out, b.tempOffset100, 4);
  out << "}\n";
  out << "serialNumber = { " << b.serialNumber << " }\n";
  out << "depthOffset = { " << b.depthOffset << " }\n";
  out << "fittingOffset80 = {";
  WriteFloats(out, b.fittingOffset80, 6);
  out << "}\n";
  out << "fittingOffset100 = {";
  WriteFloats(out, b.fittingOffset100, 6);
  out << "}\n";
  out << "otherOffset1 = {";
  WriteFloats(out, b.colourIntrinsics, 4);
  out << ',';
  WriteFloats(out, b.colourDistCoeffs, 5);
  out << "}\n";
  out << "otherOffset2 = {";
  WriteFloats(out, b.otherOffset2, 9);
  out << "}\n";
  out << "otherOffset3 = {";
  WriteFloats(out, b.otherOffset3, 3);
  out << "}\n";
  out << "otherOffset4 = {";
  WriteFloats(out, b.otherOffset4, ClampCount(b.otherOffset4Count, kMaxTableCount));
  out << "}\n";
  out << "otherOffset5 = {";
  WriteFloats(out, b.otherOffset5, ClampCount(b.otherOffset5Count, kMaxTableCount));
  out << "}\n";
}

}  // namespace qzapi
