#include "crash_handler.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <typeinfo>
#include <unistd.h>

#include <cxxabi.h>

namespace {

// Prepared at install time; the handler only reads them.
char g_root[4096] = {0};  // "<exe folder>/crash"
long g_utc_offset_s = 0;  // local time minus UTC at install time
std::terminate_handler g_previous_terminate = nullptr;
volatile sig_atomic_t g_in_handler = 0;

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// --- async-signal-safe text helpers -------------------------------------

struct text_buffer {
    char data[4352];
    size_t size = 0;

    void add(const char* s)
    {
        while (*s && size + 1 < sizeof(data))
            data[size++] = *s++;
        data[size] = '\0';
    }
    void add_unsigned(unsigned long long v)
    {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0 && size + 1 < sizeof(data))
            data[size++] = digits[--n];
        data[size] = '\0';
    }
    void add_hex(unsigned long long v)
    {
        add("0x");
        char digits[20];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[v & 0xF];
            v >>= 4;
        } while (v != 0);
        while (n > 0 && size + 1 < sizeof(data))
            data[size++] = digits[--n];
        data[size] = '\0';
    }
};

void write_all(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

const char* signal_name(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

// Civil date from days since 1970-01-01 (proleptic Gregorian); localtime is
// not async-signal-safe, so the handler does the arithmetic itself.
void civil_from_days(long long z, long long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
}

// Writes the report; `cause` is the first line, `address` the faulting
// address (null when there is none).
void write_report(const char* cause, int sig, const void* address)
{
    const long long now = static_cast<long long>(::time(nullptr)) + g_utc_offset_s;
    long long days = now / 86400;
    long long secs = now % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    long long year;
    unsigned month, day;
    civil_from_days(days, year, month, day);

    text_buffer folder;
    folder.add(g_root);
    ::mkdir(folder.data, 0755);
    folder.add("/");
    folder.add_unsigned(static_cast<unsigned long long>(year));
    folder.add("-");
    folder.add_unsigned(month);
    folder.add("-");
    folder.add_unsigned(day);
    ::mkdir(folder.data, 0755);

    text_buffer file;
    file.add(folder.data);
    file.add("/zavire-");
    file.add_unsigned(static_cast<unsigned long long>(secs / 3600));
    file.add(".");
    file.add_unsigned(static_cast<unsigned long long>(secs / 60 % 60));
    file.add(".");
    file.add_unsigned(static_cast<unsigned long long>(secs % 60));
    file.add(".dmp");

    const int fd = ::open(file.data, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;

    text_buffer head;
    head.add("Tessivue crash report\ncause: ");
    head.add(cause);
    head.add("\nsignal: ");
    head.add_unsigned(static_cast<unsigned long long>(sig));
    head.add(" (");
    head.add(signal_name(sig));
    head.add(")\naddress: ");
    head.add_hex(reinterpret_cast<unsigned long long>(address));
    head.add("\npid: ");
    head.add_unsigned(static_cast<unsigned long long>(::getpid()));
    head.add("\nbacktrace:\n");
    write_all(fd, head.data, head.size);

    void* frames[128];
    const int count = ::backtrace(frames, 128);
    ::backtrace_symbols_fd(frames, count, fd);
    ::close(fd);
}

// Ends the process through the signal's default action, so the parent sees a
// crash and never exit status 0.
[[noreturn]] void die(int sig)
{
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof(dfl));
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);
}

void on_signal(int sig, siginfo_t* info, void*)
{
    if (g_in_handler)
        die(sig);  // a fault inside the handler: give up at once
    g_in_handler = 1;
    write_report("fatal signal", sig, info != nullptr ? info->si_addr : nullptr);
    die(sig);
}

void on_terminate()
{
    // Not a signal context: naming the exception is allowed here.
    char cause[512] = "uncaught C++ exception";
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            std::snprintf(cause, sizeof(cause), "uncaught C++ exception: %s", e.what());
        } catch (...) {
            const std::type_info* type = abi::__cxa_current_exception_type();
            std::snprintf(cause, sizeof(cause), "uncaught C++ exception of type %s",
                          type != nullptr ? type->name() : "unknown");
        }
    } else {
        std::snprintf(cause, sizeof(cause), "std::terminate called without an exception");
    }
    g_in_handler = 1;
    write_report(cause, SIGABRT, nullptr);
    die(SIGABRT);
}

}  // namespace

void set_crash_root(const char* folder)
{
    std::strncpy(g_root, folder, sizeof(g_root) - 1);
    g_root[sizeof(g_root) - 1] = '\0';
}

void install_crash_handler()
{
    if (g_root[0] == '\0') {
        QByteArray root = QCoreApplication::applicationDirPath().toLocal8Bit();
        if (root.isEmpty()) {
            char exe[4096];
            const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
            if (n > 0) {
                exe[n] = '\0';
                if (char* slash = std::strrchr(exe, '/'))
                    *slash = '\0';
                root = exe;
            }
        }
        root += "/crash";
        set_crash_root(root.constData());
    }

    // UTC offset of the local zone now (DST changes during the run are not
    // followed: the handler cannot call localtime safely).
    const time_t now = ::time(nullptr);
    struct tm local;
    ::localtime_r(&now, &local);
    g_utc_offset_s = local.tm_gmtoff;

    // The first backtrace() call loads the unwinder with malloc; do it now.
    void* warm[4];
    ::backtrace(warm, 4);

    // The handler needs its own stack to report a stack overflow.
    static char alt_stack[64 * 1024];
    stack_t ss;
    ss.ss_sp = alt_stack;
    ss.ss_size = sizeof(alt_stack);
    ss.ss_flags = 0;
    ::sigaltstack(&ss, nullptr);

    struct sigaction sa;
    std::memset(&sa, 0, sizeof(sa));
    sa.sa_sigaction = on_signal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : kFatalSignals)
        ::sigaction(sig, &sa, nullptr);

    g_previous_terminate = std::set_terminate(on_terminate);
}
