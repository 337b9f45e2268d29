#pragma once

// A full disk for the tests: while this object lives, this process cannot
// grow a file beyond `bytes` (RLIMIT_FSIZE; SIGXFSZ is ignored, so the write
// fails with EFBIG as it would with ENOSPC). Pipes and terminals are not
// affected, so test output still flows.
#include <csignal>
#include <sys/resource.h>

class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes)
    {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~file_size_limit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};
