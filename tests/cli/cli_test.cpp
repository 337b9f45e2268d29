// tessivue-cli driven as a user drives it: help on every command, one clear
// line on stderr and a non-zero exit for every error, a recording made,
// described, exported and re-processed, Ctrl-C and SIGTERM ending a recording
// with a complete file, a killed recording repaired, damaged files never
// crashing a command.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <random>
#include <thread>

#include <rosbag/bag.h>
#include <std_msgs/String.h>

#include "cli_runner.h"
#include "recording/reader.h"
#include "recording_test_support.h"

using namespace cli_test;
using recording_test::scratch_folder;
using recording::stream;

namespace {

nlohmann::json parse(const std::string& text)
{
    return nlohmann::json::parse(text, nullptr, false);
}

// Waits until a recording in progress has grown past `bytes` (a few frame
// sets), however slowly the camera starts on a loaded or sanitized build.
bool wait_for_growth(const std::string& path, uintmax_t bytes)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code e;
        if (std::filesystem::file_size(path, e) > bytes && !e)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// One recording of four frame sets (all streams) for the whole suite.
class Cli : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new scratch_folder();
        recording_ = folder_->file("four.bag");
        const result r = run({"record", "--out", recording_, "--frames", "4"}, fast_camera());
        recorded_ok_ = r.exit_code == 0;
        record_output_ = r.out + r.err;
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(recorded_ok_) << record_output_; }

    static scratch_folder* folder_;
    static std::string recording_;
    static bool recorded_ok_;
    static std::string record_output_;
};
scratch_folder* Cli::folder_ = nullptr;
std::string Cli::recording_;
bool Cli::recorded_ok_ = false;
std::string Cli::record_output_;

class Help : public ::testing::TestWithParam<std::string> { };

TEST_P(Help, EveryCommandDescribesItselfAndExitsZero)
{
    const std::string command = GetParam();
    const result r = command == "--help" ? run({"--help"}) : run({command, "--help"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::string expected = command == "--help" ? "Usage: tessivue-cli COMMAND" : "Usage: tessivue-cli " + command;
    EXPECT_EQ(r.out.rfind(expected, 0), 0u) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Cli, Help, ::testing::Values("--help", "record", "info", "export", "reprocess", "repair"),
                         [](const auto& info) { return info.param == "--help" ? std::string("Program") : info.param; });

struct error_case {
    const char* name;
    std::vector<std::string> args;  // "@" is replaced by the scratch folder
    int exit_code;
    const char* says;
};
void PrintTo(const error_case& c, std::ostream* os) { *os << c.name; }

class Errors : public ::testing::TestWithParam<error_case> { };

TEST_P(Errors, GiveOneClearLineOnStderrAndANonZeroExit)
{
    scratch_folder dir;
    std::ofstream(dir.file("picture.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n not really";
    {
        rosbag::Bag bag(dir.file("foreign.bag"), rosbag::bagmode::Write);
        std_msgs::String msg;
        msg.data = "hello";
        bag.write("/chatter", ros::Time(1, 0), msg);
    }
    std::vector<std::string> args = GetParam().args;
    for (std::string& a : args)
        if (a.find('@') != std::string::npos)
            a.replace(a.find('@'), 1, dir.path());
    const result r = run(args, fast_camera());
    EXPECT_EQ(r.exit_code, GetParam().exit_code) << r.err;
    ASSERT_EQ(r.err_lines().size(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("tessivue-cli", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Errors,
    ::testing::Values(
        error_case{"UnknownCommand", {"frobnicate"}, 2, "unknown command"},
        error_case{"UnknownOption", {"info", "@/x.bag", "--colour"}, 2, "unknown option --colour"},
        error_case{"RecordWithoutOut", {"record", "--frames", "1"}, 2, "--out FILE.bag is required"},
        error_case{"RecordUnknownStream", {"record", "--out", "@/x.bag", "--streams", "depth,sonar"}, 2, "unknown stream \"sonar\""},
        error_case{"RecordBothLimits", {"record", "--out", "@/x.bag", "--seconds", "1", "--frames", "3"}, 2, "not both"},
        error_case{"RecordBadNumber", {"record", "--out", "@/x.bag", "--seconds", "soon"}, 2, "--seconds"},
        error_case{"RecordUnwritablePath", {"record", "--out", "@/no/such/folder/x.bag", "--frames", "1"}, 1, "No such file or directory"},
        error_case{"RecordUnknownResolution", {"record", "--out", "@/x.bag", "--resolution", "800x600"}, 1, "no depth format 800x600"},
        error_case{"RecordBadRawCompression", {"record", "--out", "@/x.bag", "--raw-compression", "zip"}, 2, "--raw-compression takes lz4, none or bz2"},
        error_case{"ReprocessBadRawCompression", {"reprocess", "@/foreign.bag", "--out", "@/y.bag", "--raw-compression", "gzip"}, 2, "--raw-compression takes"},
        error_case{"RecordExistingFile", {"record", "--out", "@/picture.png", "--frames", "1"}, 1, "give --overwrite"},
        error_case{"InfoMissingFile", {"info", "@/missing.bag"}, 1, "No such file or directory"},
        error_case{"InfoWrongFileType", {"info", "@/picture.png"}, 1, "not a ROS bag"},
        error_case{"InfoForeignBag", {"info", "@/foreign.bag"}, 1, "not a Tessivue recording"},
        error_case{"ExportWithoutTo", {"export", "@/foreign.bag"}, 2, "--to DIR is required"},
        error_case{"ExportBadRange", {"export", "@/foreign.bag", "--to", "@/out", "--range", "5:2"}, 2, "--range"},
        error_case{"ExportUnknownKind", {"export", "@/foreign.bag", "--to", "@/out", "--kinds", "depth,sound"}, 2, "unknown kind"},
        error_case{"ReprocessWithoutOutput", {"reprocess", "@/foreign.bag"}, 2, "give --out"},
        error_case{"ReprocessBadFilterParam", {"reprocess", "@/foreign.bag", "--compare", "--filter-param", "3=1"}, 2, "filter code"},
        error_case{"RepairWrongFileType", {"repair", "@/picture.png"}, 1, "not a ROS bag"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cli, RecordWritesQuietlyWhenStderrIsNoTerminalAndInfoDescribesIt)
{
    EXPECT_NE(record_output_.find("Recorded 4 frame sets"), std::string::npos) << record_output_;
    const result text = run({"info", recording_});
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_NE(text.out.find("Frame sets   4"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Gaps         none"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("lz4 chunks (raw phase frames: none)"), std::string::npos) << text.out;

    const result r = run({"info", recording_, "--json"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const nlohmann::json j = parse(r.out);
    ASSERT_FALSE(j.is_discarded()) << r.out;
    EXPECT_EQ(j["frame_sets"], 4);
    EXPECT_EQ(j["streams"].size(), 4u);
    EXPECT_EQ(j["gaps"].size(), 0u);
    EXPECT_EQ(j["raw_phase"], "recorded");
    EXPECT_EQ(j["compression"], "lz4");
    EXPECT_EQ(j["raw_phase_compression"], "none");
    EXPECT_EQ(j["summary"]["ended"], "closed");
    EXPECT_EQ(j["device"]["module_name"], "DUAL-T4");
    EXPECT_EQ(j["calibration"]["serial_number"], "VT4C0A1B2C3");
    EXPECT_EQ(j["settings"]["filter"], 1);
}

TEST_F(Cli, ExportWritesTheViewersFilesNamedByFrameNumber)
{
    scratch_folder dir;
    const std::string out = dir.file("frames");
    const result r = run({"export", recording_, "--to", out, "--range", "1:2"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string error;
    auto rec = recording::reader::open(recording_, error);
    ASSERT_TRUE(rec) << error;
    int exported = 0;
    for (size_t i = 0; i < rec->size(); ++i) {
        recording::frame_set f;
        ASSERT_TRUE(rec->read(i, f, error)) << error;
        const std::string n = std::to_string(f.frame_number);
        const bool in_range = f.frame_number >= 1 && f.frame_number <= 2;
        for (const char* stem : {"Depth", "IR", "depth", "ir", "rgb", "PointCloud"})
            EXPECT_EQ(std::filesystem::exists(out + "/" + stem + "[" + n + "].png")
                          || std::filesystem::exists(out + "/" + stem + "[" + n + "].pcd"),
                      in_range)
                << stem << " " << n;
        if (!in_range)
            continue;
        ++exported;
        const cv::Mat depth = cv::imread(out + "/Depth[" + n + "].png", cv::IMREAD_UNCHANGED);
        ASSERT_EQ(depth.type(), CV_16UC1);
        ASSERT_EQ(depth.total() * 2, f[stream::depth]->data.size());
        EXPECT_EQ(std::memcmp(depth.data, f[stream::depth]->data.data(), f[stream::depth]->data.size()), 0);
        std::ifstream sidecar(out + "/Depth[" + n + "].json");
        const nlohmann::json j = nlohmann::json::parse(sidecar, nullptr, false);
        EXPECT_EQ(j["format"], "parvolux3-frame-dump");
        EXPECT_EQ(j["frame_number"], f.frame_number);
        EXPECT_EQ(j["timestamp_us"], f.timestamp_us);
        EXPECT_EQ(j["unit"], "millimetre");
        EXPECT_EQ(cv::imread(out + "/rgb[" + n + "].png").size(), cv::Size(1920, 1080));
        EXPECT_EQ(cv::imread(out + "/ir[" + n + "].png", cv::IMREAD_UNCHANGED).type(), CV_8UC1);
        std::ifstream ply(out + "/PointCloud[" + n + "].ply", std::ios::binary);
        std::string first_line;
        std::getline(ply, first_line);
        EXPECT_EQ(first_line, "ply");
    }
    EXPECT_EQ(exported, 2);
}

TEST_F(Cli, ReprocessWithTheRecordedSettingsReproducesTheDepthExactly)
{
    scratch_folder dir;
    const std::string out = dir.file("again.bag");
    const result r = run({"reprocess", recording_, "--out", out, "--compare"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    // Last line: all, valid shares, median and 95th percentile |difference|.
    const std::string all = r.out.substr(r.out.find("\nall"));
    EXPECT_NE(all.find(" 0          0"), std::string::npos) << r.out;

    std::string error;
    auto a = recording::reader::open(recording_, error);
    auto b = recording::reader::open(out, error);
    ASSERT_TRUE(a && b) << error;
    ASSERT_EQ(a->size(), b->size());
    for (size_t i = 0; i < a->size(); ++i) {
        recording::frame_set fa, fb;
        ASSERT_TRUE(a->read(i, fa, error) && b->read(i, fb, error)) << error;
        EXPECT_EQ(fa.stamp_ns, fb.stamp_ns);
        EXPECT_EQ(fa.frame_number, fb.frame_number);
        EXPECT_EQ(fa.timestamp_us, fb.timestamp_us);
        EXPECT_TRUE(fa[stream::depth]->data == fb[stream::depth]->data) << i;
        EXPECT_TRUE(fa[stream::colour]->data == fb[stream::colour]->data) << i;
    }

    const result off = run({"reprocess", recording_, "--compare", "--filter", "off"});
    ASSERT_EQ(off.exit_code, 0) << off.err;
    double rec = 0, now = 0;
    ASSERT_EQ(std::sscanf(off.out.substr(off.out.find("\nall") + 1).c_str(), "all %lf %% %lf", &rec, &now), 2) << off.out;
    EXPECT_GT(now, rec);
}

struct stop_case {
    const char* name;
    int signal;
};
void PrintTo(const stop_case& c, std::ostream* os) { *os << c.name; }

class Stop : public ::testing::TestWithParam<stop_case> { };

TEST_P(Stop, EndsTheRecordingCleanlyWithACompleteFile)
{
    scratch_folder dir;
    const std::string path = dir.file("stopped.bag");
    process p({"record", "--out", path, "--streams", "depth,ir"});
    ASSERT_TRUE(wait_for_growth(path, 3u << 20));
    p.send(GetParam().signal);
    const result r = p.wait();
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.signal, 0);
    EXPECT_NE(r.out.find("Recorded"), std::string::npos) << r.out;
    const result info = run({"info", path, "--json"});
    ASSERT_EQ(info.exit_code, 0) << info.err;
    const nlohmann::json j = parse(info.out);
    EXPECT_GT(j["frame_sets"].get<int>(), 0);
    EXPECT_EQ(j["summary"]["ended"], "closed");
}

INSTANTIATE_TEST_SUITE_P(Cli, Stop, ::testing::Values(stop_case{"CtrlC", SIGINT}, stop_case{"Sigterm", SIGTERM}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliRepair, AKilledRecordingIsReportedUnindexedAndRepaired)
{
    scratch_folder dir;
    const std::string path = dir.file("killed.bag");
    {
        process p({"record", "--out", path, "--streams", "depth,ir"});
        ASSERT_TRUE(wait_for_growth(path, 3u << 20));
        p.send(SIGKILL);
        const result r = p.wait();
        ASSERT_EQ(r.signal, SIGKILL);
    }
    const result before = run({"info", path, "--json"});
    EXPECT_EQ(before.exit_code, 1);
    ASSERT_EQ(before.err_lines().size(), 1u) << before.err;
    EXPECT_NE(before.err.find("tessivue-cli repair"), std::string::npos) << before.err;
    EXPECT_EQ(parse(before.out)["status"], "unindexed") << before.out;

    const result repair = run({"repair", path});
    ASSERT_EQ(repair.exit_code, 0) << repair.err;
    EXPECT_NE(repair.out.find("repaired"), std::string::npos) << repair.out;
    const result after = run({"info", path, "--json"});
    ASSERT_EQ(after.exit_code, 0) << after.err;
    const nlohmann::json j = parse(after.out);
    EXPECT_GT(j["frame_sets"].get<int>(), 0);
    EXPECT_TRUE(j["summary"]["repaired"].get<bool>());
}

TEST(CliNoRawFrames, ACameraWithoutRawFramesRecordsTheProcessedStreamsAndSaysSo)
{
    scratch_folder dir;
    const std::string path = dir.file("processed.bag");
    std::map<std::string, std::string> env = fast_camera();
    env["PVX3_NO_RAW_FRAMES"] = "1";
    const result r = run({"record", "--out", path, "--frames", "2"}, env);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const result info = run({"info", path, "--json"});
    ASSERT_EQ(info.exit_code, 0) << info.err;
    const nlohmann::json j = parse(info.out);
    EXPECT_EQ(j["raw_phase"], "not offered by the camera");
    EXPECT_EQ(j["streams"].size(), 3u);
    EXPECT_TRUE(j["calibration"].is_null());
    const result again = run({"reprocess", path, "--compare"});
    EXPECT_EQ(again.exit_code, 1);
    ASSERT_EQ(again.err_lines().size(), 1u) << again.err;
    EXPECT_NE(again.err.find("holds no raw phase frames (raw phase frames: not offered by the camera)"),
              std::string::npos)
        << again.err;
}

TEST_F(Cli, DamagedFilesNeverCrashInfoExportOrReprocess)
{
    scratch_folder dir;
    const std::vector<char> bytes = recording_test::file_bytes(recording_);
    std::mt19937 gen(99);
    for (int trial = 0; trial < 6; ++trial) {
        std::vector<char> damaged = bytes;
        if (trial % 2 == 0) {
            damaged.resize(damaged.size() * size_t(2 + trial) / 9);  // truncated
        } else {
            for (int k = 0; k < 40; ++k)  // bytes flipped, the index left alone
                damaged[4096 + gen() % (damaged.size() * 3 / 4)] ^= static_cast<char>(0x5a);
        }
        const std::string path = dir.file("damaged.bag");
        recording_test::write_bytes(path, damaged);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"info", path}, std::vector<std::string>{"export", path, "--to", dir.file("x")},
              std::vector<std::string>{"reprocess", path, "--compare"}}) {
            const result r = run(args);
            EXPECT_EQ(r.signal, 0) << args[0] << " crashed on trial " << trial;
            EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << args[0] << ": " << r.err;
            if (trial % 2 == 0) {
                EXPECT_EQ(r.exit_code, 1) << args[0];
            }
        }
    }
}

}  // namespace
