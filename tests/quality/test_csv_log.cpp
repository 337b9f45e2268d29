// The CSV log: what a spreadsheet reads back, in any locale, and failures
// that are reported rather than lost.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "quality/csv_log.h"
#include "quality/report_csv.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Splits CSV text into rows of fields (RFC 4180, CRLF line ends).
std::vector<std::vector<std::string>> parse(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.back().push_back(field);
      field.clear();
      rows.emplace_back();
      ++i;
    } else {
      field += c;
    }
  }
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

std::string scratch_path(const char* name) {
  return ::testing::TempDir() + "/" + name + ".csv";
}

TEST(CsvLog, RowsReadBackAsWritten) {
  const std::string path = scratch_path("rows");
  quality::csv_log log;
  std::string error;
  ASSERT_TRUE(log.open(path, {"a", "b", "c"}, &error)) << error;
  ASSERT_TRUE(log.write_row({"1", "two, with comma", "say \"hi\""}, &error)) << error;
  ASSERT_TRUE(log.write_row({"", "line\nbreak", "3.5"}, &error)) << error;
  EXPECT_EQ(log.rows(), 2u);
  // Each row is in the file as soon as it is written.
  EXPECT_EQ(parse(read_file(path)).size(), 3u);
  EXPECT_FALSE(log.write_row({"too", "few"}, &error));
  EXPECT_NE(error.find("2 fields"), std::string::npos) << error;
  ASSERT_TRUE(log.close(&error)) << error;

  const std::string text = read_file(path);
  EXPECT_EQ(text.substr(0, 7), "a,b,c\r\n");
  const auto rows = parse(text);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "two, with comma", "say \"hi\""}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"", "line\nbreak", "3.5"}));
}

TEST(CsvLog, NumbersUseADecimalPointInEveryLocale) {
  // A desktop session may run with a locale whose decimal mark is a comma;
  // it must not leak into the file.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  EXPECT_EQ(quality::csv_number(1234.5678, 2), "1234.57");
  EXPECT_EQ(quality::csv_number(0.5, 4), "0.5000");
  EXPECT_EQ(quality::csv_number(-0.0001, 2), "0.00");
  EXPECT_EQ(quality::csv_number(-3.25, 1), "-3.2");
  EXPECT_EQ(quality::csv_number(std::nan(""), 2), "");
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!german) GTEST_LOG_(INFO) << "de_DE.UTF-8 not installed; checked in the C locale";
}

TEST(CsvLog, FailuresAreReported) {
  quality::csv_log log;
  std::string error;
  EXPECT_FALSE(log.open("/nonexistent-folder/x/log.csv", {"a"}, &error));
  EXPECT_NE(error.find("/nonexistent-folder/x/log.csv"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_FALSE(log.is_open());

  // A full disk: /dev/full takes the open and refuses every write.
  std::FILE* probe = std::fopen("/dev/full", "wb");
  if (probe == nullptr) GTEST_SKIP() << "no /dev/full";
  std::fclose(probe);
  error.clear();
  EXPECT_FALSE(log.open("/dev/full", {"a", "b"}, &error));
  EXPECT_NE(error.find("No space left"), std::string::npos) << error;
  EXPECT_FALSE(log.is_open());
  EXPECT_FALSE(log.write_row({"1", "2"}, &error));
}

TEST(ReportCsv, EveryRowHasTheHeadersColumns) {
  const auto header = quality::report_csv_header();
  EXPECT_EQ(header.front(), "local_time");
  EXPECT_EQ(header[1], "frame_number");

  quality::quality_report empty;
  empty.frame_number = 12;
  empty.time_s = 0.4;
  auto row = quality::report_csv_row("2024-06-13T10:00:00.000", empty, std::nullopt);
  ASSERT_EQ(row.size(), header.size());
  EXPECT_EQ(row[1], "12");
  EXPECT_EQ(row[2], "0.400");
  for (std::size_t i = 3; i < row.size(); ++i) EXPECT_EQ(row[i], "") << header[i];

  quality::quality_report full;
  full.has_region = true;
  full.area = quality::region{10, 20, 30, 40, 640, 480};
  full.spatial.pixels = 1200;
  full.spatial.valid = 900;
  full.spatial.valid_share = 0.75;
  full.spatial.mean_mm = 1000.25;
  full.spatial.median_mm = 1000;
  full.spatial.std_mm = 1.5;
  full.spatial.min_mm = 990;
  full.spatial.max_mm = 1010;
  full.plane.ok = true;
  full.plane.points = 900;
  full.plane.rms_mm = 0.75;
  full.plane.distance_ok = true;
  full.plane.distance_mm = 999.5;
  full.plane.tilt_deg = 1.25;
  full.temporal.frames = full.temporal.window = 30;
  full.temporal.pixels = 890;
  full.temporal.ok = true;
  full.temporal.std_mm = 2.5;
  full.ir.ok = true;
  full.ir.mean = 321.5;
  full.ir.saturated_share = 0.01;
  row = quality::report_csv_row("t", full, quality::probe_sample{5, 6, 1234});
  ASSERT_EQ(row.size(), header.size());
  auto cell = [&](const std::string& name) {
    for (std::size_t i = 0; i < header.size(); ++i)
      if (header[i] == name) return row[i];
    ADD_FAILURE() << "no column " << name;
    return std::string();
  };
  EXPECT_EQ(cell("region_width"), "30");
  EXPECT_EQ(cell("valid_share"), "0.7500");
  EXPECT_EQ(cell("mean_mm"), "1000.25");
  EXPECT_EQ(cell("plane_distance_mm"), "999.50");
  EXPECT_EQ(cell("plane_tilt_deg"), "1.250");
  EXPECT_EQ(cell("temporal_std_mm"), "2.500");
  EXPECT_EQ(cell("ir_saturated_share"), "0.0100");
  EXPECT_EQ(cell("probe_depth_mm"), "1234");
}

}  // namespace
