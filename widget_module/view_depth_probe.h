#pragma once

#include <QPoint>
#include <QString>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <vector>

#include "view_depth_window.h"

class QLabel;
class QWidget;

// Label texts of the measurement box after one frame.
struct view_probe_texts {
    QString location;                 // always set: "%1x%2"
    std::optional<QString> distance;  // "%1 mm", "saturated" or "no measurement", only inside the image
    std::optional<QString> stddev;    // "%1 mm" with 3 decimals, when it changes
};

// What the measurement box says for a depth value: "%1 mm", or, for the
// values that are no distance, "no measurement" (0, invalid) and
// "saturated" (1).
QString view_depth_text(int depth_mm);

// Reads the depth at `pixel` from the frame's private copies and feeds the
// deviation window. A new pixel restarts the window and shows "0.000 mm"
// without keeping its first sample. Row 0 and column 0 are not measured.
// Saturated and invalid pixels are no distance: they never enter the window,
// and the deviation reads "n/a" for them.
view_probe_texts view_probe_depth(const QPoint& pixel, const cv::Mat& depth_color,
                                  const cv::Mat& depth_raw, QPoint* stat_pixel,
                                  std::vector<int>* samples, view_window_policy policy);

// The box's texts at the moment of a click, from the frame already shown
// (the paused one, while paused), leaving the deviation window alone: the
// next frame selects the pixel as usual.
view_probe_texts view_probe_peek(const QPoint& pixel, const cv::Mat& depth_color,
                                 const cv::Mat& depth_raw, const QPoint& stat_pixel);

// Moves the value labels of a measurement box just right of the widest
// caption, so every value ("no measurement" included) fits in the box.
void view_fit_measure_box(QWidget* box, std::initializer_list<QLabel*> captions,
                          std::initializer_list<QLabel*> values);
