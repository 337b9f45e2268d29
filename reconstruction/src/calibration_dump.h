// The nineteen-line text form of a calibration block.
#pragma once

#include <ostream>

#include "qzapi/reconstruction.h"

namespace qzapi {

void WriteCalibrationText(std::ostream& out, const CalibrationBlock& block);

}  // namespace qzapi
