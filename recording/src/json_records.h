// The JSON texts of the recording's std_msgs/String topics: recording header,
// device information, settings, calibration and summary
// (docs/recording-format.md gives their keys).
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "recording/types.h"

namespace recording::detail {

using json = nlohmann::json;

json to_json(const device_info& d);
device_info device_from_json(const json& j);

// Settings as recorded: the values, the camera session they belong to and
// that session's clock origin (recording time of camera time 0), and the
// names of the settings that changed since the last message.
struct settings_record {
    camera_settings settings;
    int session = 0;
    int64_t clock_origin_ns = 0;
    std::vector<std::string> changed;
};
json to_json(const settings_record& r);
settings_record settings_from_json(const json& j);

json to_json(const calibration& c);
// False with a reason when a field is missing or out of its range.
bool calibration_from_json(const json& j, calibration& out, std::string& error);

// Parses text into JSON; false (no exception) when it is not JSON.
bool parse_json(const std::string& text, json& out);

// The text of `j` (indented by `indent` spaces, -1: one line). Strings from a
// camera or a damaged file may hold invalid UTF-8, which the JSON library
// would throw on: such bytes become U+FFFD.
std::string dump_text(const json& j, int indent = -1);

// Looks a value up; `fallback` when missing or of another type.
template <typename T>
T value_or(const json& j, const char* key, T fallback)
{
    if (!j.is_object())
        return fallback;
    const auto it = j.find(key);
    if (it == j.end() || it->is_null())
        return fallback;
    try {
        return it->get<T>();
    } catch (const json::exception&) {
        return fallback;
    }
}

}  // namespace recording::detail
