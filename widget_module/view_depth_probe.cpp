#include "view_depth_probe.h"

view_probe_texts view_probe_depth(const QPoint& pixel, const cv::Mat& depth_color,
                                  const cv::Mat& depth_raw, QPoint* stat_pixel,
                                  std::vector<int>* samples, view_window_policy policy) {
  view_probe_texts texts;
  texts.location = QStringLiteral("%1x%2").arg(pixel.x()).arg(pixel.y());
  const int x = pixel.x();
  const int y = pixel.y();
  if (x < 1 || x >= depth_color.cols || y < 1 || y >= depth_color.rows) return texts;
  // The two copies come from one lock, but guard against a raw image of
  // another size or type rather than read outside it.
  if (depth_raw.type() != CV_16UC1 || x >= depth_raw.cols || y >= depth_raw.rows) return texts;
  const int d = depth_raw.at<quint16>(y, x);
  texts.distance = QStringLiteral("%1 mm").arg(d);
  if (pixel != *stat_pixel) {
    *stat_pixel = pixel;
    samples->clear();
    texts.stddev = QStringLiteral("0.000 mm");
    return texts;
  }
  view_push_sample(*samples, d, policy);
  if (const auto dev = view_window_deviation(*samples)) texts.stddev = view_mm_text(*dev);
  return texts;
}
