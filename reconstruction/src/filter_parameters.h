// Limits and storage rules of the depth filter parameters, in one place.
#pragma once

#include <cstdint>

#include "qzapi/reconstruction.h"

namespace qzapi {

struct ParameterLimit {
  float minimum;
  float maximum;
};

// Limits of the parameters that are clamped (codes 2, 4, 8, 16, 32, 128, 256;
// the median and Gaussian windows only accept 3 and 5).
constexpr ParameterLimit kAmplitudeLimit{0.0f, 100.0f};
constexpr ParameterLimit kBlockDeviationLimit{20.0f, 200.0f};
constexpr ParameterLimit kRegionSizeLimit{40.0f, 200.0f};
constexpr ParameterLimit kRegionStepLimit{24.0f, 100.0f};
constexpr ParameterLimit kSpikeLimit{10.0f, 100.0f};
constexpr ParameterLimit kFlyingPixelLimit{5.0f, 100.0f};
constexpr ParameterLimit kReservedLimit{0.0f, 100.0f};
constexpr ParameterLimit kMedianWindowLimit{0.0f, 5.0f};
constexpr ParameterLimit kGaussianPassesLimit{0.0f, 5.0f};

// Applies SetFilterParameter's rules; clamped values are written back into
// `values`. Returns the stored value or 0.
int32_t StoreFilterParameter(FilterSettings& settings, int32_t code, float* values, int32_t count);

// GetFilterParameter: `values` receives one or two settings, `count` 1 or 2.
void LoadFilterParameter(const FilterSettings& settings, int32_t code, float* values, int32_t* count);

}  // namespace qzapi
