#include "quit_signals.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};             // [0] written by the handler, [1] read by the notifier
volatile sig_atomic_t g_signals = 0;  // signals seen so far

void on_signal(int signal_number)
{
    // Async-signal-safe calls only.
    const int saved_errno = errno;
    if (g_signals++ > 0) {
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
    } else {
        const char byte = static_cast<char>(signal_number);
        const ssize_t ignored = ::write(g_pipe[0], &byte, 1);
        (void)ignored;
    }
    errno = saved_errno;
}

}  // namespace

bool install_quit_signals(std::function<void()> on_quit)
{
    if (g_pipe[0] >= 0)
        return false;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return false;
    // The handler must never block on a full socket.
    ::fcntl(g_pipe[0], F_SETFL, ::fcntl(g_pipe[0], F_GETFL) | O_NONBLOCK);

    auto* notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, on_quit = std::move(on_quit)] {
        char byte = 0;
        const ssize_t ignored = ::read(g_pipe[1], &byte, 1);
        (void)ignored;
        // Further bytes (none are written) would only repeat the request.
        notifier->setEnabled(false);
        on_quit();
    });

    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}
