#include "view_depth_probe.h"

#include <QFontMetrics>
#include <QLabel>
#include <algorithm>

namespace {

// The depth at `pixel`, or nothing outside the measured part of the image.
std::optional<int> depth_at(const QPoint& pixel, const cv::Mat& depth_color,
                            const cv::Mat& depth_raw)
{
    const int x = pixel.x();
    const int y = pixel.y();
    if (x < 1 || x >= depth_color.cols || y < 1 || y >= depth_color.rows)
        return std::nullopt;
    // The two copies come from one lock, but guard against a raw image of
    // another size or type rather than read outside it.
    if (depth_raw.type() != CV_16UC1 || x >= depth_raw.cols || y >= depth_raw.rows)
        return std::nullopt;
    return depth_raw.at<quint16>(y, x);
}

bool is_distance(int depth_mm) { return depth_mm > 1; }

}  // namespace

QString view_depth_text(int depth_mm)
{
    if (depth_mm == 0)
        return QStringLiteral("no measurement");
    if (depth_mm == 1)
        return QStringLiteral("saturated");
    return QStringLiteral("%1 mm").arg(depth_mm);
}

view_probe_texts view_probe_depth(const QPoint& pixel, const cv::Mat& depth_color,
                                  const cv::Mat& depth_raw, QPoint* stat_pixel,
                                  std::vector<int>* samples, view_window_policy policy)
{
    view_probe_texts texts;
    texts.location = QStringLiteral("%1x%2").arg(pixel.x()).arg(pixel.y());
    const std::optional<int> depth = depth_at(pixel, depth_color, depth_raw);
    if (!depth)
        return texts;
    const int d = *depth;
    texts.distance = view_depth_text(d);
    if (pixel != *stat_pixel) {
        *stat_pixel = pixel;
        samples->clear();
        texts.stddev = is_distance(d) ? QStringLiteral("0.000 mm") : QStringLiteral("n/a");
        return texts;
    }
    if (!is_distance(d)) {
        texts.stddev = QStringLiteral("n/a");
        return texts;
    }
    view_push_sample(*samples, d, policy);
    if (const auto dev = view_window_deviation(*samples))
        texts.stddev = view_mm_text(*dev);
    return texts;
}

view_probe_texts view_probe_peek(const QPoint& pixel, const cv::Mat& depth_color,
                                 const cv::Mat& depth_raw, const QPoint& stat_pixel)
{
    view_probe_texts texts;
    texts.location = QStringLiteral("%1x%2").arg(pixel.x()).arg(pixel.y());
    const std::optional<int> depth = depth_at(pixel, depth_color, depth_raw);
    if (!depth)
        return texts;
    texts.distance = view_depth_text(*depth);
    if (!is_distance(*depth))
        texts.stddev = QStringLiteral("n/a");
    else if (pixel != stat_pixel)
        texts.stddev = QStringLiteral("0.000 mm");
    return texts;
}

void view_fit_measure_box(QWidget* box, std::initializer_list<QLabel*> captions,
                          std::initializer_list<QLabel*> values)
{
    int caption_width = 0;
    for (QLabel* c : captions)
        caption_width = std::max(caption_width, c->fontMetrics().horizontalAdvance(c->text()));
    const int x = caption_width + 4;
    for (QLabel* c : captions)
        c->resize(x, c->height());
    for (QLabel* v : values)
        v->setGeometry(x, v->y(), box->width() - x, v->height());
}
