// tessivue-cli --filter noise-aware: a recording with raw phase frames
// re-processed with the standard filters and in the noise-aware mode gives two
// different depth images per frame set, the noise-aware one being exactly what
// the library's filter flag 2 computes from that frame set; a recording made in
// the noise-aware mode re-processes to its own depth; a camera without the mode
// refuses it with a clear line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "recording/reader.h"
#include "recording/reprocessor.h"
#include "recording_test_support.h"

using namespace cli_test;
using recording::stream;
using recording_test::scratch_folder;

namespace {

std::map<std::string, std::string> with(std::map<std::string, std::string> env, const std::string& name,
                                        const std::string& value)
{
    env[name] = value;
    return env;
}

// The "all" line of --compare: valid shares (recorded, recomputed) and the
// median and 95th percentile |difference|.
struct compare_totals {
    double valid_recorded = -1, valid_recomputed = -1;
    unsigned median = 99999, p95 = 99999;
};
compare_totals totals(const std::string& out)
{
    compare_totals t;
    const size_t at = out.find("\nall");
    if (at != std::string::npos)
        std::sscanf(out.c_str() + at + 1, "all %lf %% %lf %% %u %u", &t.valid_recorded, &t.valid_recomputed,
                    &t.median, &t.p95);
    return t;
}

size_t differing(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b)
{
    size_t n = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        n += a[i] != b[i];
    return n;
}

std::vector<uint16_t> depth_of(const recording::frame_set& f)
{
    const uint16_t* p = f[stream::depth]->pixels16();
    return {p, p + size_t(f[stream::depth]->width) * f[stream::depth]->height};
}

TEST(CliFilterMode, NoiseAwareReprocessingIsTheLibrarysModeTwoAndDiffersFromTheStandardFilters)
{
    scratch_folder dir;
    const std::string in = dir.file("standard.bag");
    const result rec = run({"record", "--out", in, "--frames", "3", "--streams", "depth,raw"}, fast_camera());
    ASSERT_EQ(rec.exit_code, 0) << rec.err;

    const std::string on = dir.file("on.bag"), aware = dir.file("aware.bag");
    const result r_on = run({"reprocess", in, "--out", on, "--filter", "on"});
    ASSERT_EQ(r_on.exit_code, 0) << r_on.err;
    const result r_aware = run({"reprocess", in, "--out", aware, "--filter", "noise-aware", "--compare"});
    ASSERT_EQ(r_aware.exit_code, 0) << r_aware.err;
    // The noise-aware mode keeps more pixels than the block-deviation filter.
    const compare_totals t = totals(r_aware.out);
    EXPECT_GT(t.valid_recomputed, t.valid_recorded) << r_aware.out;

    std::string error;
    auto original = recording::reader::open(in, error);
    auto standard = recording::reader::open(on, error);
    auto noise_aware = recording::reader::open(aware, error);
    ASSERT_TRUE(original && standard && noise_aware) << error;
    auto engine = recording::reprocessor::create(error);
    ASSERT_TRUE(engine) << error;
    ASSERT_EQ(original->size(), 3u);
    ASSERT_EQ(noise_aware->size(), 3u);
    ASSERT_EQ(standard->size(), 3u);
    for (size_t i = 0; i < original->size(); ++i) {
        SCOPED_TRACE("frame set " + std::to_string(i));
        recording::frame_set fo, fs, fa;
        ASSERT_TRUE(original->read(i, fo, error) && standard->read(i, fs, error) && noise_aware->read(i, fa, error))
            << error;
        ASSERT_TRUE(fo[stream::raw_phase] && fs[stream::depth] && fa[stream::depth]);
        EXPECT_EQ(noise_aware->settings_at(i).filter, 2);
        EXPECT_EQ(standard->settings_at(i).filter, 1);

        // The library's filter flag 2 on the same raw frame and calibration.
        const std::optional<recording::calibration> cal = original->calibration_at(i);
        ASSERT_TRUE(cal);
        recording::reprocess_options mode_two = recording::options_from(original->settings_at(i));
        mode_two.filter = 2;
        std::vector<uint16_t> expected;
        int w = 0, h = 0;
        ASSERT_TRUE(engine->compute(*cal, *fo[stream::raw_phase], mode_two, expected, w, h, error)) << error;
        ASSERT_EQ(w, fa[stream::depth]->width);
        ASSERT_EQ(h, fa[stream::depth]->height);

        const std::vector<uint16_t> got = depth_of(fa);
        EXPECT_EQ(differing(got, expected), 0u);
        EXPECT_EQ(depth_of(fs), depth_of(fo)) << "--filter on is the recorded standard filtering";
        // Different everywhere the filters differ, not in a stray pixel.
        EXPECT_GT(differing(got, depth_of(fs)), got.size() / 10);
    }
}

TEST(CliFilterMode, ARecordingMadeNoiseAwareReprocessesToItsOwnDepth)
{
    scratch_folder dir;
    const std::string in = dir.file("aware.bag");
    const result rec = run({"record", "--out", in, "--frames", "2", "--streams", "depth,raw", "--filter",
                            "noise-aware"},
                           fast_camera());
    ASSERT_EQ(rec.exit_code, 0) << rec.err;
    const result info = run({"info", in, "--json"});
    ASSERT_EQ(info.exit_code, 0) << info.err;
    const nlohmann::json j = nlohmann::json::parse(info.out, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << info.out;
    EXPECT_EQ(j["settings"]["filter"], 2);

    // As recorded: the camera's own noise-aware depth, bit for bit.
    const result same = run({"reprocess", in, "--compare"});
    ASSERT_EQ(same.exit_code, 0) << same.err;
    const compare_totals s = totals(same.out);
    EXPECT_EQ(s.median, 0u) << same.out;
    EXPECT_EQ(s.p95, 0u) << same.out;
    EXPECT_DOUBLE_EQ(s.valid_recorded, s.valid_recomputed) << same.out;

    const result standard = run({"reprocess", in, "--compare", "--filter", "on"});
    ASSERT_EQ(standard.exit_code, 0) << standard.err;
    const compare_totals d = totals(standard.out);
    EXPECT_LT(d.valid_recomputed, d.valid_recorded) << standard.out;
}

struct refusal_case {
    const char* name;
    std::vector<std::string> args;  // "@" is replaced by the scratch folder
    std::map<std::string, std::string> env;
    int exit_code;
    const char* says;
};
void PrintTo(const refusal_case& c, std::ostream* os) { *os << c.name; }

class CliFilterModeRefusal : public ::testing::TestWithParam<refusal_case> { };

TEST_P(CliFilterModeRefusal, OneClearLineAndNoFile)
{
    scratch_folder dir;
    std::vector<std::string> args = GetParam().args;
    for (std::string& a : args)
        if (a.find('@') != std::string::npos)
            a.replace(a.find('@'), 1, dir.path());
    const result r = run(args, GetParam().env);
    EXPECT_EQ(r.exit_code, GetParam().exit_code) << r.err;
    ASSERT_EQ(r.err_lines().size(), 1u) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_FALSE(std::ifstream(dir.file("x.bag")).good());
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliFilterModeRefusal,
    ::testing::Values(
        refusal_case{"RecordOnACameraWithoutTheMode",
                     {"record", "--out", "@/x.bag", "--frames", "1", "--filter", "noise-aware"},
                     with(fast_camera(), "PVX3_NO_NOISE_AWARE_FILTER", "1"),
                     1,
                     "offers no noise-aware filter mode"},
        refusal_case{"RecordUnknownMode",
                     {"record", "--out", "@/x.bag", "--frames", "1", "--filter", "noiseaware"},
                     fast_camera(),
                     2,
                     "--filter takes on, off or noise-aware, not \"noiseaware\""},
        refusal_case{"ReprocessUnknownMode",
                     {"reprocess", "@/in.bag", "--out", "@/x.bag", "--filter", "2"},
                     fast_camera(),
                     2,
                     "--filter takes on, off or noise-aware, not \"2\""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
