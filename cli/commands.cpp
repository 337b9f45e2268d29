#include <cstdio>
#include <string>

#include "cli.h"

#ifndef TESSIVUE_VERSION
#define TESSIVUE_VERSION "0"
#endif

namespace cli {
namespace {

constexpr const char* kHelp = R"(Usage: tessivue-cli COMMAND [OPTIONS]

Records camera sessions to ROS bag files (raw phase frames included where the
camera offers them) and works with the recordings.

Commands:
  record     capture from the camera into a recording
  info       what a recording holds (--json for scripts)
  export     write frames as the viewer saves them (PNG, JSON, PCD, PLY)
  reprocess  recompute depth from the raw phase frames
  repair     make a recording that was cut short readable again

"tessivue-cli COMMAND --help" describes a command. The recording format is
described in docs/recording-format.md.
)";

}  // namespace

int run(const args_t& args)
{
    if (args.empty()) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }
    const std::string& command = args.front();
    const args_t rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::printf("tessivue-cli %s\n", TESSIVUE_VERSION);
        return kExitOk;
    }
    if (command == "record")
        return run_record(rest);
    if (command == "info")
        return run_info(rest);
    if (command == "export")
        return run_export(rest);
    if (command == "reprocess")
        return run_reprocess(rest);
    if (command == "repair")
        return run_repair(rest);
    return usage_error(nullptr, "unknown command \"" + command + "\"");
}

}  // namespace cli
