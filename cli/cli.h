// tessivue-cli: record, inspect, export, re-process and repair recordings.
// Each command is a function over its arguments (without the command name)
// that returns the process's exit status.
#pragma once

#include <string>
#include <vector>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command could not do its work
inline constexpr int kExitUsage = 2;    // wrong arguments

using args_t = std::vector<std::string>;

int run_record(const args_t& args);
int run_info(const args_t& args);
int run_export(const args_t& args);
int run_reprocess(const args_t& args);
int run_repair(const args_t& args);

// The whole program: the command name first.
int run(const args_t& args);

// One line on stderr: "tessivue-cli COMMAND: MESSAGE".
void report_error(const char* command, const std::string& message);
// A usage error: the line above and a hint at --help; returns kExitUsage.
int usage_error(const char* command, const std::string& message);

// Ctrl-C and SIGTERM set the stop request (installed by the commands that
// run for long); a second one while stopping ends the process at once.
void install_stop_handlers();
bool stop_requested();

// The progress line: shown (rewritten in place) only when stderr is a
// terminal; `finish` ends it with a line feed.
class progress_line {
public:
    progress_line();
    void show(const std::string& text);
    void finish();

private:
    bool terminal_;
    bool shown_ = false;
    double last_ = -1;
};

}  // namespace cli
