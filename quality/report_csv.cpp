#include "quality/report_csv.h"

#include "quality/csv_log.h"

namespace quality {

std::vector<std::string> report_csv_header() {
  return {"local_time", "frame_number", "frame_time_s",
          "region_x", "region_y", "region_width",
          "region_height", "image_width", "image_height",
          "pixels", "valid_pixels", "valid_share",
          "mean_mm", "median_mm", "std_mm",
          "min_mm", "max_mm", "plane_points", "plane_outliers",
          "plane_rms_mm", "plane_max_abs_residual_mm", "plane_distance_mm",
          "plane_tilt_deg", "temporal_frames", "temporal_window",
          "temporal_pixels", "temporal_std_mm", "ir_mean",
          "ir_saturated_share", "probe_x", "probe_y",
          "probe_depth_mm"};
}

std::vector<std::string> report_csv_row(const std::string& local_time, const quality_report& r,
                                        const std::optional<probe_sample>& probe) {
  const std::string none;
  auto whole = [](long long v) { return std::to_string(v); };
  std::vector<std::string> row;
  row.reserve(32);
  row.push_back(local_time);
  row.push_back(std::to_string(r.frame_number));
  row.push_back(csv_number(r.time_s, 3));

  const bool reg = r.has_region;
  row.push_back(reg ? whole(r.area.x) : none);
  row.push_back(reg ? whole(r.area.y) : none);
  row.push_back(reg ? whole(r.area.width) : none);
  row.push_back(reg ? whole(r.area.height) : none);
  row.push_back(reg ? whole(r.area.image_width) : none);
  row.push_back(reg ? whole(r.area.image_height) : none);

  const spatial_stats& s = r.spatial;
  const bool any = reg && s.valid > 0;
  row.push_back(reg ? whole(s.pixels) : none);
  row.push_back(reg ? whole(s.valid) : none);
  row.push_back(reg ? csv_number(s.valid_share, 4) : none);
  row.push_back(any ? csv_number(s.mean_mm, 2) : none);
  row.push_back(any ? csv_number(s.median_mm, 1) : none);
  row.push_back(any ? csv_number(s.std_mm, 3) : none);
  row.push_back(any ? whole(s.min_mm) : none);
  row.push_back(any ? whole(s.max_mm) : none);

  const plane_fit& p = r.plane;
  row.push_back(p.ok ? whole(p.points) : none);
  row.push_back(p.ok ? whole(p.outliers) : none);
  row.push_back(p.ok ? csv_number(p.rms_mm, 3) : none);
  row.push_back(p.ok ? csv_number(p.max_abs_mm, 3) : none);
  row.push_back(p.ok && p.distance_ok ? csv_number(p.distance_mm, 2) : none);
  row.push_back(p.ok ? csv_number(p.tilt_deg, 3) : none);

  const temporal_result& t = r.temporal;
  row.push_back(reg ? whole(t.frames) : none);
  row.push_back(reg ? whole(t.window) : none);
  row.push_back(reg ? whole(t.pixels) : none);
  row.push_back(t.ok ? csv_number(t.std_mm, 3) : none);

  row.push_back(r.ir.ok ? csv_number(r.ir.mean, 2) : none);
  row.push_back(r.ir.ok ? csv_number(r.ir.saturated_share, 4) : none);

  row.push_back(probe ? whole(probe->x) : none);
  row.push_back(probe ? whole(probe->y) : none);
  row.push_back(probe ? whole(probe->depth_mm) : none);
  return row;
}

}  // namespace quality
