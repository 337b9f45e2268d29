// tessivue-cli info: what a recording holds.
#include <cstdio>

#include "arguments.h"
#include "cli.h"
#include "recording/describe.h"
#include "recording/reader.h"

namespace cli {
namespace {

constexpr const char* kCommand = "info";

constexpr const char* kHelp = R"(Usage: tessivue-cli info FILE.bag [--json]

Shows what a recording holds: streams with their counts, encodings and sizes,
frame sets, duration and measured frame rate, gaps in the frame numbers,
frame sets and raw phase frames dropped while recording, the device, the
calibration, the settings and the file size. A recording that was cut short
is reported as unindexed: tessivue-cli repair makes it readable.

Options:
  --json   the same as one JSON object on stdout (also for a file that
           cannot be read: {"readable": false, "status", "error"})
  --help   this text
)";

}  // namespace

int run_info(const args_t& args)
{
    arguments a;
    std::string error;
    if (!a.parse(args, {{"json", false}, {"help", false}}, error))
        return usage_error(kCommand, error);
    if (a.has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (a.positional().size() != 1)
        return usage_error(kCommand, a.positional().empty() ? "name the recording: tessivue-cli info FILE.bag"
                                                            : "give one recording at a time");
    const std::string& path = a.positional().front();
    const bool json = a.has("json");
    recording::open_status status;
    std::unique_ptr<recording::reader> r = recording::reader::open(path, error, &status);
    if (!r) {
        if (json)
            std::printf("%s\n", recording::unreadable_json_text(path, status, error).c_str());
        report_error(kCommand, error);
        return kExitFailure;
    }
    const recording::recording_description d = recording::describe(*r);
    std::fputs((json ? recording::to_json_text(d) + "\n" : recording::to_text(d)).c_str(), stdout);
    return kExitOk;
}

}  // namespace cli
