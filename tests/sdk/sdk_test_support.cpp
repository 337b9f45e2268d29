#include "sdk_test_support.h"

#include <cstdlib>

namespace sdk_test {

scoped_environment::scoped_environment(std::initializer_list<std::pair<const std::string, std::string>> list)
    : scoped_environment(std::vector<std::pair<std::string, std::string>>(list.begin(), list.end()))
{
}

scoped_environment::scoped_environment(const std::vector<std::pair<std::string, std::string>>& list)
{
    std::map<std::string, std::string> values(list.begin(), list.end());
    values.emplace("PVX3_PACING", "fast");
    for (const auto& [name, value] : values) {
        const char* old = std::getenv(name.c_str());
        saved_[name] = {old != nullptr, old ? old : ""};
        setenv(name.c_str(), value.c_str(), 1);
    }
}

scoped_environment::~scoped_environment()
{
    for (const auto& [name, old] : saved_) {
        if (old.first)
            setenv(name.c_str(), old.second.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

camera::camera()
{
    ctx = pvx3::pvx3_create_context(nullptr);
    ctx->query_devices(nullptr);
    dev = ctx->get_device(nullptr);
    sensor = dev ? dev->get_sensor(nullptr) : nullptr;
    cfg = pvx3::pvx3_create_config(ctx, nullptr);
    pipe = pvx3::pvx3_create_pipeline(ctx, nullptr);
}

camera::~camera()
{
    if (pipe)
        pipe->stop(nullptr);
}

int camera::start(const std::vector<pvx3::pvx3_stream_format>& streams)
{
    for (const auto& s : streams)
        cfg->enable_stream(s.type, s.width, s.height, nullptr);
    pvx3::pvx3_error err;
    return pipe->start(cfg, &err);
}

frameset_ptr camera::next(unsigned int timeout_ms)
{
    return frameset_ptr(pipe->wait_for_frames(timeout_ms, nullptr));
}

std::vector<uint16_t> pixels16(const pvx3::frame* f)
{
    const auto* p = static_cast<const uint16_t*>(f->get_data(nullptr));
    return std::vector<uint16_t>(p, p + size_t(f->get_width(nullptr)) * f->get_height(nullptr));
}

}  // namespace sdk_test
