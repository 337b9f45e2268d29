#include "json_records.h"

#include <cmath>
#include <cstring>

namespace recording::detail {
namespace {

// The calibration block's four-byte values F[0..1099] by name, as the
// reconstruction library's CalibrationBlock names them.
struct block_field {
    const char* name;
    int first;
    int count;
    bool is_float;
};
constexpr block_field kBlockFields[] = {
    {"distCoeffs", 0, 5, true},
    {"depthIntrinsics", 5, 4, true},
    {"depthGridWidth", 9, 1, false},
    {"depthGridHeight", 10, 1, false},
    {"reserved1", 11, 2, false},
    {"colourDistCoeffs", 13, 5, true},
    {"colourIntrinsics", 18, 4, true},
    {"colourWidth", 22, 1, false},
    {"colourHeight", 23, 1, false},
    {"globalOffset80", 24, 1, true},
    {"globalOffset100", 25, 1, true},
    {"reserved2", 26, 1, false},
    {"wigglingError80Count", 27, 1, false},
    {"wigglingError80", 28, 256, true},
    {"wigglingError100Count", 284, 1, false},
    {"wigglingError100", 285, 256, true},
    {"fitting80", 541, 6, true},
    {"fitting100", 547, 6, true},
    {"tempOffset80", 553, 4, true},
    {"tempOffset100", 557, 4, true},
    {"depthOffset", 561, 1, false},
    {"fittingOffset80", 562, 6, true},
    {"fittingOffset100", 568, 6, true},
    {"otherOffset2", 574, 9, true},
    {"otherOffset3", 583, 3, true},
    {"otherOffset4Count", 586, 1, false},
    {"otherOffset4", 587, 256, true},
    {"otherOffset5Count", 843, 1, false},
    {"otherOffset5", 844, 256, true},
};

// A float travels as the double of the same value: printed with 17
// significant digits it reads back to the same float, bit for bit.
json word_to_json(uint32_t w, bool is_float)
{
    if (!is_float)
        return static_cast<int32_t>(w);
    float f;
    std::memcpy(&f, &w, sizeof f);
    if (!std::isfinite(f))
        return nullptr;  // JSON has no such number; read back as NaN
    return static_cast<double>(f);
}

bool word_from_json(const json& v, bool is_float, uint32_t& w)
{
    if (is_float) {
        float f;
        if (v.is_null())
            f = std::nanf("");
        else if (v.is_number())
            f = static_cast<float>(v.get<double>());
        else
            return false;
        std::memcpy(&w, &f, sizeof w);
        return true;
    }
    if (!v.is_number_integer())
        return false;
    const int64_t i = v.get<int64_t>();
    if (i < INT32_MIN || i > INT32_MAX)
        return false;
    w = static_cast<uint32_t>(static_cast<int32_t>(i));
    return true;
}

json filter_parameters_to_json(const std::map<int, std::vector<float>>& p)
{
    json o = json::object();
    for (const auto& [code, values] : p) {
        json a = json::array();
        for (float v : values)
            a.push_back(static_cast<double>(v));
        o[std::to_string(code)] = a;
    }
    return o;
}

std::map<int, std::vector<float>> filter_parameters_from_json(const json& j)
{
    std::map<int, std::vector<float>> out;
    if (!j.is_object())
        return out;
    for (auto it = j.begin(); it != j.end(); ++it) {
        char* end = nullptr;
        const long code = std::strtol(it.key().c_str(), &end, 10);
        if (!end || *end || !it->is_array())
            continue;
        std::vector<float> values;
        for (const json& v : *it)
            if (v.is_number())
                values.push_back(static_cast<float>(v.get<double>()));
        out[static_cast<int>(code)] = values;
    }
    return out;
}

json size_or_null(int w, int h)
{
    if (w <= 0 || h <= 0)
        return nullptr;
    return json::array({w, h});
}

void size_from(const json& j, const char* key, int& w, int& h)
{
    w = h = 0;
    const auto it = j.find(key);
    if (it == j.end() || !it->is_array() || it->size() != 2 || !(*it)[0].is_number_integer()
        || !(*it)[1].is_number_integer())
        return;
    w = (*it)[0].get<int>();
    h = (*it)[1].get<int>();
}

}  // namespace

bool parse_json(const std::string& text, json& out)
{
    out = json::parse(text, nullptr, false);
    return !out.is_discarded();
}

json to_json(const device_info& d)
{
    return json{{"module_name", d.module_name},
                {"product_number", d.product_number},
                {"firmware_version", d.firmware_version},
                {"recommended_firmware_version", d.recommended_firmware_version},
                {"serial_number", d.serial_number},
                {"sdk_version", d.sdk_version},
                {"reconstruction_version", d.reconstruction_version},
                {"has_tof", d.has_tof},
                {"has_rgb", d.has_rgb},
                {"has_raw_phase", d.has_raw_phase}};
}

device_info device_from_json(const json& j)
{
    device_info d;
    d.module_name = value_or<std::string>(j, "module_name", "");
    d.product_number = value_or<std::string>(j, "product_number", "");
    d.firmware_version = value_or<std::string>(j, "firmware_version", "");
    d.recommended_firmware_version = value_or<std::string>(j, "recommended_firmware_version", "");
    d.serial_number = value_or<std::string>(j, "serial_number", "");
    d.sdk_version = value_or<std::string>(j, "sdk_version", "");
    d.reconstruction_version = value_or<std::string>(j, "reconstruction_version", "");
    d.has_tof = value_or<bool>(j, "has_tof", false);
    d.has_rgb = value_or<bool>(j, "has_rgb", false);
    d.has_raw_phase = value_or<bool>(j, "has_raw_phase", false);
    return d;
}

json to_json(const settings_record& r)
{
    const camera_settings& s = r.settings;
    return json{{"integration_time_us", s.integration_time_us},
                {"distance_range_mm", {{"near", s.near_mm}, {"far", s.far_mm}}},
                {"flip_vertical", s.flip_vertical},
                {"flip_horizontal", s.flip_horizontal},
                {"filter", s.filter},
                {"depth_resolution", size_or_null(s.depth_width, s.depth_height)},
                {"color_resolution", size_or_null(s.colour_width, s.colour_height)},
                {"filter_parameters", filter_parameters_to_json(s.filter_parameters)},
                {"session", r.session},
                {"camera_clock_origin_ns", r.clock_origin_ns},
                {"changed", r.changed}};
}

settings_record settings_from_json(const json& j)
{
    settings_record r;
    camera_settings& s = r.settings;
    s.integration_time_us = value_or<int>(j, "integration_time_us", 0);
    if (j.is_object() && j.contains("distance_range_mm")) {
        const json& d = j["distance_range_mm"];
        s.near_mm = value_or<int>(d, "near", 0);
        s.far_mm = value_or<int>(d, "far", 0);
    }
    s.flip_vertical = value_or<bool>(j, "flip_vertical", false);
    s.flip_horizontal = value_or<bool>(j, "flip_horizontal", false);
    s.filter = value_or<int>(j, "filter", 0);
    if (j.is_object()) {
        size_from(j, "depth_resolution", s.depth_width, s.depth_height);
        size_from(j, "color_resolution", s.colour_width, s.colour_height);
        if (j.contains("filter_parameters"))
            s.filter_parameters = filter_parameters_from_json(j["filter_parameters"]);
    }
    r.session = value_or<int>(j, "session", 0);
    r.clock_origin_ns = value_or<int64_t>(j, "camera_clock_origin_ns", 0);
    r.changed = value_or<std::vector<std::string>>(j, "changed", {});
    return r;
}

json to_json(const calibration& c)
{
    json block = json::object();
    for (const block_field& f : kBlockFields) {
        const auto word = [&](int i) -> uint32_t {
            const size_t at = size_t(f.first + i);
            return at < c.words.size() ? c.words[at] : 0u;
        };
        if (f.count == 1) {
            block[f.name] = word_to_json(word(0), f.is_float);
        } else {
            json a = json::array();
            for (int i = 0; i < f.count; ++i)
                a.push_back(word_to_json(word(i), f.is_float));
            block[f.name] = a;
        }
    }
    return json{{"device_type", c.device_type},
                {"mode", c.mode},
                {"width", c.width},
                {"height", c.height},
                {"frequency1", c.frequency1},
                {"frequency2", c.frequency2},
                {"serialNumber", c.serial_number},
                {"block", block}};
}

bool calibration_from_json(const json& j, calibration& c, std::string& error)
{
    if (!j.is_object() || !j.contains("block") || !j["block"].is_object()) {
        error = "the calibration record has no block";
        return false;
    }
    c.device_type = value_or<int>(j, "device_type", 0);
    c.mode = value_or<int>(j, "mode", 0);
    c.width = value_or<int>(j, "width", 0);
    c.height = value_or<int>(j, "height", 0);
    c.frequency1 = value_or<int32_t>(j, "frequency1", 0);
    c.frequency2 = value_or<int32_t>(j, "frequency2", 0);
    c.serial_number = value_or<std::string>(j, "serialNumber", "");
    if (c.width <= 0 || c.height <= 0 || c.width > 4096 || c.height > 4096) {
        error = "the calibration record has no valid depth size";
        return false;
    }
    c.words.assign(kCalibrationWords, 0u);
    const json& block = j["block"];
    for (const block_field& f : kBlockFields) {
        const auto it = block.find(f.name);
        if (it == block.end()) {
            error = std::string("the calibration record lacks ") + f.name;
            return false;
        }
        const bool array = f.count > 1;
        if (array && (!it->is_array() || it->size() != size_t(f.count))) {
            error = std::string("the calibration record's ") + f.name + " has the wrong length";
            return false;
        }
        for (int i = 0; i < f.count; ++i)
            if (!word_from_json(array ? (*it)[size_t(i)] : *it, f.is_float, c.words[size_t(f.first + i)])) {
                error = std::string("the calibration record's ") + f.name + " is not a number";
                return false;
            }
    }
    return true;
}

std::string dump_text(const json& j, int indent)
{
    return j.dump(indent, ' ', false, json::error_handler_t::replace);
}

}  // namespace recording::detail
