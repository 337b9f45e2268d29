#include "forward_model.h"

#include <algorithm>
#include <cmath>

namespace qzr_test {

ChannelModel MakeChannel(double frequencyHz, double offsetMm, const std::vector<float>& table) {
  ChannelModel c;
  c.millimetresPerRadian = 3e8 / (4.0 * kPi * frequencyHz) * 1000.0;
  c.range = std::floor(3e8 / (2.0 * frequencyHz) * 1000.0);
  c.offset = offsetMm;
  c.table = table;
  c.step = table.size() < 21 ? 0.01 : 0.02;
  return c;
}

double WigglingError(const ChannelModel& c, double x) {
  const std::size_t n = c.table.size();
  if (n == 0) return 0.0;
  const double t = x * c.step;
  const auto idx = static_cast<std::size_t>(std::floor(t));
  const double f = t - static_cast<double>(idx);
  // The table repeats: entry idx + 1 past the end is entry 0 again.
  const double e = (1.0 - f) * c.table[idx % n] + f * c.table[(idx + 1) % n];
  return std::trunc(e);
}

namespace {

double Wrap(double d, double range) {
  if (d < 0) d += range;
  if (d > range) d -= range;
  return d;
}

}  // namespace

std::optional<double> PhaseFor(const ChannelModel& c, double distance, double fitting) {
  const double target = std::fmod(distance, c.range);
  // A channel reading of exactly 0 marks the pixel invalid: stay clear of it.
  if (target < 0.5 || target > c.range - 0.5) return std::nullopt;
  // The correction is close to the error at the target itself: search
  // outwards from there.
  const double guess = WigglingError(c, Wrap(target - fitting, c.range));
  for (int step = 0; step <= 800; ++step) {
    const double m = guess + ((step & 1) ? (step + 1) / 2 : -(step / 2));
    const double raw = Wrap(target + m - fitting, c.range);
    const double corrected = Wrap(raw - WigglingError(c, raw) + fitting, c.range);
    // Skip readings whose truncated error would flip within the sample
    // quantisation (about 0.3 mm): the answer there is 1 mm either way.
    const bool stable = WigglingError(c, raw - 0.4) == WigglingError(c, raw) &&
                        WigglingError(c, raw + 0.4) == WigglingError(c, raw);
    if (std::fabs(corrected - target) < 1e-6 && stable) {
      double phi = (raw - c.offset) / c.millimetresPerRadian;
      phi = std::remainder(phi, 2.0 * kPi);
      return phi;
    }
  }
  return std::nullopt;
}

void PhaseToDifferences(double phi, double scale, int32_t& n, int32_t& m) {
  n = static_cast<int32_t>(std::lround(scale * std::sin(phi)));
  m = static_cast<int32_t>(std::lround(scale * std::cos(phi)));
}

namespace {

// Splits a difference d into (base + d - d/2, base - d/2): their difference is d.
void Split(int32_t d, uint16_t& plus, uint16_t& minus) {
  constexpr int32_t kBase = 511;
  plus = static_cast<uint16_t>(kBase + d - d / 2);
  minus = static_cast<uint16_t>(kBase - d / 2);
}

}  // namespace

void WriteDualPixel(std::vector<uint16_t>& frame, int32_t w, int32_t h, int32_t i, int32_t j, double phi1,
                    double phi2) {
  const std::size_t sub = static_cast<std::size_t>(4) * w * h;
  const std::size_t stride = static_cast<std::size_t>(2) * w;
  const std::size_t top = static_cast<std::size_t>(2 * i) * stride + 2 * j;
  auto write = [&](std::size_t first, std::size_t second, double phi) {
    int32_t n = 0, m = 0;
    PhaseToDifferences(phi, 1800.0, n, m);
    const int32_t n1 = n / 2, n2 = n - n1, m1 = m / 2, m2 = m - m1;
    uint16_t* s = frame.data() + first * sub + top;   // a (or c) samples
    uint16_t* t = frame.data() + second * sub + top;  // b (or e) samples
    // numerator (s10 - s01) + (t01 - t10), denominator (s00 - s11) + (t11 - t00)
    Split(n1, s[stride], s[1]);
    Split(n2, t[1], t[stride]);
    Split(m1, s[0], s[stride + 1]);
    Split(m2, t[stride + 1], t[0]);
  };
  write(2, 3, phi1);
  write(0, 1, phi2);
}

void WriteSinglePixel(std::vector<uint16_t>& frame, int32_t w, int32_t i, int32_t j, double phi) {
  const std::size_t stride = static_cast<std::size_t>(2) * w;
  uint16_t* s = frame.data() + static_cast<std::size_t>(2 * i) * stride + 2 * j;
  int32_t n = 0, m = 0;
  PhaseToDifferences(phi, 1000.0, n, m);
  Split(n, s[stride], s[1]);      // s10 - s01
  Split(m, s[0], s[stride + 1]);  // s00 - s11
}

void WriteDualPixelSignal(std::vector<uint16_t>& frame, int32_t w, int32_t h, int32_t i, int32_t j,
                          const ChannelSignal& first, const ChannelSignal& second) {
  const std::size_t sub = static_cast<std::size_t>(4) * w * h;
  const std::size_t stride = static_cast<std::size_t>(2) * w;
  const std::size_t top = static_cast<std::size_t>(2 * i) * stride + 2 * j;
  auto write = [&](std::size_t firstSub, const ChannelSignal& c) {
    const double I = c.amplitude * std::cos(c.phi), Q = c.amplitude * std::sin(c.phi);
    auto sample = [&](double v) { return static_cast<uint16_t>(std::lround(std::clamp(v, 0.0, 1022.0))); };
    for (int k = 0; k < 2; ++k) {
      const double sign = k == 0 ? 1.0 : -1.0;  // the second sub-frame sees the signal negated
      uint16_t* s = frame.data() + (firstSub + k) * sub + top;
      s[0] = sample(c.level + sign * I);
      s[1] = sample(c.level - sign * Q);
      s[stride] = sample(c.level + sign * Q);
      s[stride + 1] = sample(c.level - sign * I);
    }
  };
  write(2, first);   // sub-frames 2 and 3: the first channel
  write(0, second);  // sub-frames 0 and 1: the second channel
}

ReadBack ReadDualChannel(const std::vector<uint16_t>& frame, int32_t w, int32_t h, int32_t i, int32_t j, bool first) {
  const std::size_t sub = static_cast<std::size_t>(4) * w * h;
  const std::size_t stride = static_cast<std::size_t>(2) * w;
  const std::size_t top = static_cast<std::size_t>(2 * i) * stride + 2 * j;
  const uint16_t* a = frame.data() + (first ? 2 : 0) * sub + top;
  const uint16_t* b = a + sub;
  // In-phase: a00 - a11 - (b00 - b11); quadrature: a10 - a01 - (b10 - b01);
  // each holds the signal four times over two samples pairs: halve.
  ReadBack r;
  r.x = (static_cast<double>(a[0]) - a[stride + 1] - b[0] + b[stride + 1]) / 2.0;
  r.y = (static_cast<double>(a[stride]) - a[1] - b[stride] + b[1]) / 2.0;
  double sum = 0.0;
  for (const uint16_t* s : {a, b}) sum += s[0] + s[1] + s[stride] + s[stride + 1];
  r.level = sum / 8.0;
  return r;
}

double RadialToAxial(double fx, double fy, double cx, double cy, int32_t u, int32_t v) {
  const double x = (u - cx) / fx;
  const double y = (v - cy) / fy;
  return 1.0 / std::sqrt(1.0 + x * x + y * y);
}

qzapi::CalibrationBlock PlainBlock(float fx, float fy, float cx, float cy) {
  qzapi::CalibrationBlock b;
  b.frequency1 = 80000000;
  b.frequency2 = 100000000;
  b.depthIntrinsics[0] = fx;
  b.depthIntrinsics[1] = fy;
  b.depthIntrinsics[2] = cx;
  b.depthIntrinsics[3] = cy;
  b.depthGridWidth = 640;
  b.depthGridHeight = 480;
  return b;
}

}  // namespace qzr_test
