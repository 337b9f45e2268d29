// tessivue-cli export: frames of a recording as the files the viewer saves.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "arguments.h"
#include "cli.h"
#include "frame_files.h"
#include "recording/reader.h"

namespace cli {
namespace {

constexpr const char* kCommand = "export";

constexpr const char* kHelp = R"(Usage: tessivue-cli export FILE.bag --to DIR [OPTIONS]

Writes frames of a recording as the viewer saves them, named by the camera's
frame number N:
  depth   Depth[N].png (16-bit millimetres, 0 invalid, 1 saturated) with
          Depth[N].json (the SDK's dump metadata), depth[N].png (coloured
          over the recorded distance range)
  ir      IR[N].png (16-bit amplitude) with IR[N].json, ir[N].png (8-bit)
  color   rgb[N].png
  cloud   PointCloud[N].pcd (ASCII, organised, as the viewer saves) and
          PointCloud[N].ply (binary, valid points only)
When a recording spans several camera sessions (frame numbers begin again
after a restart), the files of session K go into DIR/sessionK.

Options:
  --to DIR        the folder to write into (created when missing)
  --range A:B     frame numbers A to B, inclusive; A: or :B leave an end open
  --kinds LIST    comma-separated: depth, ir, color, cloud (default: all the
                  recording has)
  --help          this text
)";

bool parse_range(const std::string& text, uint64_t& first, uint64_t& last)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    long long a = 0, b = 0;
    const std::string left = text.substr(0, colon), right = text.substr(colon + 1);
    first = 0;
    last = UINT64_MAX;
    if (!left.empty()) {
        if (!parse_int(left, 0, INT64_MAX, a))
            return false;
        first = uint64_t(a);
    }
    if (!right.empty()) {
        if (!parse_int(right, 0, INT64_MAX, b))
            return false;
        last = uint64_t(b);
    }
    return first <= last;
}

bool make_folder(const std::string& path, std::string& error)
{
    std::string partial;
    for (const std::string& part : split(path, '/')) {
        partial += part;
        if (!partial.empty() && ::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "cannot create " + partial + ": " + std::strerror(errno);
            return false;
        }
        partial += "/";
    }
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = path + " is not a folder";
        return false;
    }
    if (::access(path.c_str(), W_OK) != 0) {
        error = "cannot write into " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string base_name(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int run_export(const args_t& args)
{
    arguments a;
    std::string error;
    if (!a.parse(args, {{"to", true}, {"range", true}, {"kinds", true}, {"help", false}}, error))
        return usage_error(kCommand, error);
    if (a.has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (a.positional().size() != 1)
        return usage_error(kCommand, a.positional().empty() ? "name the recording: tessivue-cli export FILE.bag --to DIR"
                                                            : "give one recording at a time");
    const auto to = a.value("to");
    if (!to || to->empty())
        return usage_error(kCommand, "--to DIR is required");
    uint64_t first = 0, last = UINT64_MAX;
    if (const auto r = a.value("range"))
        if (!parse_range(*r, first, last))
            return usage_error(kCommand, "--range needs A:B with frame numbers A <= B, not \"" + *r + "\"");
    export_kinds kinds{true, true, true, true};
    if (const auto k = a.value("kinds")) {
        kinds = export_kinds{};
        for (const std::string& name : split(*k, ',')) {
            if (name == "depth")
                kinds.depth = true;
            else if (name == "ir")
                kinds.ir = true;
            else if (name == "color" || name == "colour" || name == "rgb")
                kinds.colour = true;
            else if (name == "cloud")
                kinds.cloud = true;
            else
                return usage_error(kCommand, "unknown kind \"" + name + "\" in --kinds (depth, ir, color, cloud)");
        }
    }

    const std::string& path = a.positional().front();
    std::unique_ptr<recording::reader> r = recording::reader::open(path, error);
    if (!r) {
        report_error(kCommand, error);
        return kExitFailure;
    }
    using recording::bit;
    using recording::stream;
    recording::stream_mask mask = 0;
    if (kinds.depth || kinds.cloud)
        mask |= bit(stream::depth);
    if (kinds.ir)
        mask |= bit(stream::ir);
    if (kinds.colour)
        mask |= bit(stream::colour);
    if (!(mask & r->streams())) {
        report_error(kCommand, path + " holds none of the streams asked for");
        return kExitFailure;
    }
    if (!make_folder(*to, error)) {
        report_error(kCommand, error);
        return kExitFailure;
    }

    install_stop_handlers();
    std::set<int> sessions;
    for (const recording::settings_change& c : r->settings_changes())
        if (c.session > 0)
            sessions.insert(c.session);
    const bool per_session = sessions.size() > 1;
    std::string ignored;
    std::unique_ptr<recording::reprocessor> points =
        kinds.cloud && r->calibration_count() > 0 ? recording::reprocessor::create(ignored) : nullptr;
    frame_exporter exporter(*to, base_name(path), r->device().value_or(recording::device_info{}), points.get());

    progress_line progress;
    size_t exported = 0, failures = 0, damaged = 0;
    std::string first_failure;
    std::vector<std::string> written;
    for (size_t i = 0; i < r->size() && !stop_requested(); ++i) {
        recording::frame_set f;
        if (!r->read(i, f, error, mask)) {
            if (!damaged++)
                report_error(kCommand, error + "; going on with the next frame set");
            continue;
        }
        if (f.frame_number < first || f.frame_number > last)
            continue;
        const std::string sub = per_session ? "session" + std::to_string(f.session) : std::string();
        if (!exporter.write(f, r->settings_at(i), r->calibration_at(i), kinds, sub, written, error)) {
            if (!failures++)
                first_failure = error;
        }
        ++exported;
        char line[120];
        std::snprintf(line, sizeof line, "Exporting frame set %zu of %zu (frame %llu)", i + 1, r->size(),
                      static_cast<unsigned long long>(f.frame_number));
        progress.show(line);
    }
    progress.finish();
    std::printf("Exported %zu frame sets (%zu files) into %s\n", exported, written.size(), to->c_str());
    if (failures) {
        report_error(kCommand, std::to_string(failures) + " frame sets were not exported completely: " + first_failure);
        return kExitFailure;
    }
    if (damaged) {
        report_error(kCommand, std::to_string(damaged) + " frame sets could not be read (the recording is damaged)");
        return kExitFailure;
    }
    if (exported == 0) {
        report_error(kCommand, "no frame set lies in the range asked for");
        return kExitFailure;
    }
    return stop_requested() ? kExitFailure : kExitOk;
}

}  // namespace cli
