// Makes a recording that was cut short readable again: rebuilds the bag's
// index (with the reindexing of Debian's python3-rosbag, run by
// /usr/bin/python3, since the C++ bag library has none) and appends the
// summary that the interrupted writer never wrote. Only the incomplete last
// chunk is lost; everything before it stays. The file is changed in place.
#pragma once

#include <string>

namespace recording {

struct repair_report {
    bool was_indexed = false;  // the file was readable already
    size_t frame_sets = 0;     // readable after the repair
    double duration_s = 0;
};

// True when the file is a readable recording afterwards; `message` says
// what happened, or why it failed.
bool repair(const std::string& path, std::string& message, repair_report* report = nullptr);

// The interpreter that runs the reindexing.
inline constexpr const char* kReindexPython = "/usr/bin/python3";

}  // namespace recording
