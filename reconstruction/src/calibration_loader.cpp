#include "calibration_loader.h"

#include <algorithm>
#include <cmath>

namespace qzapi {
namespace {

constexpr double kLightSpeed = 3e8;
constexpr double kFourPi = 12.566370612;
// Frequencies from otherOffset5 outside this window are ignored: they would
// give ranges that overflow or divide by zero.
constexpr double kMinFrequencyHz = 1e6;
constexpr double kMaxFrequencyHz = 2e9;

float SanitiseTableValue(float v) {
  if (!std::isfinite(v)) return 0.0f;
  return std::clamp(v, -65535.0f, 65535.0f);
}

}  // namespace

int32_t ClampCount(int32_t count, int32_t capacity) { return std::clamp(count, 0, capacity); }

int32_t ChannelRange(int32_t frequency) {
  if (frequency <= 0) return 0;
  return static_cast<int32_t>(kLightSpeed / (2.0 * frequency) * 1000.0);
}

float MillimetresPerRadian(int32_t frequency) {
  if (frequency <= 0) return 0.0f;
  return static_cast<float>(kLightSpeed / (kFourPi * frequency) * 1000.0);
}

float OffsetToMillimetres(float offset) {
  if (!std::isfinite(offset)) return 0.0f;
  return std::fabs(offset) < 100.0f ? offset * 1000.0f : offset;
}

void ResetChannel(FrequencyChannel& channel) { channel = FrequencyChannel{}; }

void FillChannel(FrequencyChannel& channel, const ChannelSource& s) {
  channel.frequency = s.frequency;
  channel.range = ChannelRange(s.frequency);
  channel.millimetresPerRadian = MillimetresPerRadian(s.frequency);
  const int32_t n = ClampCount(s.wigglingCount, kMaxWigglingCount);
  channel.tableCount = n;
  channel.globalOffset = OffsetToMillimetres(s.globalOffset);
  std::fill(std::begin(channel.wiggling), std::end(channel.wiggling), 0.0f);
  for (int32_t k = 0; k < n; ++k) {
    const float v = SanitiseTableValue(s.wiggling[k]);
    channel.wiggling[k] = v;
    channel.wiggling[k + n] = v;
  }
  std::copy(s.fitting, s.fitting + 6, channel.fitting);
  std::copy(s.temperature, s.temperature + 4, channel.temperatureCoefficients);
  channel.tableStep = n < 21 ? 0.01f : 0.02f;
  channel.serial = s.serial ? *s.serial : std::string();
  channel.gain = std::isfinite(s.gain) ? s.gain : 1.0f;
}

ChannelPlan PlanChannels(int32_t deviceType, int32_t mode, bool fromInit, const CalibrationBlock& block) {
  ChannelPlan plan;
  if (mode == 5) {
    if (deviceType == 4) {
      plan.frequency80 = plan.frequency100 = 28000000;
      plan.gain80 = plan.gain100 = fromInit ? 1.023288f : 0.977242f;
    } else if (deviceType == 1) {
      plan.frequency80 = plan.frequency100 = 40000000;
    }
  }
  const int32_t count5 = ClampCount(block.otherOffset5Count, kMaxTableCount);
  if (count5 > 1 && block.otherOffset5[0] != 0.0f && block.otherOffset5[1] != 0.0f) {
    const double f1 = static_cast<double>(block.otherOffset5[0]) * 1e6;
    const double f2 = static_cast<double>(block.otherOffset5[1]) * 1e6;
    if (f1 >= kMinFrequencyHz && f1 <= kMaxFrequencyHz && f2 >= kMinFrequencyHz && f2 <= kMaxFrequencyHz) {
      plan.frequency80 = static_cast<int32_t>(f1);
      plan.frequency100 = static_cast<int32_t>(f2);
    }
  }
  if (count5 > 3) {
    plan.gain80 = block.otherOffset5[2];
    plan.gain100 = block.otherOffset5[3];
  }
  // A zero or non-finite scale has no reciprocal: keep the channel unscaled.
  auto reciprocal = [](float g) {
    const float r = 1.0f / g;
    return (g != 0.0f && std::isfinite(r)) ? r : 1.0f;
  };
  plan.gain80 = reciprocal(plan.gain80);
  plan.gain100 = reciprocal(plan.gain100);
  return plan;
}

}  // namespace qzapi
