// Module list names, firmware texts and the version messages.
#include <gtest/gtest.h>

#include "module_naming.h"

namespace {

struct naming_case {
    const char* raw;
    bool with_vendor;
    const char* expected;
};

class ModuleDisplayName : public ::testing::TestWithParam<naming_case> {
};

TEST_P(ModuleDisplayName, NamesTheModel)
{
    const naming_case& c = GetParam();
    EXPECT_EQ(module_display_name(QString::fromUtf8(c.raw), c.with_vendor).toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ModuleDisplayName,
    ::testing::Values(
        naming_case{"QZ30_SINGLE", true, "Parvolux QZ30 Single"},
        naming_case{"qz20-dual", true, "Parvolux QZ20 Dual"},
        naming_case{"Qz20 Single", false, "QZ20 Single"},
        // Neither model word: the newer model is assumed.
        naming_case{"camera", true, "Parvolux QZ30"},
        naming_case{"", false, "QZ30"},
        naming_case{"mystery dual", true, "Parvolux QZ30 Dual"},
        // Both model words: QZ30 wins.
        naming_case{"QZ20 QZ30", false, "QZ30"},
        // "Single" is tested first.
        naming_case{"QZ20 single dual", false, "QZ20 Single"},
        naming_case{"QZ20", true, "Parvolux QZ20"}));

struct firmware_case {
    const char* raw;
    const char* version;
    const char* expected;
};

class FirmwareText : public ::testing::TestWithParam<firmware_case> {
};

TEST_P(FirmwareText, CarriesTheBoardPrefix)
{
    const firmware_case& c = GetParam();
    const QString raw = QString::fromUtf8(c.raw);
    const QString name = module_display_name(raw, false);
    EXPECT_EQ(firmware_display_text(name, raw, c.version).toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Prefixes, FirmwareText,
    ::testing::Values(firmware_case{"QZ20_DUAL", "1.2.3", "KM-V1-1.2.3"},
                      // Named "Dual" in the list, but the prefix test is
                      // case-sensitive on the raw name.
                      firmware_case{"QZ20_dual", "1.2.3", "KM-V2-1.2.3"},
                      firmware_case{"QZ20_SINGLE", "1.2.3", "KM-V2-1.2.3"},
                      firmware_case{"QZ30_DUAL", "1.2.3", "1.2.3"},
                      firmware_case{"other", "9", "9"}));

TEST(FirmwareMessage, MismatchNamesBothVersions)
{
    EXPECT_EQ(firmware_mismatch_message("v1.0.7", "v1.1.0").toStdString(),
              "Firmware version is not match.(v1.0.7/v1.1.0)");
}

TEST(FirmwareMessage, ContainedVersionMatches)
{
    EXPECT_TRUE(firmware_mismatch_message("KM v1.1.0 build 4", "v1.1.0").isEmpty());
    // Every text contains the empty text.
    EXPECT_TRUE(firmware_mismatch_message("v1.0.7", "").isEmpty());
    // Containment is case-sensitive.
    EXPECT_FALSE(firmware_mismatch_message("V1.1.0", "v1.1.0").isEmpty());
}

}  // namespace
