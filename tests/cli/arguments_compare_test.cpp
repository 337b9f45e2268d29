// The command line's small parts: option parsing, and the comparison that
// `reprocess --compare` prints, against hand-counted expectations.
#include <gtest/gtest.h>

#include "arguments.h"
#include "depth_compare.h"

namespace {

struct parse_case {
    const char* name;
    std::vector<std::string> args;
    bool ok;
    const char* error_or_value;  // the error's words, or the value of --out
};
void PrintTo(const parse_case& c, std::ostream* os) { *os << c.name; }

class Arguments : public ::testing::TestWithParam<parse_case> { };

TEST_P(Arguments, ParseOrSayWhatIsWrong)
{
    const parse_case& c = GetParam();
    cli::arguments a;
    std::string error;
    const bool ok = a.parse(c.args, {{"out", true}, {"json", false}, {"filter-param", true}}, error);
    ASSERT_EQ(ok, c.ok) << error;
    if (ok) {
        EXPECT_EQ(a.value("out").value_or(""), c.error_or_value);
    } else
        EXPECT_NE(error.find(c.error_or_value), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Arguments,
    ::testing::Values(parse_case{"SeparateValue", {"--out", "a.bag"}, true, "a.bag"},
                      parse_case{"JoinedValue", {"--out=b.bag", "--json"}, true, "b.bag"},
                      parse_case{"DashValueAfterEndOfOptions", {"--", "--out"}, true, ""},
                      parse_case{"MissingValue", {"--out"}, false, "--out needs a value"},
                      parse_case{"FlagWithValue", {"--json=yes"}, false, "takes no value"},
                      parse_case{"Unknown", {"--colour"}, false, "unknown option --colour"},
                      parse_case{"ShortOption", {"-o", "x"}, false, "unknown option -o"},
                      parse_case{"Twice", {"--out", "a", "--out", "b"}, false, "given twice"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Arguments, RepeatedFilterParametersJoinIntoOneList)
{
    cli::arguments a;
    std::string error;
    ASSERT_TRUE(a.parse({"--filter-param", "4=100", "--filter-param=1=5:2"}, {{"filter-param", true}}, error));
    EXPECT_EQ(a.value("filter-param").value_or(""), "4=100,1=5:2");
}

TEST(Arguments, SizesAndNumbers)
{
    int w = 0, h = 0;
    EXPECT_TRUE(cli::parse_size("640x480", w, h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_FALSE(cli::parse_size("640*480", w, h));
    EXPECT_FALSE(cli::parse_size("x480", w, h));
    long long n = 0;
    EXPECT_FALSE(cli::parse_int("12abc", 0, 100, n));
    EXPECT_FALSE(cli::parse_int("101", 0, 100, n));
    double d = 0;
    EXPECT_TRUE(cli::parse_double("2.5", 0, 10, d));
    EXPECT_FALSE(cli::parse_double("nan", 0, 10, d));
}

TEST(DepthComparison, ValidSharesAndPercentilesOfAHandMadePair)
{
    // Recorded:   0 (invalid), 1 (saturated), then eight valid pixels.
    // Recomputed: valid where the recorded one is not, and differences
    //             0, 0, 0, 1, 2, 2, 5, 40 over the eight compared pixels.
    const uint16_t recorded[10] = {0, 1, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000};
    const uint16_t recomputed[10] = {900, 905, 1000, 1000, 1000, 1001, 998, 1002, 1005, 960};
    cli::depth_comparison c;
    c.add(recorded, recomputed, 10);
    EXPECT_EQ(c.pixels(), 10u);
    EXPECT_DOUBLE_EQ(c.valid_share_recorded(), 0.8);
    EXPECT_DOUBLE_EQ(c.valid_share_recomputed(), 1.0);
    EXPECT_EQ(c.compared(), 8u);
    EXPECT_EQ(c.percentile(0.5), 1u);    // 4th of 8 sorted: 0 0 0 [1] 2 2 5 40
    EXPECT_EQ(c.percentile(0.95), 40u);  // rank ceil(7.6) = 8
    EXPECT_EQ(c.max_difference(), 40u);
    cli::depth_comparison none;
    EXPECT_EQ(none.percentile(0.5), 0u);
}

}  // namespace
