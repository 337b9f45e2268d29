// Watches the file a recording is written to: room left on its disk, and
// whether the file (or its folder) is still there.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace recording::detail {

class disk_guard {
public:
    // Remembers which file `path` is now (it must exist).
    bool attach(const std::string& path, std::string& error);

    // Bytes the caller may still write on the file's disk; UINT64_MAX when
    // the file system cannot tell.
    uint64_t available() const;
    // False once the path no longer leads to the file (removed, or its
    // folder removed or replaced).
    bool still_there() const;

    // Points this process's descriptors of the file at /dev/null, so that a
    // writer which failed half-way can finish without touching the file
    // again. True when at least one descriptor was redirected.
    bool detach_descriptors() const;

private:
    std::string path_;
    std::string folder_;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
};

// "1.2 GB", "345 MB", "12 kB".
std::string human_bytes(uint64_t bytes);

}  // namespace recording::detail
