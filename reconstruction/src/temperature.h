// Sensor temperature from the raw frame header and the resulting distance drift.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qzapi/reconstruction.h"

namespace qzapi {

// Temperature in degrees Celsius, 0 for device types without a sensor
// reading or when the frame is too short to hold the header words.
float SensorTemperature(int32_t deviceType, const uint16_t* raw, std::size_t rawCount);

struct Drift {
  float d80 = 0.0f;
  float d100 = 0.0f;
};

// Drift of both channels in mm; `tempOffset80/100` are the active block's
// polynomials (device type 4).
Drift TemperatureDrift(int32_t deviceType, float temperature, const FrequencyChannel& first,
                       const FrequencyChannel& second, const float tempOffset80[4], const float tempOffset100[4]);

}  // namespace qzapi
