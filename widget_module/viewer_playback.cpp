// Recordings as cameras: "Open recording…" lists a recording file in the
// module list; opening it runs the acquisition object on the recording's
// frame source, with the timeline under the views.
#include "viewer.h"

#include <functional>

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTimer>

#include <playback/recording_camera.h>

#include "app/user_message.h"
#include "cloud_view_widget.h"
#include "parameter_setting_widget.h"
#include "playback_bar.h"
#include "record_texts.h"
#include "recording_dialog.h"
#include "zavire/driver_operate.h"

void viewer::create_playback_controls()
{
    m_btn_open_recording = new QPushButton(tr("Open recording\u2026"), btn_chose_module->parentWidget());
    m_btn_open_recording->setObjectName(QStringLiteral("btn_open_recording"));
    m_btn_open_recording->setGeometry(220, 15, 140, 30);
    m_btn_open_recording->setStyleSheet(
        QStringLiteral("QPushButton{border:1px solid rgb(120,120,120);color:rgb(255,255,255);"
                       "background-color:transparent;}"
                       "QPushButton:hover{background-color:rgb(120,120,120);}"));
    m_btn_open_recording->setToolTip(tr("Open a recording (.bag) as a camera"));
    m_btn_open_recording->raise();
    connect(m_btn_open_recording, &QPushButton::clicked, this, &viewer::open_recording_clicked);

    m_timeline = new playback_bar(widget_view->parentWidget());
    m_timeline->hide();

    // Space and the arrows drive the timeline while a recording plays; a
    // text field with the focus keeps them (it accepts the override).
    auto key = [this](int k, std::function<void(playback_bar*)> action) {
        auto* s = new QShortcut(QKeySequence(k), this);
        connect(s, &QShortcut::activated, this, [this, action] {
            if (m_playback && m_timeline->isVisible())
                action(m_timeline);
        });
    };
    key(Qt::Key_Space, [](playback_bar* bar) { bar->toggle_play(); });
    key(Qt::Key_Left, [](playback_bar* bar) { bar->step_back(); });
    key(Qt::Key_Right, [](playback_bar* bar) { bar->step_forward(); });
}

QString viewer::recording_row_name(const QString& path) const
{
    return QStringLiteral("Recording: ") + QFileInfo(path).fileName();
}

void viewer::open_recording_clicked()
{
    if (driver) {
        post_user_message(tr("Close the open camera or recording first (the button beside its name)."));
        return;
    }
    const QString path = choose_recording_file(this);
    if (path.isEmpty())
        return;
    add_recording(path);
}

bool viewer::add_recording(const QString& path)
{
    std::string error;
    // Opened once to tell a damaged file now rather than at the click.
    if (!playback::recording_camera::open(QFile::encodeName(path).toStdString(), error)) {
        post_user_message(QString::fromUtf8(record_text::cannot_open)
                              .arg(QDir::toNativeSeparators(path), QString::fromStdString(error)));
        return false;
    }
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!m_recording_paths.contains(absolute))
        m_recording_paths.append(absolute);
    list_modules(false);
    return true;
}

bool viewer::open_recording_file(const QString& path)
{
    if (driver || !add_recording(path))
        return false;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (int row = 0; row < table_module->rowCount(); ++row)
        if (table_module->item(row, 0) && table_module->item(row, 0)->data(Qt::UserRole).toString() == absolute) {
            slot_table_select(row, 0);
            return true;
        }
    return false;
}

void viewer::open_recording(const QString& path)
{
    if (driver)
        return;
    std::string error;
    std::unique_ptr<playback::recording_camera> camera =
        playback::recording_camera::open(QFile::encodeName(path).toStdString(), error);
    if (!camera) {
        post_user_message(QString::fromUtf8(record_text::cannot_open)
                              .arg(QDir::toNativeSeparators(path), QString::fromStdString(error)));
        m_recording_paths.removeAll(path);
        return;
    }
    m_playback = std::move(camera);
    open_module(m_playback.get());
    m_timeline->attach(m_playback);
    m_timeline->show();
    relayout_window();
}

void viewer::apply_playback_locks()
{
    if (!m_playback || !driver)
        return;
    // Settings that came from the camera show the recorded values, read-only;
    // the distance range and the filter switch still apply.
    combo_resolution->setEnabled(false);
    for (QCheckBox* check : {check_flip_ver, check_flip_hor})
        check->setEnabled(false);
    if (param_panel) {
        param_panel->combo_resolution->setEnabled(false);
        param_panel->slider_integral_time->setEnabled(false);
        param_panel->edit_integral_time->setEnabled(false);
    }
}

void viewer::after_playback_closed()
{
    if (!m_playback)
        return;
    m_timeline->attach(nullptr);
    m_timeline->hide();
    m_playback.reset();
    combo_resolution->setEnabled(true);
    for (QCheckBox* check : {check_flip_ver, check_flip_hor})
        check->setEnabled(true);
    label_current_module->setText(tr("Choose Camera"));
    relayout_window();
}

void viewer::place_timeline()
{
    if (!m_timeline || m_timeline->isHidden())
        return;
    const QRect area = widget_view->geometry();
    widget_view->setGeometry(area.x(), area.y(), area.width(), area.height() - playback_bar::kHeight);
    m_timeline->setGeometry(area.x(), area.y() + area.height() - playback_bar::kHeight, area.width(),
                            playback_bar::kHeight);
    m_timeline->raise();
}

// ------------------------------------------------------- live re-processing

void viewer::add_depth_source_switch()
{
    if (!m_playback || !tof_view || m_btn_depth_source)
        return;
    if (!(m_playback->streams() & recording::bit(recording::stream::raw_phase)))
        return;
    // In the depth view's title bar, where a camera has its record button.
    m_btn_depth_source = new QPushButton(tr("Recorded"), tof_view->widget_title);
    m_btn_depth_source->setObjectName(QStringLiteral("btn_depth_source"));
    m_btn_depth_source->setCheckable(true);
    m_btn_depth_source->setGeometry(6, (tof_view->widget_title->height() - 24) / 2, 104, 24);
    m_btn_depth_source->setStyleSheet(
        QStringLiteral("QPushButton{border:1px solid rgb(150,150,150);color:rgb(255,255,255);"
                       "background-color:rgb(70,70,70);}"
                       "QPushButton:checked{background-color:rgb(40,110,180);}"));
    m_btn_depth_source->setToolTip(
        tr("Recorded: the depth as recorded. Re-processed: depth recomputed from the raw phase frames "
           "with the Filter section's settings."));
    connect(m_btn_depth_source.data(), &QPushButton::toggled, this, &viewer::set_reprocessing);
    m_btn_depth_source->show();
    m_btn_depth_source->raise();

    m_recorded_value = new QLabel(tof_view->page_2d);
    m_recorded_value->setObjectName(QStringLiteral("label_recorded_value"));
    m_recorded_value->setStyleSheet(QStringLiteral("color:rgb(255,255,255);background-color:rgba(0,0,0,150);"
                                                   "padding:2px;"));
    m_recorded_value->hide();
    connect(driver, &driver_operate::sig_update_date_vec, this, &viewer::show_recorded_value,
            Qt::QueuedConnection);
}

void viewer::set_reprocessing(bool on)
{
    if (!m_playback)
        return;
    if (on && !m_playback->can_reprocess()) {
        post_user_message(QString::fromUtf8(record_text::reprocess_unavailable)
                              .arg(QString::fromStdString(m_playback->reprocess_unavailable_reason())));
        const bool blocked = m_btn_depth_source->blockSignals(true);
        m_btn_depth_source->setChecked(false);
        m_btn_depth_source->blockSignals(blocked);
        return;
    }
    m_playback->set_reprocess(on);
    m_btn_depth_source->setText(on ? tr("Re-processed") : tr("Recorded"));
    show_recorded_value();
}

void viewer::show_recorded_value()
{
    if (!m_recorded_value || !tof_view)
        return;
    // While re-processing, the measurement box's depth is the recomputed one;
    // the recorded value of the same pixel is shown under it (not for RGBD
    // Fusion, whose pixels lie on the colour image's grid).
    static const QRegularExpression location(QStringLiteral("^(\\d+)x(\\d+)$"));
    const QRegularExpressionMatch m = location.match(tof_view->label_location_content->text());
    if (!m_playback || !m_playback->reprocessing() || !tof_view->widget_location->isVisible() || !m.hasMatch()
        || (driver && driver->m_rgbd_on)) {
        m_recorded_value->hide();
        return;
    }
    const uint16_t recorded = m_playback->recorded_depth_at(m.captured(1).toInt(), m.captured(2).toInt());
    m_recorded_value->setText(tr("Recorded: %1 mm").arg(recorded));
    m_recorded_value->adjustSize();
    const QRect box = tof_view->widget_location->geometry();
    m_recorded_value->move(box.left(), box.top() - m_recorded_value->height() - 2);
    m_recorded_value->show();
    m_recorded_value->raise();
}
