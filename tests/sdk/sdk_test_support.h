// Shared set-up of the SDK tests: configuration variables applied for one
// test, and a camera opened through the public interface.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <parvolux3/pvx3.h>
#include <parvolux3/pvx3_testing.h>

namespace sdk_test {

// Sets PVX3_* variables for its lifetime and restores the previous values.
// PVX3_PACING defaults to "fast" (frame sets as fast as they are consumed).
class scoped_environment {
public:
    explicit scoped_environment(std::initializer_list<std::pair<const std::string, std::string>> values = {});
    explicit scoped_environment(const std::vector<std::pair<std::string, std::string>>& values);
    ~scoped_environment();
    scoped_environment(const scoped_environment&) = delete;
    scoped_environment& operator=(const scoped_environment&) = delete;

private:
    std::map<std::string, std::pair<bool, std::string>> saved_;
};

using frameset_ptr = std::unique_ptr<pvx3::frameset>;

// A context with its first device, a configuration and a pipeline (created
// under the current environment).
struct camera {
    pvx3::context* ctx = nullptr;
    pvx3::device* dev = nullptr;
    pvx3::sensor* sensor = nullptr;
    pvx3::config* cfg = nullptr;
    pvx3::pipeline* pipe = nullptr;

    camera();
    ~camera();
    // Enables the streams and starts the pipeline; returns the start status.
    int start(const std::vector<pvx3::pvx3_stream_format>& streams);
    // Next frame set, or null after `timeout_ms`.
    // The generous default covers the first frame set of a slow (sanitizer)
    // build, which ray-casts the static scene once.
    frameset_ptr next(unsigned int timeout_ms = 60000);
};

// Pixels of a 16-bit frame, copied.
std::vector<uint16_t> pixels16(const pvx3::frame* f);

}  // namespace sdk_test
