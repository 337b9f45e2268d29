// Configuration variables: values, malformed values, defaults.
#include <gtest/gtest.h>

#include <cstdlib>

#include "settings.h"

namespace {

using pvx3::detail::read_settings;

class Settings : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char* n : {"PVX3_NO_CAMERA", "PVX3_PACING", "PVX3_SEED", "PVX3_DROP_EVERY", "PVX3_WARMUP_S",
                              "PVX3_NO_RGB", "PVX3_SETTLE_MS", "PVX3_MODULE_NAME"})
            unsetenv(n);
    }
};

TEST_F(Settings, DefaultsWithoutVariables)
{
    const auto s = read_settings();
    EXPECT_TRUE(s.camera_present);
    EXPECT_TRUE(s.has_tof);
    EXPECT_TRUE(s.has_rgb);
    EXPECT_TRUE(s.realtime);
    EXPECT_EQ(s.settle_ms, 500);
    EXPECT_EQ(s.drop_every, 0);
    EXPECT_EQ(s.module_name, "DUAL-T4");
}

TEST_F(Settings, ValuesAreReadAndMalformedOnesIgnored)
{
    setenv("PVX3_NO_CAMERA", "0", 1);  // explicitly off
    setenv("PVX3_NO_RGB", "yes", 1);
    setenv("PVX3_PACING", "fast", 1);
    setenv("PVX3_SEED", "12x", 1);       // malformed: default kept
    setenv("PVX3_DROP_EVERY", "-4", 1);  // out of range: default kept
    setenv("PVX3_WARMUP_S", "2.5", 1);
    setenv("PVX3_SETTLE_MS", "0", 1);
    setenv("PVX3_MODULE_NAME", "QZ20", 1);
    const auto s = read_settings();
    EXPECT_TRUE(s.camera_present);
    EXPECT_FALSE(s.has_rgb);
    EXPECT_FALSE(s.realtime);
    EXPECT_EQ(s.seed, read_settings().seed);
    EXPECT_EQ(s.drop_every, 0);
    EXPECT_DOUBLE_EQ(s.warmup_s, 2.5);
    EXPECT_EQ(s.settle_ms, 0);
    EXPECT_EQ(s.module_name, "QZ20");
    unsetenv("PVX3_SEED");
    EXPECT_EQ(s.seed, read_settings().seed);
}

}  // namespace
