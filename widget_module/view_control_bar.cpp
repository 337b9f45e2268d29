#include "view_control_bar.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QWidget>

#include "view_bar_fit.h"
#include "view_common.h"

view_control_bar::view_control_bar(const parts& widgets, const char* context, QChar times,
                                   QObject* parent)
    : QObject(parent), m_parts(widgets), m_context(context), m_times(times)
{
    m_tick.setInterval(1000);
    m_tick.setTimerType(Qt::CoarseTimer);
    connect(&m_tick, &QTimer::timeout, this, &view_control_bar::tick);
    connect(m_parts.start, &QAbstractButton::clicked, this, &view_control_bar::toggle_pause);
    connect(m_parts.info, &QAbstractButton::clicked, this, &view_control_bar::toggle_info);
    connect(m_parts.expand, &QAbstractButton::clicked, this, &view_control_bar::toggle_expand);

    m_parts.strip->hide();
    view_set_small_font({m_parts.time_caption, m_parts.time, m_parts.resolution_caption,
                         m_parts.resolution, m_parts.fps_caption, m_parts.fps});
    m_parts.time_caption->setText(QCoreApplication::translate(m_context, "Time:"));
    m_parts.resolution_caption->setText(QCoreApplication::translate(m_context, "Resolution:"));
    m_parts.fps_caption->setText(QCoreApplication::translate(m_context, "FPS:"));
    m_parts.info->setToolTip(QCoreApplication::translate(m_context, "info"));
    m_parts.info->setIcon(view_icon("info_2.png"));
    set_paused(false);
    set_expanded(false);
}

void view_control_bar::set_paused(bool paused)
{
    m_paused = paused;
    m_parts.start->setIcon(view_icon(paused ? "start.png" : "pause.png"));
    m_parts.start->setToolTip(QCoreApplication::translate(m_context, paused ? "start" : "stop"));
}

void view_control_bar::set_expanded(bool expanded)
{
    m_expanded = expanded;
    m_parts.expand->setIcon(view_icon(expanded ? "restore.png" : "expend.png"));
}

void view_control_bar::toggle_pause()
{
    set_paused(!m_paused);
    emit sig_pause_toggled(m_paused);
}

void view_control_bar::toggle_expand()
{
    set_expanded(!m_expanded);
    emit sig_expand_toggled(m_expanded);
}

void view_control_bar::toggle_info()
{
    if (!m_parts.strip->isHidden()) {
        hide_info();
        return;
    }
    m_parts.strip->show();
    m_parts.info->setIcon(view_icon("info_off.png"));
    // Frames drawn while the strip was hidden belong to no second shown.
    m_frames = 0;
    start_ticking();
}

void view_control_bar::hide_info()
{
    m_parts.strip->hide();
    m_parts.info->setIcon(view_icon("info.png"));
    m_tick.stop();
}

void view_control_bar::tick_from_start() { start_ticking(); }

void view_control_bar::start_ticking()
{
    m_since_tick.start();
    m_tick.start();
}

void view_control_bar::tick()
{
    // The tick is a coarse timer: frames are counted over the time that
    // really passed.
    const qint64 ms = m_since_tick.restart();
    if (!m_paused)
        m_parts.fps->setText(QStringLiteral("%1.00").arg(view_frame_rate(m_frames, ms)));
    m_frames = 0;
}

void view_control_bar::stamp_time() { m_parts.time->setText(view_time_stamp_text()); }

void view_control_bar::count_frame() { ++m_frames; }

void view_control_bar::set_resolution(int width, int height)
{
    m_parts.resolution->setText(QStringLiteral("%1%2%3").arg(width).arg(m_times).arg(height));
}

void view_control_bar::fit_strip(int view_width)
{
    view_fit_info_strip(m_parts.strip,
                        {{m_parts.time_caption, {}},
                         {m_parts.time, QStringLiteral("0000000000;")},
                         {m_parts.resolution_caption, {}},
                         {m_parts.resolution, {}},
                         {m_parts.fps_caption, {}},
                         {m_parts.fps, QStringLiteral("00.00")}},
                        view_width);
}

int view_frame_rate(int frames, qint64 elapsed_ms)
{
    if (elapsed_ms <= 0)
        return frames;
    return qRound(frames * 1000.0 / static_cast<double>(elapsed_ms));
}
