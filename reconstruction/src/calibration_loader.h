// Derives the per-frequency working parameters from a calibration block.
#pragma once

#include <cstdint>

#include "qzapi/reconstruction.h"

namespace qzapi {

constexpr int32_t kMaxTableCount = 256;
// A channel stores its wiggling table twice in 256 entries.
constexpr int32_t kMaxWigglingCount = 128;

// Clamps a host-supplied table count into 0..capacity.
int32_t ClampCount(int32_t count, int32_t capacity);

// Unambiguous range in mm: integer part of 3e8 / (2 f) * 1000; 0 for f <= 0.
int32_t ChannelRange(int32_t frequency);
// 3e8 / (4 pi f) * 1000; 0 for f <= 0.
float MillimetresPerRadian(int32_t frequency);
// Offsets below 100 in magnitude are metres.
float OffsetToMillimetres(float offset);

// All fields zero, empty serial, gain 1.
void ResetChannel(FrequencyChannel& channel);

struct ChannelSource {
  int32_t frequency;
  float gain;
  int32_t wigglingCount;
  const float* wiggling;
  float globalOffset;
  const float* fitting;      // 6 values
  const float* temperature;  // 4 values
  const std::string* serial;
};
void FillChannel(FrequencyChannel& channel, const ChannelSource& source);

// Frequencies and gains of both channels before the block's overrides.
struct ChannelPlan {
  int32_t frequency80 = 80000000;
  int32_t frequency100 = 100000000;
  float gain80 = 1.0f;
  float gain100 = 1.0f;
};
// Mode and device type rules, then the block's otherOffset5 overrides and the
// reciprocal of each gain. `fromInit` selects Init's gain for device type 4.
ChannelPlan PlanChannels(int32_t deviceType, int32_t mode, bool fromInit, const CalibrationBlock& block);

}  // namespace qzapi
