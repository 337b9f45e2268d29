#include "disk_guard.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace recording::detail {

bool disk_guard::attach(const std::string& path, std::string& error)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    const size_t slash = path.find_last_of('/');
    folder_ = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    return true;
}

uint64_t disk_guard::available() const
{
    struct statvfs vfs { };
    if (::statvfs(folder_.c_str(), &vfs) != 0 || vfs.f_frsize == 0)
        return UINT64_MAX;
    return uint64_t(vfs.f_bavail) * uint64_t(vfs.f_frsize);
}

bool disk_guard::still_there() const
{
    struct stat st { };
    return ::stat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_;
}

bool disk_guard::detach_descriptors() const
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return false;
    bool any = false;
    const int self = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(e->d_name, &end, 10);
        if (!end || *end || fd < 0 || fd == self)
            continue;
        struct stat st { };
        if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != dev_
            || st.st_ino != ino_)
            continue;
        const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null_fd < 0)
            break;
        if (::dup2(null_fd, static_cast<int>(fd)) >= 0)
            any = true;
        ::close(null_fd);
    }
    ::closedir(dir);
    return any;
}

std::string human_bytes(uint64_t bytes)
{
    char buf[32];
    if (bytes >= 1000ull * 1000 * 1000)
        std::snprintf(buf, sizeof buf, "%.2f GB", bytes / 1e9);
    else if (bytes >= 1000ull * 1000)
        std::snprintf(buf, sizeof buf, "%.1f MB", bytes / 1e6);
    else if (bytes >= 1000)
        std::snprintf(buf, sizeof buf, "%.0f kB", bytes / 1e3);
    else
        std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
    return buf;
}

}  // namespace recording::detail
