#include "recording/repair.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <rosbag/bag.h>
#include <std_msgs/String.h>

#include "json_records.h"
#include "messages.h"
#include "recording/reader.h"
#include "recording/topics.h"
#include "session_clock.h"

extern char** environ;

namespace recording {
namespace {

// Reindexes in place; the C++ library can only read indexed bags.
constexpr const char* kReindexScript = R"(import sys
try:
    import rosbag
except ImportError as e:
    sys.stderr.write("python3-rosbag is not installed (%s)\n" % e)
    sys.exit(3)
try:
    bag = rosbag.Bag(sys.argv[1], 'a', allow_unindexed=True)
    try:
        for _ in bag.reindex():
            pass
    finally:
        bag.close()
except Exception as e:
    sys.stderr.write("%s\n" % e)
    sys.exit(2)
)";

// Runs the reindexing; false with what it said on failure.
bool reindex(const std::string& path, std::string& error)
{
    if (::access(kReindexPython, X_OK) != 0) {
        error = std::string("repair needs Debian's python3-rosbag and ") + kReindexPython + " (not found)";
        return false;
    }
    int pipe_fd[2];
    if (::pipe2(pipe_fd, O_CLOEXEC) != 0) {
        error = std::string("cannot start the reindexing: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fd[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = {const_cast<char*>(kReindexPython), const_cast<char*>("-c"),
                               const_cast<char*>(kReindexScript), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, kReindexPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fd[1]);
    if (rc != 0) {
        ::close(pipe_fd[0]);
        error = std::string("cannot start ") + kReindexPython + ": " + std::strerror(rc);
        return false;
    }
    std::string said;
    std::array<char, 4096> buf;
    for (;;) {
        const ssize_t n = ::read(pipe_fd[0], buf.data(), buf.size());
        if (n > 0) {
            if (said.size() < 65536)
                said.append(buf.data(), size_t(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(pipe_fd[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r'))
        said.pop_back();
    const size_t last_line = said.find_last_of('\n');
    if (last_line != std::string::npos)
        said = said.substr(last_line + 1);
    error = "the bag cannot be reindexed" + (said.empty() ? std::string() : ": " + said);
    return false;
}

// Counts what a reindexed recording holds, as the writer would have.
std::string summary_of(reader& r, int64_t& last_stamp)
{
    detail::frame_ranges ranges;
    std::array<uint64_t, kStreamCount> counts{};
    uint64_t raw = 0;
    const stream cheapest = (r.streams() & bit(stream::depth))    ? stream::depth
                            : (r.streams() & bit(stream::ir))     ? stream::ir
                            : (r.streams() & bit(stream::colour)) ? stream::colour
                                                                  : stream::raw_phase;
    for (stream s : kAllStreams)
        counts[size_t(static_cast<int>(s))] = r.count(s);
    raw = r.count(stream::raw_phase);
    size_t readable = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        frame_set f;
        std::string error;
        if (r.read(i, f, error, bit(cheapest)) && f[cheapest]) {
            ranges.add(f.session, f.frame_number);
            ++readable;
        }
    }
    last_stamp = r.size() ? r.stamp_ns(r.size() - 1) : 0;
    detail::json streams = detail::json::object();
    for (stream s : kAllStreams)
        streams[stream_name(s)] = counts[size_t(static_cast<int>(s))];
    const detail::json j{{"frame_sets_submitted", r.size()},
                         {"frame_sets_written", r.size()},
                         {"frame_sets_dropped", 0},
                         {"raw_frames_written", raw},
                         {"raw_frames_dropped", 0},
                         {"messages", streams},
                         {"frame_numbers", ranges.to_json()},
                         {"first_stamp_ns", r.size() ? r.stamp_ns(0) : 0},
                         {"last_stamp_ns", last_stamp},
                         {"ended", "cut short (repaired: counts of what was lost are unknown)"},
                         {"repaired", true}};
    (void)readable;
    return detail::dump_text(j);
}

}  // namespace

bool repair(const std::string& path, std::string& message, repair_report* report)
{
    repair_report local;
    repair_report& rep = report ? *report : local;
    std::string error;
    open_status status = open_status::ok;
    {
        std::unique_ptr<reader> r = reader::open(path, error, &status);
        if (r && r->summary()) {
            rep.was_indexed = true;
            rep.frame_sets = r->size();
            message = path + " is complete and readable; nothing to repair";
            return true;
        }
    }
    if (status == open_status::not_found || status == open_status::unreadable || status == open_status::not_a_bag
        || status == open_status::foreign) {
        message = error;
        return false;
    }
    if (status != open_status::ok) {
        if (!reindex(path, error)) {
            message = "cannot repair " + path + ": " + error;
            return false;
        }
    } else {
        rep.was_indexed = true;
    }
    // Append the summary the interrupted writer never wrote.
    std::string summary;
    int64_t last_stamp = 0;
    {
        std::unique_ptr<reader> r = reader::open(path, error, &status);
        if (!r) {
            message = "cannot repair " + path + ": " + error;
            return false;
        }
        summary = summary_of(*r, last_stamp);
        rep.frame_sets = r->size();
        rep.duration_s = r->size() > 1 ? double(r->stamp_ns(r->size() - 1) - r->stamp_ns(0)) / 1e9 : 0.0;
    }
    auto bag = std::make_unique<rosbag::Bag>();
    try {
        bag->open(path, rosbag::bagmode::Append);
        std_msgs::String msg;
        msg.data = summary;
        bag->write(topics::kSummary, detail::to_ros_time(last_stamp + 1), msg);
        bag->close();
    } catch (const std::exception& e) {
        message = "reindexed " + path + " but could not add its summary: " + e.what();
        try {
            bag->close();
        } catch (const std::exception&) {
            (void)bag.release();  // never let its destructor throw
        }
        return true;  // readable all the same
    }
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.2f", rep.duration_s);
    message = "repaired " + path + ": " + std::to_string(rep.frame_sets) + " frame sets (" + duration
              + " s) readable";
    return true;
}

}  // namespace recording
