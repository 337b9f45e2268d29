#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quality/quality_meter.h"

namespace quality {

// The depth of the clicked pixel, logged beside the region.
struct probe_sample {
  int x = 0;
  int y = 0;
  int depth_mm = 0;
};

// Column names of the quality log, in order. Units are in the names.
std::vector<std::string> report_csv_header();

// One row of the quality log: `local_time` as the caller formats it
// ("2024-06-13 10:15:02.345" reads in every spreadsheet), then the frame
// and every statistic of `report`. A value that was not measured (no
// region, no lens, no IR, too few frames) is an empty cell, which
// spreadsheets treat as missing rather than as zero.
std::vector<std::string> report_csv_row(const std::string& local_time, const quality_report& report,
                                        const std::optional<probe_sample>& probe);

}  // namespace quality
