#include "quality/csv_log.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quality {

std::string csv_escape(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string out = "\"";
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string csv_number(double value, int decimals) {
  if (!std::isfinite(value)) return std::string();
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value,
                                    std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return std::string();
  std::string s(buffer, result.ptr);
  // "-0.00" reads oddly: a sign that rounded away is dropped.
  if (!s.empty() && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

csv_log::~csv_log() {
  if (file_ != nullptr) std::fclose(file_);
}

void csv_log::fail(std::string* error, const std::string& what, int errno_value) {
  if (error != nullptr) {
    *error = what + " \"" + path_ + "\"";
    if (errno_value != 0) *error += ": " + std::string(std::strerror(errno_value));
  }
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

bool csv_log::open(const std::string& path, const std::vector<std::string>& header,
                   std::string* error) {
  if (file_ != nullptr) close(nullptr);
  path_ = path;
  rows_ = 0;
  columns_ = header.size();
  if (header.empty()) {
    if (error != nullptr) *error = "A CSV log needs at least one column";
    return false;
  }
  errno = 0;
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    fail(error, "Cannot create", errno);
    return false;
  }
  return put_line(header, error);
}

bool csv_log::write_row(const std::vector<std::string>& fields, std::string* error) {
  if (file_ == nullptr) {
    if (error != nullptr) *error = "The CSV log is not open";
    return false;
  }
  if (fields.size() != columns_) {
    if (error != nullptr)
      *error = "A CSV row has " + std::to_string(fields.size()) + " fields, the header " +
               std::to_string(columns_);
    return false;
  }
  if (!put_line(fields, error)) return false;
  ++rows_;
  return true;
}

bool csv_log::put_line(const std::vector<std::string>& fields, std::string* error) {
  line_.clear();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line_ += ',';
    line_ += csv_escape(fields[i]);
  }
  line_ += "\r\n";
  errno = 0;
  const std::size_t written = std::fwrite(line_.data(), 1, line_.size(), file_);
  if (written != line_.size()) {
    fail(error, "Cannot write to", errno);
    return false;
  }
  errno = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
    fail(error, "Cannot write to", errno);
    return false;
  }
  return true;
}

bool csv_log::close(std::string* error) {
  if (file_ == nullptr) return true;
  std::FILE* f = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(f) != 0) {
    if (error != nullptr)
      *error = "Cannot finish \"" + path_ + "\": " + std::string(std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace quality
