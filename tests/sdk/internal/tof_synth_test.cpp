// Raw frame synthesis: layout, the sensor's temperature words, 10-bit
// saturation, amplitude against integration time, and mirrored read-out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "calibration.h"
#include "scene.h"
#include "tof_synth.h"

namespace {

using namespace pvx3::detail;

TEST(TemperatureWords, CarryDegreesAndFractions)
{
    uint16_t raw[32] = {};
    write_temperature_words(25.5, raw);
    EXPECT_EQ(raw[26], 100);  // 25 << 2
    EXPECT_EQ(raw[28], 512);  // 128/256 << 2
    write_temperature_words(37.25, raw);
    EXPECT_EQ(raw[26] >> 2, 37);
    EXPECT_EQ(raw[28] >> 2, 64);
    write_temperature_words(-3.0, raw);  // the sensor reports no negative temperatures
    EXPECT_EQ(raw[26], 0);
    EXPECT_EQ(raw[28], 0);
}

class Synthesis : public ::testing::Test {
protected:
    Synthesis()
        : synth(std::make_shared<scene>(), make_factory_calibration("t"), 320, 240, 7), raw(synth.raw_size()),
          other(synth.raw_size())
    {
    }
    tof_synthesiser synth;
    std::vector<uint16_t> raw, other;
};

TEST_F(Synthesis, FourSubFramesOfTenBitSamples)
{
    tof_frame_request req;
    req.temperature_c = 31.75;
    synth.synthesise(req, raw.data());
    EXPECT_EQ(raw.size(), size_t(16) * 320 * 240);
    EXPECT_LE(*std::max_element(raw.begin(), raw.end()), 1023);
    EXPECT_EQ(raw[26], 31 << 2);
    EXPECT_EQ(raw[28], 192 << 2);
    // Each sub-frame carries signal: its mean differs from its partner's
    // sample-wise (the second sub-frame of a channel is the inverted phase set).
    const size_t sub = size_t(4) * 320 * 240;
    long differ = 0;
    for (size_t i = 640 * 8; i < sub; i += 101)
        differ += raw[2 * sub + i] != raw[3 * sub + i];
    EXPECT_GT(differ, 1000);
}

TEST_F(Synthesis, AmplitudeFollowsIntegrationTimeUntilSaturation)
{
    std::vector<uint16_t> ir1(320 * 240), ir2(320 * 240);
    tof_frame_request req;
    req.integration_us = 500;
    synth.synthesise(req, raw.data());
    synth.amplitude(raw.data(), ir1.data());
    req.integration_us = 1000;
    synth.synthesise(req, other.data());
    synth.amplitude(other.data(), ir2.data());
    double s1 = 0, s2 = 0;
    for (size_t p = 0; p < ir1.size(); ++p)
        if (ir2[p] < 1023 && ir1[p] > 20) {
            s1 += ir1[p];
            s2 += ir2[p];
        }
    EXPECT_NEAR(s2 / s1, 2.0, 0.05);
    // At the longest integration time the card in front of the lens saturates.
    req.integration_us = 3000;
    synth.synthesise(req, raw.data());
    synth.amplitude(raw.data(), ir1.data());
    EXPECT_GT(std::count(ir1.begin(), ir1.end(), uint16_t(1023)), 1000);
}

TEST_F(Synthesis, MirroredReadOutReversesEachSubFrame)
{
    tof_frame_request req;
    req.noise_seed = 5;
    synth.synthesise(req, raw.data());
    req.flip_horizontal = true;
    synth.synthesise(req, other.data());
    const int w = 640, h = 480;  // samples per sub-frame row and rows
    const size_t sub = size_t(w) * h;
    long same = 0, total = 0;
    for (int s = 0; s < 4; ++s)
        for (int r = 4; r < h; r += 7)
            for (int c = 0; c < w; c += 3) {
                ++total;
                same += raw[s * sub + size_t(r) * w + c] == other[s * sub + size_t(r) * w + (w - 1 - c)];
            }
    EXPECT_EQ(same, total);  // same seed, same noise, mirrored positions
}

}  // namespace
