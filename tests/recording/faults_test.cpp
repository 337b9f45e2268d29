// Faults of files and disks: paths that cannot be written, files that are
// not recordings, recordings truncated, corrupted or cut short (repaired),
// a disk that fills up, a write that fails half-way, the folder removed
// while recording. None may crash; each ends with a message in words.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>
#include <rosbag/bag.h>
#include <std_msgs/String.h>

#include "recording/describe.h"
#include "recording/reader.h"
#include "recording/repair.h"
#include "recording/writer.h"
#include "recording_test_support.h"

using namespace recording_test;
using recording::bit;
using recording::open_status;
using recording::stream;

namespace {

// Depth (and optionally raw) frame sets of noise, numbered in pixel 0.
struct noise_frames {
    std::vector<uint16_t> depth, raw;
    int w, h;
    noise_frames(int width, int height) : w(width), h(height)
    {
        std::mt19937 gen(11);
        depth.resize(size_t(w) * h);
        raw.resize(size_t(16) * w * h);
        for (uint16_t& v : depth)
            v = static_cast<uint16_t>(gen() % 7000 + 2);
        for (uint16_t& v : raw)
            v = static_cast<uint16_t>(gen() & 1023);
    }
    recording::frame_set_view view(uint64_t n, bool with_raw)
    {
        depth[0] = static_cast<uint16_t>(n);
        recording::frame_set_view v;
        v.frame_number = n;
        v.timestamp_us = n * 33333;
        v[stream::depth] = {depth.data(), w, h, recording::encoding::kDepth, {}};
        if (with_raw)
            v[stream::raw_phase] = {raw.data(), 2 * w, 8 * h, recording::encoding::kMono16, {}};
        return v;
    }
};

// A small complete recording of `count` frame sets.
void make_recording(const std::string& path, int count, recording::compression c)
{
    noise_frames frames(160, 120);
    recording::writer_options o;
    o.compress = c;
    o.chunk_bytes = 64 * 1024;  // many chunks: truncation lands between and inside them
    std::string error;
    auto w = recording::writer::create(path, o, error);
    ASSERT_TRUE(w) << error;
    recording::camera_settings s;
    s.integration_time_us = 1000;
    w->set_settings(s);
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(w->submit(frames.view(uint64_t(i), false)));
    ASSERT_TRUE(w->close(error)) << error;
}

// Opens, describes and reads every frame set; must not crash.
void exercise(const std::string& path)
{
    std::string error;
    recording::open_status status;
    auto r = recording::reader::open(path, error, &status);
    if (!r) {
        EXPECT_FALSE(error.empty());
        return;
    }
    const recording::recording_description d = recording::describe(*r);
    (void)recording::to_text(d);
    (void)recording::to_json_text(d);
    for (size_t i = 0; i < r->size(); ++i) {
        recording::frame_set f;
        if (!r->read(i, f, error)) {
            EXPECT_FALSE(error.empty());
        }
        (void)r->settings_at(i);
        (void)r->calibration_at(i);
    }
}

struct path_case {
    const char* name;
    std::string (*make)(const scratch_folder&);
    const char* reason;  // part of the message
};
void PrintTo(const path_case& c, std::ostream* os) { *os << c.name; }

class UnwritablePath : public ::testing::TestWithParam<path_case> { };

TEST_P(UnwritablePath, IsRefusedAtOnceWithTheReason)
{
    scratch_folder dir;
    write_bytes(dir.file("plain.txt"), {'x'});
    const std::string path = GetParam().make(dir);
    std::string error;
    auto w = recording::writer::create(path, {}, error);
    EXPECT_FALSE(w);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UnwritablePath,
    ::testing::Values(
        path_case{"MissingFolder", [](const scratch_folder& d) { return d.file("no/such/folder/x.bag"); },
                  "No such file or directory"},
        path_case{"UnderAFile", [](const scratch_folder& d) { return d.file("plain.txt/x.bag"); }, "Not a directory"},
        path_case{"AFolder", [](const scratch_folder& d) { return d.path(); }, "Is a directory"},
        path_case{"ProcFileSystem", [](const scratch_folder&) { return std::string("/proc/tessivue.bag"); },
                  "cannot create"}),
    [](const auto& info) { return std::string(info.param.name); });

struct file_case {
    const char* name;
    std::vector<char> bytes;  // empty name means: no file at all
    open_status status;
    const char* words;
};
void PrintTo(const file_case& c, std::ostream* os) { *os << c.name; }

class WrongFileType : public ::testing::TestWithParam<file_case> { };

TEST_P(WrongFileType, IsRefusedWithItsReason)
{
    scratch_folder dir;
    const file_case& c = GetParam();
    const std::string path = dir.file("file.bag");
    if (c.status != open_status::not_found)
        write_bytes(path, c.bytes);
    std::string error;
    open_status status = open_status::ok;
    auto r = recording::reader::open(path, error, &status);
    EXPECT_FALSE(r);
    EXPECT_EQ(status, c.status) << error;
    EXPECT_NE(error.find(c.words), std::string::npos) << error;
    std::string message;
    EXPECT_FALSE(recording::repair(path, message));
    EXPECT_FALSE(message.empty());
}

std::vector<char> text(const char* s) { return std::vector<char>(s, s + std::strlen(s)); }

INSTANTIATE_TEST_SUITE_P(
    Faults, WrongFileType,
    ::testing::Values(file_case{"Png", text("\x89PNG\r\n\x1a\n\0\0\0\rIHDR"), open_status::not_a_bag, "not a ROS bag"},
                      file_case{"Text", text("integration time 1000\n"), open_status::not_a_bag, "not a ROS bag"},
                      file_case{"Empty", {}, open_status::not_a_bag, "not a recording"},
                      file_case{"OlderBagVersion", text("#ROSBAG V1.2\nrest"), open_status::not_a_bag, "version"},
                      file_case{"Missing", {}, open_status::not_found, "No such file"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Faults, ABagFromElsewhereIsNamedForWhatItIs)
{
    scratch_folder dir;
    const std::string path = dir.file("foreign.bag");
    {
        rosbag::Bag bag(path, rosbag::bagmode::Write);
        std_msgs::String msg;
        msg.data = "hello";
        bag.write("/chatter", ros::Time(1, 0), msg);
    }
    std::string error;
    open_status status = open_status::ok;
    EXPECT_FALSE(recording::reader::open(path, error, &status));
    EXPECT_EQ(status, open_status::foreign);
    EXPECT_NE(error.find("not a Tessivue recording"), std::string::npos) << error;
    EXPECT_NE(error.find("/chatter"), std::string::npos) << error;
}

class Truncated : public ::testing::TestWithParam<recording::compression> { };

TEST_P(Truncated, IsReportedNeverCrashesAndRepairKeepsTheCompleteChunks)
{
    scratch_folder dir;
    const std::string whole = dir.file("whole.bag");
    make_recording(whole, 24, GetParam());
    const std::vector<char> bytes = file_bytes(whole);
    ASSERT_GT(bytes.size(), 4096u);
    for (const double keep : {0.02, 0.5, 0.97}) {
        SCOPED_TRACE("kept " + std::to_string(keep));
        const std::string path = dir.file("cut.bag");
        write_bytes(path, std::vector<char>(bytes.begin(), bytes.begin() + long(keep * double(bytes.size()))));
        std::string error;
        open_status status = open_status::ok;
        EXPECT_FALSE(recording::reader::open(path, error, &status));
        EXPECT_EQ(status, open_status::unindexed);
        EXPECT_NE(error.find("tessivue-cli repair"), std::string::npos) << error;
        std::string message;
        const bool repaired = recording::repair(path, message);
        if (keep < 0.1) {
            // Too little for a frame set: any outcome but a crash, in words.
            EXPECT_FALSE(message.empty());
            continue;
        }
        ASSERT_TRUE(repaired) << message;
        auto r = recording::reader::open(path, error);
        ASSERT_TRUE(r) << error;
        EXPECT_GT(r->size(), 0u);
        EXPECT_LE(r->size(), 24u);
        ASSERT_TRUE(r->summary());
        EXPECT_TRUE(r->summary()->repaired);
        for (size_t i = 0; i < r->size(); ++i) {
            recording::frame_set f;
            ASSERT_TRUE(r->read(i, f, error)) << error;
            EXPECT_EQ(f.frame_number, i);
            EXPECT_EQ(f[stream::depth]->pixels16()[0], uint16_t(i));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, Truncated,
                         ::testing::Values(recording::compression::none, recording::compression::lz4),
                         [](const auto& info) { return std::string(recording::compression_name(info.param)); });

TEST(Faults, CorruptedBytesNeverCrashTheReader)
{
    scratch_folder dir;
    const std::string whole = dir.file("whole.bag");
    make_recording(whole, 6, recording::compression::lz4);
    const std::vector<char> bytes = file_bytes(whole);
    std::mt19937 gen(2024);
    for (int trial = 0; trial < 120; ++trial) {
        std::vector<char> damaged = bytes;
        const int flips = 1 + int(gen() % 8);
        for (int k = 0; k < flips; ++k)
            damaged[gen() % damaged.size()] ^= static_cast<char>(1 + gen() % 255);
        const std::string path = dir.file("damaged.bag");
        write_bytes(path, damaged);
        SCOPED_TRACE("trial " + std::to_string(trial));
        exercise(path);
    }
}

// The bag library trusts the field lengths inside record headers: a field
// claiming more bytes than its header holds made it read past its buffer
// (found by fuzzing the reader, in a connection record's data). Such files
// are refused as damaged before the library parses them.
struct header_damage {
    const char* name;
    // Offset of the 4-byte length (or offset) to enlarge, and the length of
    // the block it must stay within.
    void (*locate)(const std::vector<char>& bag, size_t& field, uint32_t& block);
    const char* says;
};
void PrintTo(const header_damage& c, std::ostream* os) { *os << c.name; }

uint32_t u32_at(const std::vector<char>& b, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// The first connection record: at index_pos, as the file header says.
size_t first_connection(const std::vector<char>& b)
{
    const size_t header_len = u32_at(b, 13);
    for (size_t pos = 17; pos < 17 + header_len;) {
        const uint32_t len = u32_at(b, pos);
        const std::string field(b.data() + pos + 4, len);
        if (field.rfind("index_pos=", 0) == 0) {
            uint64_t index_pos = 0;
            std::memcpy(&index_pos, field.data() + 10, 8);
            return size_t(index_pos);
        }
        pos += 4 + len;
    }
    return 0;
}

// Header fields of the record at `at`, and the offset of its data.
std::map<std::string, std::string> fields_at(const std::vector<char>& b, size_t at, size_t& data)
{
    std::map<std::string, std::string> fields;
    const size_t header_len = u32_at(b, at);
    for (size_t pos = at + 4; pos < at + 4 + header_len;) {
        const uint32_t len = u32_at(b, pos);
        const std::string field(b.data() + pos + 4, len);
        const size_t eq = field.find('=');
        fields[field.substr(0, eq)] = field.substr(eq + 1);
        pos += 4 + len;
    }
    data = at + 4 + header_len + 4;
    return fields;
}

// The first entry of the index record after the first chunk: its offset
// locates a message inside the chunk.
void first_index_entry(const std::vector<char>& b, size_t& field, uint32_t& block)
{
    size_t at = first_connection(b), data = 0;
    for (int k = 0; k < 64; ++k) {
        const auto f = fields_at(b, at, data);
        if (f.at("op") == std::string(1, '\x06')) {
            uint64_t chunk_pos = 0;
            std::memcpy(&chunk_pos, f.at("chunk_pos").data(), 8);
            const auto chunk = fields_at(b, size_t(chunk_pos), data);
            std::memcpy(&block, chunk.at("size").data(), 4);
            const size_t index = data + u32_at(b, data - 4);
            fields_at(b, index, data);
            field = data + 8;
            return;
        }
        at = data + u32_at(b, data - 4);
    }
}

class DamagedHeader : public ::testing::TestWithParam<header_damage> { };

TEST_P(DamagedHeader, IsRefusedAsDamagedNotReadPast)
{
    scratch_folder dir;
    const std::string path = dir.file("recording.bag");
    make_recording(path, 3, recording::compression::none);
    std::vector<char> bytes = file_bytes(path);
    std::string error;
    ASSERT_TRUE(recording::reader::open(path, error)) << error;

    size_t field = 0;
    uint32_t block = 0;
    GetParam().locate(bytes, field, block);
    ASSERT_GT(field, 0u);
    const uint32_t claimed = block + 6900;  // past the block, as the fuzzer found
    std::memcpy(bytes.data() + field, &claimed, 4);
    write_bytes(path, bytes);

    open_status status = open_status::ok;
    EXPECT_FALSE(recording::reader::open(path, error, &status));
    EXPECT_EQ(status, open_status::damaged);
    EXPECT_NE(error.find("is damaged"), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().says), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DamagedHeader,
    ::testing::Values(
        header_damage{"FileHeaderField",
                      [](const std::vector<char>& b, size_t& field, uint32_t& block) {
                          field = 17;
                          block = u32_at(b, 13);
                      },
                      "malformed"},
        header_damage{"ConnectionHeaderField",
                      [](const std::vector<char>& b, size_t& field, uint32_t& block) {
                          const size_t at = first_connection(b);
                          field = at + 4;
                          block = u32_at(b, at);
                      },
                      "malformed"},
        header_damage{"ConnectionDataField",
                      [](const std::vector<char>& b, size_t& field, uint32_t& block) {
                          const size_t at = first_connection(b);
                          const size_t data = at + 4 + u32_at(b, at);
                          field = data + 4;
                          block = u32_at(b, data);
                      },
                      "malformed"},
        // Found by fuzzing too: the library read a message at the entry's
        // offset, far outside the chunk.
        header_damage{"IndexEntryPastItsChunk", first_index_entry, "past the end of its chunk"}),
    [](const auto& info) { return std::string(info.param.name); });

// The sanitizers reserve terabytes of shadow address space, so their builds
// read without the address-space cap (the plain build keeps it).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerShadow = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitizerShadow = true;
#else
constexpr bool kSanitizerShadow = false;
#endif
#else
constexpr bool kSanitizerShadow = false;
#endif

// Text from a damaged file (an image encoding, a warning quoting what was
// read, a device string) may hold bytes that are not UTF-8; the JSON library
// threw on them, which ended `tessivue-cli info --json` with an abort (found
// by fuzzing the reader). They are written as U+FFFD instead.
// A damaged length prefix inside an image message: the serialisation library
// would size the pixel buffer from it (4 GB) before noticing the bytes are not
// there. The read must be refused from the message's own size instead; the
// child's address space is capped so the old behaviour cannot take the machine.
TEST(Faults, AnImageLengthPastItsMessageIsRefusedWithoutAllocatingIt)
{
    scratch_folder dir;
    const std::string path = dir.file("recording.bag");
    make_recording(path, 3, recording::compression::none);
    std::vector<char> bytes = file_bytes(path);

    // encoding, is_bigendian, step (320), pixel byte count (38400) of 160 x 120 depth
    std::string pattern = std::string("\x05\0\0\0", 4) + recording::encoding::kDepth + std::string(1, '\0');
    const uint32_t step = 320, count = 38400;
    pattern.append(reinterpret_cast<const char*>(&step), 4).append(reinterpret_cast<const char*>(&count), 4);
    const auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    ASSERT_NE(at, bytes.end());
    const uint32_t claimed = 0xFFFFFFF0u;
    std::memcpy(&*at + pattern.size() - 4, &claimed, 4);
    write_bytes(path, bytes);

    const auto read_capped = [&] {
        if (!kSanitizerShadow) {
            const rlimit cap{1u << 30, 1u << 30};
            setrlimit(RLIMIT_AS, &cap);
        }
        std::string error;
        auto r = recording::reader::open(path, error);
        if (!r)
            _exit(2);
        recording::frame_set f;
        const bool read = r->read(0, f, error);
        std::fprintf(stderr, "%s\n", error.c_str());
        _exit(!read && error.find("runs past") != std::string::npos ? 0 : 1);
    };
    EXPECT_EXIT(read_capped(), ::testing::ExitedWithCode(0), "is damaged there");
}

TEST(Faults, DescriptionsOfBytesThatAreNotUtf8AreJsonNotAnAbort)
{
    const std::string bad = "16UC1\xff\xc3(";
    recording::recording_description d;
    d.path = "damaged.bag";
    d.streams.push_back({stream::depth, 3, bad, 8, 6});
    d.warnings.push_back("unreadable settings record: " + bad);
    recording::device_info device;
    device.serial_number = bad;
    d.device = device;
    std::string text;
    ASSERT_NO_THROW(text = recording::to_json_text(d));
    const nlohmann::json j = nlohmann::json::parse(text);
    EXPECT_EQ(j["streams"][0]["encoding"], "16UC1\xef\xbf\xbd\xef\xbf\xbd(");
    EXPECT_EQ(j["device"]["serial_number"], j["streams"][0]["encoding"]);
    EXPECT_EQ(j["warnings"].size(), 1u);

    ASSERT_NO_THROW(text = recording::unreadable_json_text("x\xfe.bag", open_status::damaged, "bad " + bad));
    EXPECT_EQ(nlohmann::json::parse(text)["path"], "x\xef\xbf\xbd.bag");
}

TEST(Faults, ARecordingCutShortByAKillIsRepaired)
{
    scratch_folder dir;
    const std::string path = dir.file("killed.bag");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        noise_frames frames(160, 120);
        recording::writer_options o;
        o.chunk_bytes = 64 * 1024;
        std::string error;
        auto w = recording::writer::create(path, o, error);
        if (!w)
            _exit(3);
        for (uint64_t i = 0; i < 40; ++i)
            w->submit(frames.view(i, false));
        while (w->status().queue_bytes > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ::kill(::getpid(), SIGKILL);  // no close, no index
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer process was to be killed";
    std::string error;
    open_status st = open_status::ok;
    EXPECT_FALSE(recording::reader::open(path, error, &st));
    EXPECT_EQ(st, open_status::unindexed) << error;
    EXPECT_NE(error.find("cut short"), std::string::npos) << error;
    std::string message;
    recording::repair_report report;
    ASSERT_TRUE(recording::repair(path, message, &report)) << message;
    EXPECT_FALSE(report.was_indexed);
    auto r = recording::reader::open(path, error);
    ASSERT_TRUE(r) << error;
    // Everything before the last complete chunk: nearly all of the 40.
    EXPECT_GE(r->size(), 30u);
    for (size_t i = 0; i < r->size(); ++i) {
        recording::frame_set f;
        ASSERT_TRUE(r->read(i, f, error)) << error;
        EXPECT_EQ(f[stream::depth]->pixels16()[0], uint16_t(i));
    }
    // A second repair finds nothing to do.
    EXPECT_TRUE(recording::repair(path, message, &report)) << message;
    EXPECT_TRUE(report.was_indexed);
    EXPECT_NE(message.find("nothing to repair"), std::string::npos);
}

// Records until the writer stops by itself; returns its status.
recording::writer_status record_until_stopped(recording::writer& w, noise_frames& frames, bool raw)
{
    for (uint64_t i = 0; i < 100000; ++i) {
        const recording::writer_status s = w.status();
        if (s.stopped)
            return s;
        w.submit(frames.view(i, raw));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return w.status();
}

TEST(Faults, AFullDiskStopsTheRecordingWithEverythingBeforeReadable)
{
    scratch_folder dir;
    const std::string mnt = dir.file("small-disk");
    std::filesystem::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=48m") != 0)
        GTEST_SKIP() << "cannot mount a small file system here (" << std::strerror(errno) << ")";
    struct unmount_at_end {
        std::string at;
        ~unmount_at_end() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mnt};
    const std::string path = mnt + "/full.bag";
    noise_frames frames(640, 480);
    recording::writer_options o;
    o.compress = recording::compression::none;
    o.disk_reserve_bytes = 1u << 20;
    std::string error;
    auto w = recording::writer::create(path, o, error);
    ASSERT_TRUE(w) << error;
    const recording::writer_status s = record_until_stopped(*w, frames, true);
    ASSERT_TRUE(s.stopped);
    EXPECT_NE(s.problem.find("disk is full"), std::string::npos) << s.problem;
    EXPECT_FALSE(w->close(error));
    EXPECT_NE(error.find("disk is full"), std::string::npos) << error;
    auto r = recording::reader::open(path, error);
    ASSERT_TRUE(r) << error;
    EXPECT_GT(r->size(), 0u);
    const recording::writer_status end = w->status();
    EXPECT_EQ(r->size(), size_t(end.frame_sets_written));
    // Frame sets still queued when the disk filled count as dropped.
    EXPECT_EQ(end.frame_sets_written + end.frame_sets_dropped, end.frame_sets_submitted);
    ASSERT_TRUE(r->summary());
    EXPECT_NE(r->summary()->ended.find("disk is full"), std::string::npos);
    for (size_t i = 0; i < r->size(); ++i) {
        recording::frame_set f;
        ASSERT_TRUE(r->read(i, f, error)) << error;
    }
}

TEST(Faults, AWriteFailingHalfWayLeavesARepairableFile)
{
    scratch_folder dir;
    const std::string path = dir.file("too-big.bag");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The file may not grow past 6 MB: the next write fails (EFBIG).
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{6u << 20, 6u << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        noise_frames frames(160, 120);
        std::string error;
        recording::writer_options o;
        o.chunk_bytes = 64 * 1024;
        auto w = recording::writer::create(path, o, error);
        if (!w)
            _exit(3);
        const recording::writer_status s = record_until_stopped(*w, frames, true);
        if (!s.stopped || s.problem.find("cannot write") == std::string::npos)
            _exit(4);
        if (w->close(error) || error.find("tessivue-cli repair") == std::string::npos)
            _exit(5);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "3: no writer, 4: no clear stop, 5: close did not point at repair";
    std::string message;
    ASSERT_TRUE(recording::repair(path, message)) << message;
    std::string error;
    auto r = recording::reader::open(path, error);
    ASSERT_TRUE(r) << error;
    EXPECT_GT(r->size(), 0u);
}

TEST(Faults, TheFolderRemovedWhileRecordingStopsTheRecordingInWords)
{
    scratch_folder dir;
    const std::string folder = dir.file("session");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/x.bag";
    noise_frames frames(160, 120);
    std::string error;
    auto w = recording::writer::create(path, {}, error);
    ASSERT_TRUE(w) << error;
    for (uint64_t i = 0; i < 5; ++i)
        w->submit(frames.view(i, false));
    std::filesystem::remove_all(folder);
    recording::writer_status s;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (uint64_t i = 5; std::chrono::steady_clock::now() < deadline; ++i) {
        s = w->status();
        if (s.stopped)
            break;
        w->submit(frames.view(i, false));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(s.stopped);
    EXPECT_NE(s.problem.find("was removed while recording"), std::string::npos) << s.problem;
    EXPECT_FALSE(w->close(error));
    EXPECT_NE(error.find("was removed"), std::string::npos) << error;
}

}  // namespace
