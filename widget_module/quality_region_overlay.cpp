#include "quality_region_overlay.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kButton = 14;        // side of the clear button
constexpr int kMinDragPixels = 3;  // shorter drags are clicks
const QColor kRegionColour(255, 210, 0);

}  // namespace

quality_region_overlay::quality_region_overlay(QWidget* parent) : QWidget(parent)
{
    qRegisterMetaType<quality::region>();
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(false);
}

void quality_region_overlay::set_image_geometry(const QSize& image_size, const QRect& drawn)
{
    const bool resized = image_size != m_image;
    m_image = image_size;
    m_drawn = drawn;
    if (resized && m_anchor && !m_image.isEmpty()) {
        quality::region r = m_anchor->image_width == m_image.width() && m_anchor->image_height == m_image.height()
                                ? *m_anchor
                                : quality::scaled(*m_anchor, m_image.width(), m_image.height());
        m_region = r;
        emit sig_region_changed(r);
    }
    update();
}

void quality_region_overlay::set_flips(bool vertical, bool horizontal)
{
    const bool dv = vertical != m_flip_vertical;
    const bool dh = horizontal != m_flip_horizontal;
    m_flip_vertical = vertical;
    m_flip_horizontal = horizontal;
    if ((!dv && !dh) || !m_region)
        return;
    m_anchor = quality::mirrored(*m_anchor, dv, dh);
    m_region = quality::mirrored(*m_region, dv, dh);
    emit sig_region_changed(*m_region);
    update();
}

void quality_region_overlay::set_region(const quality::region& r)
{
    quality::region c = quality::clipped(r);
    if (c.empty()) {
        clear_region();
        return;
    }
    if (!m_image.isEmpty() && (c.image_width != m_image.width() || c.image_height != m_image.height()))
        c = quality::scaled(c, m_image.width(), m_image.height());
    commit(c);
}

void quality_region_overlay::commit(const quality::region& r)
{
    m_anchor = r;
    m_region = r;
    emit sig_region_changed(r);
    update();
}

void quality_region_overlay::clear_region()
{
    m_dragging = false;
    if (!m_region)
        return;
    m_anchor.reset();
    m_region.reset();
    emit sig_region_cleared();
    update();
}

QRect quality_region_overlay::pixels_to_widget(int x, int y, int w, int h) const
{
    if (m_image.isEmpty() || m_drawn.isEmpty())
        return QRect();
    const double sx = static_cast<double>(m_drawn.width()) / m_image.width();
    const double sy = static_cast<double>(m_drawn.height()) / m_image.height();
    const int left = m_drawn.x() + static_cast<int>(std::lround(x * sx));
    const int top = m_drawn.y() + static_cast<int>(std::lround(y * sy));
    const int right = m_drawn.x() + static_cast<int>(std::lround((x + w) * sx));
    const int bottom = m_drawn.y() + static_cast<int>(std::lround((y + h) * sy));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QRect quality_region_overlay::region_rect() const
{
    if (!m_region)
        return QRect();
    return pixels_to_widget(m_region->x, m_region->y, m_region->width, m_region->height);
}

QRect quality_region_overlay::clear_button_rect() const
{
    const QRect r = region_rect();
    if (r.isEmpty())
        return QRect();
    // Just outside the top-right corner, or inside it where the edge of the
    // widget leaves no room.
    QRect b(r.right() + 1 - kButton, r.top() - kButton, kButton, kButton);
    if (b.top() < 0)
        b.moveTop(r.top());
    if (b.right() >= width())
        b.moveRight(width() - 1);
    return b;
}

QPoint quality_region_overlay::pixel_at(const QPoint& pos) const
{
    if (m_image.isEmpty() || m_drawn.isEmpty())
        return QPoint();
    const double fx = (pos.x() - m_drawn.x()) * static_cast<double>(m_image.width()) / m_drawn.width();
    const double fy =
        (pos.y() - m_drawn.y()) * static_cast<double>(m_image.height()) / m_drawn.height();
    return QPoint(std::clamp(static_cast<int>(std::floor(fx)), 0, m_image.width() - 1),
                  std::clamp(static_cast<int>(std::floor(fy)), 0, m_image.height() - 1));
}

void quality_region_overlay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && clear_button_rect().contains(event->pos())) {
        clear_region();
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier) && m_drawn.contains(event->pos())) {
        m_dragging = true;
        m_drag_from = m_drag_to = event->pos();
        setFocus(Qt::MouseFocusReason);
        setCursor(Qt::CrossCursor);
        event->accept();
        update();
        return;
    }
    // Everything else belongs to the view underneath (its click measurement).
    event->ignore();
}

void quality_region_overlay::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging) {
        event->ignore();
        return;
    }
    m_drag_to = event->pos();
    event->accept();
    update();
}

void quality_region_overlay::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_dragging = false;
    unsetCursor();
    m_drag_to = event->pos();
    event->accept();
    const QPoint d = m_drag_to - m_drag_from;
    if (std::abs(d.x()) < kMinDragPixels && std::abs(d.y()) < kMinDragPixels) {
        update();
        return;
    }
    const QPoint a = pixel_at(m_drag_from);
    const QPoint b = pixel_at(m_drag_to);
    commit(quality::region_from_corners(a.x(), a.y(), b.x(), b.y(), m_image.width(),
                                        m_image.height()));
}

void quality_region_overlay::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && (m_region || m_dragging)) {
        clear_region();
        update();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void quality_region_overlay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_dragging) {
        const QRect r = QRect(m_drag_from, m_drag_to).normalized();
        p.setPen(QPen(kRegionColour, 1, Qt::DashLine));
        p.drawRect(r);
        return;
    }
    const QRect r = region_rect();
    if (r.isEmpty())
        return;
    // A dark outline under the coloured one keeps it visible on any colour.
    p.setPen(QPen(QColor(0, 0, 0, 160), 3));
    p.drawRect(r);
    p.setPen(QPen(kRegionColour, 1));
    p.drawRect(r);

    const QString size = QStringLiteral("%1×%2").arg(m_region->width).arg(m_region->height);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    p.setFont(font);
    const QFontMetrics fm(font);
    const QRect text(r.left() + 2, r.top() + 2, fm.horizontalAdvance(size) + 6, fm.height());
    if (text.right() < r.right() - kButton && text.bottom() < r.bottom()) {
        p.fillRect(text, QColor(0, 0, 0, 150));
        p.setPen(kRegionColour);
        p.drawText(text, Qt::AlignCenter, size);
    }

    const QRect b = clear_button_rect();
    p.fillRect(b, QColor(30, 30, 30, 210));
    p.setPen(QPen(kRegionColour, 1));
    p.drawRect(b.adjusted(0, 0, -1, -1));
    p.setPen(QPen(Qt::white, 1.6));
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF x = QRectF(b).adjusted(4, 4, -4, -4);
    p.drawLine(x.topLeft(), x.bottomRight());
    p.drawLine(x.topRight(), x.bottomLeft());
}
