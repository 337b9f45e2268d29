#include "filter_parameters.h"

#include <algorithm>
#include <cmath>

namespace qzapi {
namespace {

float Clamp(float& value, const ParameterLimit& limit) {
  if (std::isnan(value)) value = limit.minimum;
  value = std::clamp(value, limit.minimum, limit.maximum);
  return value;
}

// Settings are 16-bit: out-of-range or non-finite values saturate instead of
// overflowing the conversion.
uint16_t ToSetting(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 65535.0f) return 65535;
  return static_cast<uint16_t>(value);
}

bool IsWindow(float value) { return value == 3.0f || value == 5.0f; }

int32_t StoreClamped(FilterSettings& s, FilterSettings::Index index, float* values, const ParameterLimit& limit) {
  s.values[index] = ToSetting(Clamp(values[0], limit));
  return s.values[index];
}

}  // namespace

int32_t StoreFilterParameter(FilterSettings& s, int32_t code, float* values, int32_t count) {
  if (values == nullptr || count < 1) return 0;
  switch (code) {
    case FilterMedian:
      if (count > 1) {
        Clamp(values[0], kMedianWindowLimit);
        s.values[FilterSettings::MedianPasses] = ToSetting(values[1]);
      }
      if (!IsWindow(values[0])) return 0;
      s.values[FilterSettings::MedianWindow] = ToSetting(values[0]);
      return s.values[FilterSettings::MedianWindow];
    case FilterAmplitude:
      return StoreClamped(s, FilterSettings::AmplitudeThreshold, values, kAmplitudeLimit);
    case FilterBlockDeviation:
      return StoreClamped(s, FilterSettings::BlockDeviation, values, kBlockDeviationLimit);
    case FilterSmallRegion: {
      const int32_t size = StoreClamped(s, FilterSettings::RegionMaxSize, values, kRegionSizeLimit);
      if (count < 2) return size;
      if (values[1] >= kRegionStepLimit.minimum && values[1] <= kRegionStepLimit.maximum) {
        s.values[FilterSettings::RegionMaxStep] = ToSetting(values[1]);
        return s.values[FilterSettings::RegionMaxStep];
      }
      return 4;
    }
    case FilterSpike:
      return StoreClamped(s, FilterSettings::SpikeValue, values, kSpikeLimit);
    case FilterFlyingPixel:
      return StoreClamped(s, FilterSettings::FlyingPixelFactor, values, kFlyingPixelLimit);
    case FilterGaussian:
      // The passes are only read when the caller passed them.
      if (count >= 2 && (count == 2 || values[1] != 0.0f)) {
        s.values[FilterSettings::GaussianPasses] = ToSetting(Clamp(values[1], kGaussianPassesLimit));
      }
      if (!IsWindow(values[0])) return 0;
      s.values[FilterSettings::GaussianWindow] = ToSetting(values[0]);
      return s.values[FilterSettings::GaussianWindow];
    case FilterReserved128:
      return StoreClamped(s, FilterSettings::Value128, values, kReservedLimit);
    case FilterReserved256:
      return StoreClamped(s, FilterSettings::Value256, values, kReservedLimit);
    default:
      return 0;
  }
}

void LoadFilterParameter(const FilterSettings& s, int32_t code, float* values, int32_t* count) {
  auto put = [&](int32_t n, FilterSettings::Index first, FilterSettings::Index second) {
    if (count) *count = n;
    if (!values) return;
    values[0] = s.values[first];
    if (n > 1) values[1] = s.values[second];
  };
  switch (code) {
    case FilterMedian: return put(2, FilterSettings::MedianWindow, FilterSettings::MedianPasses);
    case FilterSmallRegion: return put(2, FilterSettings::RegionMaxSize, FilterSettings::RegionMaxStep);
    case FilterGaussian: return put(2, FilterSettings::GaussianWindow, FilterSettings::GaussianPasses);
    case FilterAmplitude: return put(1, FilterSettings::AmplitudeThreshold, FilterSettings::AmplitudeThreshold);
    case FilterBlockDeviation: return put(1, FilterSettings::BlockDeviation, FilterSettings::BlockDeviation);
    case FilterSpike: return put(1, FilterSettings::SpikeValue, FilterSettings::SpikeValue);
    case FilterFlyingPixel: return put(1, FilterSettings::FlyingPixelFactor, FilterSettings::FlyingPixelFactor);
    case FilterReserved128: return put(1, FilterSettings::Value128, FilterSettings::Value128);
    case FilterReserved256: return put(1, FilterSettings::Value256, FilterSettings::Value256);
    default:
      if (count) *count = 1;
  }
}

}  // namespace qzapi
