#pragma once

#include <QPoint>
#include <QString>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <vector>

#include "view_depth_window.h"

// Label texts of the measurement box after one frame.
struct view_probe_texts {
  QString location;                // always set: "%1x%2"
  std::optional<QString> distance; // "%1 mm", only for a pixel inside the image
  std::optional<QString> stddev;   // "%1 mm" with 3 decimals, when it changes
};

// Reads the depth at `pixel` from the frame's private copies and feeds the
// deviation window. A new pixel restarts the window and shows "0.000 mm"
// without keeping its first sample. Row 0 and column 0 are not measured.
view_probe_texts view_probe_depth(const QPoint& pixel, const cv::Mat& depth_color,
                                  const cv::Mat& depth_raw, QPoint* stat_pixel,
                                  std::vector<int>* samples, view_window_policy policy);
