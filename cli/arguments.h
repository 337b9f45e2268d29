// Command-line arguments of one tessivue-cli command: "--name value",
// "--name=value", flags, and positional arguments. Unknown options and
// missing values are errors in words.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct option_def {
    const char* name;  // without the leading "--"
    bool takes_value;
};

class arguments {
public:
    // False with `error` set when the arguments do not fit the option definitions.
    bool parse(const std::vector<std::string>& args, const std::vector<option_def>& defs, std::string& error);

    bool has(const std::string& name) const { return values_.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;
    const std::vector<std::string>& positional() const { return positional_; }

private:
    std::map<std::string, std::string> values_;
    std::vector<std::string> positional_;
};

// Parsers for option values; false when the text is not one.
bool parse_int(const std::string& text, long long lo, long long hi, long long& out);
bool parse_double(const std::string& text, double lo, double hi, double& out);
bool parse_size(const std::string& text, int& width, int& height);  // "640x480"
std::vector<std::string> split(const std::string& text, char separator);
// --filter: "off" 0, "on" 1 (median and block deviation), "noise-aware" 2,
// the values of the camera's filter option and the library's filter flag.
bool parse_filter_mode(const std::string& text, int& mode);
inline constexpr const char* kFilterModeError = "--filter takes on, off or noise-aware, not \"";

}  // namespace cli
