#include "cli_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace cli_test {
namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string temp_file()
{
    char name[] = "/tmp/tessivue-cli-test-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd >= 0)
        ::close(fd);
    return name;
}

}  // namespace

std::vector<std::string> result::err_lines() const
{
    std::vector<std::string> lines;
    std::istringstream s(err);
    std::string line;
    while (std::getline(s, line))
        lines.push_back(line);
    return lines;
}

process::process(const std::vector<std::string>& args, const std::map<std::string, std::string>& env)
    : out_path_(temp_file()), err_path_(temp_file())
{
    pid_ = ::fork();
    if (pid_ != 0)
        return;
    for (const auto& [name, value] : env)
        ::setenv(name.c_str(), value.c_str(), 1);
    const int out = ::open(out_path_.c_str(), O_WRONLY | O_TRUNC);
    const int err = ::open(err_path_.c_str(), O_WRONLY | O_TRUNC);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    const int null_in = ::open("/dev/null", O_RDONLY);
    ::dup2(null_in, STDIN_FILENO);
    std::vector<char*> argv;
    std::string program = TESSIVUE_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    _exit(127);
}

process::~process()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::unlink(out_path_.c_str());
    ::unlink(err_path_.c_str());
}

void process::send(int signal)
{
    if (pid_ > 0)
        ::kill(pid_, signal);
}

result process::wait()
{
    result r;
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) {
        if (WIFEXITED(status))
            r.exit_code = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            r.signal = WTERMSIG(status);
    }
    pid_ = -1;
    r.out = slurp(out_path_);
    r.err = slurp(err_path_);
    return r;
}

result run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env)
{
    process p(args, env);
    return p.wait();
}

const std::map<std::string, std::string>& fast_camera()
{
    static const std::map<std::string, std::string> env = {{"PVX3_PACING", "fast"}};
    return env;
}

}  // namespace cli_test
