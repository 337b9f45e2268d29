#include "arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace cli {

bool arguments::parse(const std::vector<std::string>& args, const std::vector<option_def>& defs,
                      std::string& error)
{
    const auto find = [&](const std::string& name) -> const option_def* {
        for (const option_def& s : defs)
            if (name == s.name)
                return &s;
        return nullptr;
    };
    bool options_end = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options_end || a.size() < 2 || a[0] != '-' || a == "-") {
            positional_.push_back(a);
            continue;
        }
        if (a == "--") {
            options_end = true;
            continue;
        }
        if (a.compare(0, 2, "--") != 0) {
            error = "unknown option " + a + " (options are written --name)";
            return false;
        }
        std::string name = a.substr(2), value;
        const size_t eq = name.find('=');
        const bool inline_value = eq != std::string::npos;
        if (inline_value) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const option_def* def = find(name);
        if (!def) {
            error = "unknown option --" + name;
            return false;
        }
        if (def->takes_value) {
            if (!inline_value) {
                if (i + 1 >= args.size()) {
                    error = "--" + name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
        } else if (inline_value) {
            error = "--" + name + " takes no value";
            return false;
        }
        if (values_.count(name) && name != "filter-param") {
            error = "--" + name + " is given twice";
            return false;
        }
        // Repeated --filter-param values join into one list.
        if (values_.count(name))
            values_[name] += "," + value;
        else
            values_[name] = value;
    }
    return true;
}

std::optional<std::string> arguments::value(const std::string& name) const
{
    const auto it = values_.find(name);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

bool parse_int(const std::string& text, long long lo, long long hi, long long& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || !end || *end || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool parse_double(const std::string& text, double lo, double hi, double& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || !end || *end || !std::isfinite(v) || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool parse_size(const std::string& text, int& width, int& height)
{
    const size_t x = text.find('x');
    long long w = 0, h = 0;
    if (x == std::string::npos || !parse_int(text.substr(0, x), 1, 65535, w)
        || !parse_int(text.substr(x + 1), 1, 65535, h))
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        out.push_back(text.substr(start, at - start));
        if (at == std::string::npos)
            break;
        start = at + 1;
    }
    return out;
}

bool parse_filter_mode(const std::string& text, int& mode)
{
    static const std::pair<const char*, int> names[] = {{"off", 0}, {"on", 1}, {"noise-aware", 2}};
    for (const auto& [name, value] : names)
        if (text == name) {
            mode = value;
            return true;
        }
    return false;
}

}  // namespace cli
