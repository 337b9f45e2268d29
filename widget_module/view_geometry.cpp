#include "view_geometry.h"

#include <cmath>
#include <limits>

namespace {

// Truncates toward zero; values beyond int (from extreme scale factors)
// are clamped rather than left to undefined conversion.
int trunc_to_int(double v)
{
    if (!(v == v))
        return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(std::trunc(v));
}

}  // namespace

QRect view_letterbox(const QSize& area, const QSize& image, int top_offset)
{
    const long long W = area.width(), H = area.height();
    const long long w = image.width(), h = image.height();
    if (W <= 0 || H <= 0 || w <= 0 || h <= 0)
        return QRect();
    long long dw, dh;
    if (w * H > h * W) {
        dw = W;
        dh = h * W / w;
    } else {
        dh = H;
        dw = w * H / h;
    }
    const int x0 = static_cast<int>((W - dw) / 2);
    const int y0 = static_cast<int>((H - dh) / 2) + top_offset;
    return QRect(x0, y0, static_cast<int>(dw), static_cast<int>(dh));
}

bool view_area_to_image(const QPoint& point, const QSize& area, const QSize& image,
                        QPoint* pixel)
{
    if (area.width() <= 0 || area.height() <= 0)
        return false;
    const double sx = static_cast<double>(image.width()) / area.width();
    const double sy = static_cast<double>(image.height()) / area.height();
    *pixel = QPoint(trunc_to_int(point.x() * sx), trunc_to_int(point.y() * sy));
    return true;
}

bool view_image_to_area(const QPoint& pixel, const QSize& area, const QSize& image,
                        QPoint* point)
{
    if (image.width() <= 0 || image.height() <= 0)
        return false;
    const double sx = static_cast<double>(image.width()) / area.width();
    const double sy = static_cast<double>(image.height()) / area.height();
    *point = QPoint(trunc_to_int(pixel.x() / sx), trunc_to_int(pixel.y() / sy));
    return true;
}

QPoint view_place_box(const QPoint& click, const QSize& box, int area_width,
                      int usable_height)
{
    int x = click.x();
    if (x + box.width() > area_width)
        x -= box.width();
    int y = click.y();
    if (usable_height < box.height() + y)
        y -= box.height();
    return QPoint(x, y);
}
