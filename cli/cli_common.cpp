#include "cli.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace cli {
namespace {

volatile sig_atomic_t g_stop = 0;

void on_stop_signal(int signal)
{
    if (g_stop) {
        // Asked twice: the user wants out now.
        static const char msg[] = "\ntessivue-cli: stopped at once; the file may need tessivue-cli repair\n";
        (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    g_stop = 1;
}

double seconds_now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void report_error(const char* command, const std::string& message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "tessivue-cli%s%s: %s\n", command ? " " : "", command ? command : "", message.c_str());
}

int usage_error(const char* command, const std::string& message)
{
    report_error(command, message + " (see tessivue-cli " + (command ? std::string(command) + " " : "") + "--help)");
    return kExitUsage;
}

void install_stop_handlers()
{
    struct sigaction sa { };
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool stop_requested() { return g_stop != 0; }

progress_line::progress_line() : terminal_(::isatty(STDERR_FILENO) == 1) { }

void progress_line::show(const std::string& text)
{
    if (!terminal_)
        return;
    const double now = seconds_now();
    if (shown_ && now - last_ < 0.2)
        return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

void progress_line::finish()
{
    if (terminal_ && shown_)
        std::fprintf(stderr, "\r\033[K");
    shown_ = false;
}

}  // namespace cli
