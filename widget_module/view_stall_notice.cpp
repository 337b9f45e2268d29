#include "view_stall_notice.h"

#include <QLabel>
#include <QTimerEvent>
#include <QWidget>
#include <algorithm>

view_stall_notice::view_stall_notice(QWidget* view, QWidget* area)
    : QObject(view), m_area(area), m_label(new QLabel(view))
{
    m_label->setObjectName(QStringLiteral("label_no_frames"));
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    m_label->setStyleSheet(
        QStringLiteral("color:rgb(255,255,255);background-color:rgb(65,65,65);padding:6px;"));
    m_label->hide();
    m_since.start();
    m_timer_id = startTimer(500, Qt::CoarseTimer);
}

void view_stall_notice::frame_arrived()
{
    m_since.restart();
    m_had_frame = true;
    if (!m_label->isHidden())
        m_label->hide();
}

bool view_stall_notice::showing() const { return !m_label->isHidden(); }

void view_stall_notice::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer_id)
        return;
    if (m_since.elapsed() < kStallMs)
        return;
    m_label->setText(m_had_frame ? QStringLiteral("No frames are coming from the camera.")
                                 : QStringLiteral("Waiting for the first frame from the camera..."));
    place();
    if (m_label->isHidden())
        m_label->show();
    m_label->raise();
}

void view_stall_notice::place()
{
    const int width = std::max(60, std::min(m_area->width() - 20, 300));
    m_label->setFixedWidth(width);
    m_label->adjustSize();
    const QPoint origin = m_area->mapTo(m_label->parentWidget(), QPoint(0, 0));
    m_label->move(origin.x() + (m_area->width() - m_label->width()) / 2,
                  origin.y() + (m_area->height() - m_label->height()) / 2);
}
