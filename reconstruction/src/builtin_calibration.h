// Calibration blocks built into the library for cameras without their own.
#pragma once

#include <cstdint>

#include "qzapi/reconstruction.h"

namespace qzapi {

// Fills `block` with the built-in calibration of device type 1 or 4 (mode 5
// selects the single-frequency variant). Returns false, leaving `block`
// untouched, for device types without built-in values.
bool BuildBuiltInCalibration(int32_t deviceType, int32_t mode, CalibrationBlock& block);

}  // namespace qzapi
