#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace quality {

// A CSV file written row by row (RFC 4180: comma separated, fields with a
// comma, quote or line break quoted, CRLF line ends, ASCII/UTF-8), so that
// any spreadsheet opens it. Every row is handed to the operating system as
// soon as it is written: if the program stops, the rows so far are in the
// file. Every failure is returned with a readable reason; after a failed
// write the log is closed and writes nothing more.
class csv_log {
 public:
  csv_log() = default;
  ~csv_log();
  csv_log(const csv_log&) = delete;
  csv_log& operator=(const csv_log&) = delete;

  // Creates (or replaces) the file at `path` (UTF-8) and writes `header`.
  bool open(const std::string& path, const std::vector<std::string>& header, std::string* error);
  // Appends one row; it must have as many fields as the header.
  bool write_row(const std::vector<std::string>& fields, std::string* error);
  // Closes the file; false when the last data could not be stored.
  bool close(std::string* error);

  bool is_open() const { return file_ != nullptr; }
  std::size_t rows() const { return rows_; }
  const std::string& path() const { return path_; }

 private:
  bool put_line(const std::vector<std::string>& fields, std::string* error);
  void fail(std::string* error, const std::string& what, int errno_value);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::size_t columns_ = 0;
  std::size_t rows_ = 0;
  std::string line_;  // reused buffer
};

// `field` as it must appear in a CSV line.
std::string csv_escape(const std::string& field);

// A number in plain decimal notation with `decimals` places, independent of
// the process's locale (spreadsheets read "." as the decimal point in CSV).
std::string csv_number(double value, int decimals);

}  // namespace quality
