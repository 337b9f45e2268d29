#include "temperature.h"

namespace qzapi {

float SensorTemperature(int32_t deviceType, const uint16_t* raw, std::size_t rawCount) {
  if (deviceType == 1 || deviceType == 2) {
    if (rawCount <= 190) return 0.0f;
    const int a = raw[188] >> 2;
    const int b = raw[190] >> 2;
    const float code = static_cast<float>(a) * 16.0f * 16.0f + static_cast<float>(b);
    const auto truncated = static_cast<uint16_t>(static_cast<int32_t>(code));
    return 25.0f + (static_cast<float>(truncated) - 296.0f) / 5.4f;
  }
  if (deviceType == 4) {
    if (rawCount <= 28) return 0.0f;
    return static_cast<float>(raw[26] >> 2) + static_cast<float>(raw[28] >> 2) * 0.00390625f;
  }
  return 0.0f;
}

Drift TemperatureDrift(int32_t deviceType, float t, const FrequencyChannel& first, const FrequencyChannel& second,
                       const float tempOffset80[4], const float tempOffset100[4]) {
  Drift d;
  if (deviceType != 1 && deviceType != 2 && deviceType != 4) return d;
  if (t < -15.0f || t > 100.0f) return d;
  const float t2 = t * t;
  const float t3 = t2 * t;
  if (deviceType == 4) {
    d.d80 = tempOffset80[0] * t3 + tempOffset80[1] * t2 + tempOffset80[2] * t + tempOffset80[3];
    d.d100 = tempOffset100[0] * t3 + tempOffset100[1] * t2 + tempOffset100[2] * t + tempOffset100[3];
  } else {
    d.d80 = (3.58724e-8f * t3 + 1.46942e-5f * t2 + 0.00270372f * t - 0.0950557f) * first.millimetresPerRadian;
    d.d100 = (-8.06871e-8f * t3 + 1.67766e-5f * t2 + 0.00550856f * t - 0.178587f) * second.millimetresPerRadian;
  }
  return d;
}

}  // namespace qzapi
