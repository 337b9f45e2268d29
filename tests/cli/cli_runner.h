// Runs the built tessivue-cli as a user would: a separate process with its
// own stdout and stderr (files, so that stderr is no terminal), extra
// environment variables, and signals sent to it while it runs.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace cli_test {

struct result {
    int exit_code = -1;  // -1 when it ended by a signal
    int signal = 0;      // the signal that ended it
    std::string out, err;
    // Lines of stderr (without their line feeds).
    std::vector<std::string> err_lines() const;
};

class process {
public:
    process(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {});
    ~process();
    process(const process&) = delete;
    process& operator=(const process&) = delete;
    void send(int signal);
    result wait();

private:
    pid_t pid_ = -1;
    std::string out_path_, err_path_;
};

// Runs to the end.
result run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {});

// The virtual camera paced as fast as frames are taken, for quick tests.
const std::map<std::string, std::string>& fast_camera();

}  // namespace cli_test
