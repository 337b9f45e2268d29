#include "depth_scale_bar.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "depth_scale_ticks.h"

namespace {

constexpr int kBarWidth = 12;
constexpr int kTickLength = 5;
constexpr int kMargin = 4;
constexpr int kGap = 3;  // between tick and label

QFont scale_font()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    return font;
}

}  // namespace

depth_scale_bar::depth_scale_bar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(scale_font());
    m_ticks = depth_scale_ticks(m_near, m_far);
}

void depth_scale_bar::set_colour_bar(const QImage& bar)
{
    m_bar = bar.convertToFormat(QImage::Format_RGB888);
    update();
}

void depth_scale_bar::set_range(int near_mm, int far_mm)
{
    const int lo = std::min(near_mm, far_mm);
    const int hi = std::max(near_mm, far_mm);
    if (lo == m_near && hi == m_far)
        return;
    m_near = lo;
    m_far = hi;
    m_ticks = depth_scale_ticks(m_near, m_far);
    update();
}

QRect depth_scale_bar::bar_rect() const
{
    const QFontMetrics fm(font());
    // Room above for the unit and half a label; below for half a label.
    const int top = kMargin + fm.height() + fm.height() / 2;
    const int bottom = height() - kMargin - fm.height() / 2;
    return QRect(width() - kMargin - kBarWidth, top, kBarWidth, std::max(1, bottom - top));
}

int depth_scale_bar::tick_y(int mm) const
{
    const QRect bar = bar_rect();
    if (m_far <= m_near)
        return bar.bottom();
    const double f = static_cast<double>(mm - m_near) / (m_far - m_near);
    // Near at the bottom edge, far at the top edge.
    return static_cast<int>(std::lround(bar.bottom() - f * (bar.height() - 1)));
}

QSize depth_scale_bar::sizeHint() const
{
    const QFontMetrics fm(font());
    const int label = fm.horizontalAdvance(QStringLiteral("00000"));
    return QSize(kMargin + label + kGap + kTickLength + kBarWidth + kMargin, 320);
}

QSize depth_scale_bar::minimumSizeHint() const
{
    return QSize(sizeHint().width(), 6 * QFontMetrics(font()).height());
}

void depth_scale_bar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(rect(), QColor(40, 40, 40, 170));
    const QRect bar = bar_rect();
    if (!m_bar.isNull())
        p.drawImage(bar, m_bar);
    else
        p.fillRect(bar, Qt::darkGray);
    p.setPen(QColor(230, 230, 230));
    p.drawRect(bar.adjusted(0, 0, -1, -1));

    const QFontMetrics fm(font());
    p.drawText(QRect(0, kMargin, width() - kMargin, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("mm"));
    const int tick_right = bar.left() - 1;
    const int tick_left = tick_right - kTickLength;
    for (int v : m_ticks) {
        const int y = tick_y(v);
        p.drawLine(tick_left, y, tick_right, y);
        p.drawLine(bar.left(), y, bar.left() + 2, y);  // notch into the bar
        const QRect label(0, y - fm.height() / 2, tick_left - kGap, fm.height());
        p.drawText(label, Qt::AlignRight | Qt::AlignVCenter, depth_scale_label(v));
    }
}
