// The record buttons: every running module's streams go into a recording in
// the depth module's save folder, with the progress shown in the left panel.
#include "viewer.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "app/ensure_folder.h"
#include "app/user_message.h"
#include "cloud_view_widget.h"
#include "is_chinese_path.h"
#include "record_icon.h"
#include "record_texts.h"
#include "save_path_widget.h"
#include "viewer_messages.h"
#include "zavire/driver_operate.h"

namespace {

const char* const kButtonStyle = "QPushButton{border:0px;background-color:transparent;}"
                                 "QPushButton:hover{background-color:rgb(120,120,120);}";

QString size_text(quint64 bytes)
{
    if (bytes >= 1000ull * 1000 * 1000)
        return QStringLiteral("%1 GB").arg(bytes / 1e9, 0, 'f', 2);
    return QStringLiteral("%1 MB").arg(bytes / 1e6, 0, 'f', 1);
}

QString clock_text(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// yyyyMMddhhmmss.bag in `folder`, with a counter when that name is taken.
QString recording_file(const QString& folder)
{
    const QString stem = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"));
    QString path = QDir(folder).filePath(stem + QStringLiteral(".bag"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(folder).filePath(QStringLiteral("%1_%2.bag").arg(stem).arg(n));
    return path;
}

}  // namespace

void viewer::create_record_controls()
{
    m_btn_record = new QPushButton(widget_setting);
    m_btn_record->setObjectName(QStringLiteral("btn_record"));
    m_btn_record->setGeometry(290, 5, 30, 30);
    m_btn_record->setStyleSheet(QString::fromLatin1(kButtonStyle));
    m_btn_record->setIconSize(QSize(18, 18));
    m_btn_record->setToolTip(tr("Record"));
    m_btn_record->hide();
    connect(m_btn_record, &QPushButton::clicked, this, &viewer::toggle_recording);

    m_record_status = new QLabel(widget_setting);
    m_record_status->setObjectName(QStringLiteral("label_record_status"));
    m_record_status->setGeometry(48, 5, 238, 30);
    m_record_status->setStyleSheet(QStringLiteral("color:rgb(255,255,255);"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    m_record_status->setFont(font);
    m_record_status->hide();

    m_record_timer = new QTimer(this);
    m_record_timer->setInterval(250);
    connect(m_record_timer, &QTimer::timeout, this, &viewer::update_record_status);
    show_record_state(false);
}

bool viewer::is_recording() const
{
    return driver && driver->is_recording();
}

void viewer::show_record_state(bool recording)
{
    const QIcon icon = record_icon(recording);
    const QString tip = recording ? tr("Stop recording") : tr("Record");
    m_btn_record->setIcon(icon);
    m_btn_record->setToolTip(tip);
    if (m_view_record_btn) {
        m_view_record_btn->setIcon(icon);
        m_view_record_btn->setToolTip(tip);
    }
}

void viewer::place_view_record_button()
{
    if (!tof_view)
        return;
    if (!m_view_record_btn) {
        // The depth view's bottom bar keeps its own buttons right-aligned;
        // the record button sits at its left end.
        m_view_record_btn = new QPushButton(tof_view->widget);
        m_view_record_btn->setObjectName(QStringLiteral("btn_view_record"));
        m_view_record_btn->setStyleSheet(QString::fromLatin1(kButtonStyle));
        m_view_record_btn->setIconSize(QSize(18, 18));
        connect(m_view_record_btn.data(), &QPushButton::clicked, this, &viewer::toggle_recording);
        tof_view->widget->installEventFilter(this);
        tof_view->widget_btns->installEventFilter(this);
        show_record_state(is_recording());
        m_view_record_btn->show();
    }
    // Left of the leftmost button the bottom bar shows; when the bar is
    // full, at the left end of the title bar. A recording played back is not
    // recorded again, so there it has none.
    QWidget* bar = tof_view->widget;
    int left = bar->width();
    for (const QAbstractButton* b : tof_view->widget_btns->findChildren<QAbstractButton*>())
        if (b->isVisible() && b != m_view_record_btn)
            left = std::min(left, b->mapTo(bar, QPoint(0, 0)).x());
    QWidget* host = left >= 44 ? bar : tof_view->widget_title;
    if (m_view_record_btn->parentWidget() != host)
        m_view_record_btn->setParent(host);
    const int x = host == bar ? left - 40 : 6;
    m_view_record_btn->setGeometry(x, (host->height() - 30) / 2, 30, 30);
    m_view_record_btn->setVisible(!m_playback);
    m_view_record_btn->raise();
}

void viewer::toggle_recording()
{
    if (is_recording()) {
        finish_recording();
        return;
    }
    if (m_playback) {
        post_user_message(record_text::playing_back);
        return;
    }
    if (!driver || (!driver->m_tof_on && !driver->m_rgb_on && !driver->m_rgbd_on)) {
        post_user_message(record_text::nothing_streaming);
        return;
    }
    const QString folder = save_panel->line_file_path->text();
    if (folder.isEmpty()) {
        post_user_message(viewer_text::select_path);
        return;
    }
    if (is_chinese_path(folder)) {
        post_user_message(viewer_text::chinese_path);
        return;
    }
    if (ensure_folder(folder).isEmpty()) {
        post_user_message(QString::fromUtf8(record_text::cannot_start)
                              .arg(tr("the folder %1 cannot be created").arg(folder)));
        return;
    }
    const QString path = recording_file(folder);
    const bool raw_asked = save_panel->check_raw->isChecked();
    QString error;
    if (!driver->start_recording(path, raw_asked, error)) {
        post_user_message(QString::fromUtf8(record_text::cannot_start).arg(error));
        return;
    }
    m_record_clock.start();
    m_record_timer->start();
    show_record_state(true);
    m_record_status->show();
    update_record_status();
    const char* text = !raw_asked                    ? record_text::started
                       : driver->offers_raw_frames() ? record_text::started_raw
                                                     : record_text::started_no_raw;
    post_user_message(QString::fromUtf8(text).arg(QDir::toNativeSeparators(path)));
}

void viewer::update_record_status()
{
    if (!driver) {
        m_record_timer->stop();
        return;
    }
    const driver_operate::record_state s = driver->recording_state();
    if (!s.active) {
        m_record_timer->stop();
        return;
    }
    if (s.status.stopped && !s.status.problem.empty()) {
        finish_recording(QString::fromStdString(s.status.problem));
        return;
    }
    QString text = QStringLiteral("REC %1   %2   dropped %3")
                       .arg(clock_text(m_record_clock.elapsed()), size_text(s.status.bytes_written))
                       .arg(s.status.frame_sets_dropped);
    if (s.raw_frames && s.status.raw_frames_dropped > 0)
        text += QStringLiteral(" (raw %1)").arg(s.status.raw_frames_dropped);
    m_record_status->setText(text);
    m_record_status->setToolTip(QDir::toNativeSeparators(s.path));
}

void viewer::finish_recording(const QString& problem)
{
    m_record_timer->stop();
    show_record_state(false);
    if (!driver || !driver->is_recording())
        return;
    driver_operate::record_state final_state;
    QString error;
    const bool complete = driver->stop_recording(final_state, error);
    const QString path = QDir::toNativeSeparators(final_state.path);
    const recording::writer_status& st = final_state.status;
    const double seconds = st.frame_sets_written > 1 ? double(st.last_stamp_ns - st.first_stamp_ns) / 1e9 : 0.0;
    m_record_status->setText(tr("Last recording: %1").arg(QFileInfo(final_state.path).fileName()));
    if (!complete) {
        post_user_message(QString::fromUtf8(record_text::incomplete).arg(error, path));
        return;
    }
    if (!problem.isEmpty()) {
        post_user_message(QString::fromUtf8(record_text::stopped_early).arg(problem, path));
        return;
    }
    post_user_message(QString::fromUtf8(record_text::saved)
                          .arg(path)
                          .arg(st.frame_sets_written)
                          .arg(seconds, 0, 'f', 1));
}
