// tessivue-cli repair: a recording cut short made readable again.
#include <cstdio>

#include "arguments.h"
#include "cli.h"
#include "recording/repair.h"

namespace cli {
namespace {

constexpr const char* kCommand = "repair";

constexpr const char* kHelp = R"(Usage: tessivue-cli repair FILE.bag

Makes a recording that was cut short (the program killed, the power lost, the
disk failing) readable again: rebuilds the bag's index and adds the summary
the recorder could not write. Everything up to the last complete chunk is
kept; the incomplete rest is dropped. The file is changed in place. A
complete recording is left as it is.

Needs Debian's python3-rosbag (its reindexing, run by /usr/bin/python3).

Options:
  --help   this text
)";

}  // namespace

int run_repair(const args_t& args)
{
    arguments a;
    std::string error;
    if (!a.parse(args, {{"help", false}}, error))
        return usage_error(kCommand, error);
    if (a.has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (a.positional().size() != 1)
        return usage_error(kCommand, a.positional().empty() ? "name the recording: tessivue-cli repair FILE.bag"
                                                            : "give one recording at a time");
    std::string message;
    if (!recording::repair(a.positional().front(), message)) {
        report_error(kCommand, message);
        return kExitFailure;
    }
    std::printf("%s\n", message.c_str());
    return kExitOk;
}

}  // namespace cli
