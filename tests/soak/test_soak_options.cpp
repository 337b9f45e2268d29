// The soak program's command line: accepted forms and refusals.
#include <gtest/gtest.h>

#include "soak/soak_options.h"

namespace {

struct options_case {
    const char* name;
    QStringList args;
    bool accepted;
    double minutes;
    double step;
    double growth;
    int hang;
    const char* folder;
};

class SoakOptions : public ::testing::TestWithParam<options_case> {
};

TEST_P(SoakOptions, ParsesOrRefuses)
{
    const options_case& c = GetParam();
    soak_options o;
    QString error;
    const bool ok = parse_soak_options(QStringList{QStringLiteral("tessivue_soak")} + c.args, &o, &error);
    ASSERT_EQ(ok, c.accepted) << error.toStdString();
    if (!ok) {
        EXPECT_FALSE(error.isEmpty());
        return;
    }
    EXPECT_DOUBLE_EQ(o.minutes, c.minutes);
    EXPECT_DOUBLE_EQ(o.step_seconds, c.step);
    EXPECT_DOUBLE_EQ(o.max_growth_mb, c.growth);
    EXPECT_EQ(o.hang_seconds, c.hang);
    EXPECT_EQ(o.work_folder, QString::fromLatin1(c.folder));
}

const options_case kCases[] = {
    {"Defaults", {}, true, 2.0, 3.0, 20.0, 20, ""},
    {"Everything", {"--minutes", "60", "--step", "4.5", "--max-growth-mb", "0", "--hang-s", "30", "--work", "/tmp/s"}, true, 60.0, 4.5, 0.0, 30, "/tmp/s"},
    {"FractionOfAMinute", {"--minutes", "0.1"}, true, 0.1, 3.0, 20.0, 20, ""},
    {"MinutesMissingItsValue", {"--minutes"}, false, 0, 0, 0, 0, ""},
    {"MinutesNotANumber", {"--minutes", "ten"}, false, 0, 0, 0, 0, ""},
    {"NoTimeAtAll", {"--minutes", "0"}, false, 0, 0, 0, 0, ""},
    {"NegativeGrowth", {"--max-growth-mb", "-1"}, false, 0, 0, 0, 0, ""},
    {"NotANumberIsNotAtLeastAnything", {"--step", "nan"}, false, 0, 0, 0, 0, ""},
    {"WorkWithoutFolder", {"--work"}, false, 0, 0, 0, 0, ""},
    {"UnknownArgument", {"--hours", "1"}, false, 0, 0, 0, 0, ""},
};

// Warm-up: a tenth of the run unless given; zero leaves the two-cycle floor.
TEST(SoakWarmUp, ATenthOfTheRunUnlessGiven)
{
    struct {
        QStringList args;
        double minutes;
    } const cases[] = {
        {{}, 0.2},
        {{"--minutes", "60"}, 6.0},
        {{"--minutes", "60", "--warm-up-minutes", "15"}, 15.0},
        {{"--warm-up-minutes", "0", "--minutes", "30"}, 0.0},
    };
    for (const auto& c : cases) {
        soak_options o;
        QString error;
        ASSERT_TRUE(parse_soak_options(QStringList{QStringLiteral("tessivue_soak")} + c.args, &o, &error))
            << error.toStdString();
        EXPECT_DOUBLE_EQ(soak_warm_up_minutes(o), c.minutes) << c.args.join(' ').toStdString();
    }
    soak_options o;
    QString error;
    EXPECT_FALSE(parse_soak_options({QStringLiteral("tessivue_soak"), QStringLiteral("--warm-up-minutes"),
                                     QStringLiteral("-1")},
                                    &o, &error));
    EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, SoakOptions, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<options_case>& info) { return info.param.name; });

}  // namespace
