// Sensor temperature readings and drift.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "temperature.h"

namespace {

struct TemperatureCase {
  std::string name;
  int32_t deviceType;
  std::vector<std::pair<int, uint16_t>> words;
  float expected;
};

class SensorTemperatureTest : public ::testing::TestWithParam<TemperatureCase> {};

TEST_P(SensorTemperatureTest, ReadsHeaderWords) {
  const TemperatureCase& c = GetParam();
  std::vector<uint16_t> raw(400, 0);
  for (const auto& [index, value] : c.words) raw[index] = value;
  EXPECT_NEAR(qzapi::SensorTemperature(c.deviceType, raw.data(), raw.size()), c.expected, 0.01f);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, SensorTemperatureTest,
    ::testing::Values(TemperatureCase{"Type1Code296", 1, {{188, 4}, {190, 160}}, 25.0f},
                      TemperatureCase{"Type1Code309", 1, {{188, 4}, {190, 214}}, 25.0f + 13.0f / 5.4f},
                      TemperatureCase{"Type2SameAsType1", 2, {{188, 4}, {190, 160}}, 25.0f},
                      TemperatureCase{"Type4", 4, {{26, 100}, {28, 512}}, 25.5f},
                      TemperatureCase{"Type3HasNoSensor", 3, {{188, 4}, {190, 160}, {26, 100}}, 0.0f}),
    [](const ::testing::TestParamInfo<TemperatureCase>& info) { return info.param.name; });

TEST(SensorTemperature, ShortFramesHaveNoReading) {
  std::vector<uint16_t> raw(20, 400);
  EXPECT_EQ(qzapi::SensorTemperature(1, raw.data(), raw.size()), 0.0f);
  EXPECT_EQ(qzapi::SensorTemperature(4, raw.data(), raw.size()), 0.0f);
}

TEST(TemperatureDrift, PolynomialsPerDeviceType) {
  qzapi::FrequencyChannel first, second;
  first.millimetresPerRadian = 298.4155f;
  second.millimetresPerRadian = 238.7324f;
  const float temp80[4] = {0.0f, 0.01f, 0.5f, -3.0f};
  const float temp100[4] = {0.001f, 0.0f, 0.0f, 2.0f};
  const float t = 30.0f;
  const qzapi::Drift d4 = qzapi::TemperatureDrift(4, t, first, second, temp80, temp100);
  EXPECT_NEAR(d4.d80, 0.01 * 900 + 0.5 * 30 - 3.0, 1e-3);
  EXPECT_NEAR(d4.d100, 0.001 * 27000 + 2.0, 1e-3);
  const qzapi::Drift d1 = qzapi::TemperatureDrift(1, t, first, second, temp80, temp100);
  EXPECT_NEAR(d1.d80, (3.58724e-8 * 27000 + 1.46942e-5 * 900 + 0.00270372 * 30 - 0.0950557) * 298.4155, 1e-3);
  EXPECT_NEAR(d1.d100, (-8.06871e-8 * 27000 + 1.67766e-5 * 900 + 0.00550856 * 30 - 0.178587) * 238.7324, 1e-3);
  for (float outside : {-15.5f, 100.5f}) {
    const qzapi::Drift none = qzapi::TemperatureDrift(4, outside, first, second, temp80, temp100);
    EXPECT_EQ(none.d80, 0.0f);
    EXPECT_EQ(none.d100, 0.0f);
  }
  const qzapi::Drift other = qzapi::TemperatureDrift(3, t, first, second, temp80, temp100);
  EXPECT_EQ(other.d80, 0.0f);
}

}  // namespace
