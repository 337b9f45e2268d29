// Recordings as cameras: "Open recording…" lists a recording file in the
// module list; opening it runs the acquisition object on the recording's
// frame source, with the timeline under the views.
#include "viewer.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include <playback/recording_camera.h>

#include "app/user_message.h"
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
    auto key = [this](int k, void (playback_bar::*slot)()) {
        auto *s = new QShortcut(QKeySequence(k), this);
        connect(s, &QShortcut::activated, this, [this, slot] {
            if (m_playback && m_timeline->isVisible())
                (m_timeline->*slot)();
        });
    };
    key(Qt::Key_Space, &playback_bar::toggle_play);
    key(Qt::Key_Left, &playback_bar::step_back);
    key(Qt::Key_Right, &playback_bar::step_forward);
}

QString viewer::recording_row_name(const QString &path) const
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

bool viewer::add_recording(const QString &path)
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

bool viewer::open_recording_file(const QString &path)
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

void viewer::open_recording(const QString &path)
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
    for (QCheckBox *check : {check_flip_ver, check_flip_hor})
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
    for (QCheckBox *check : {check_flip_ver, check_flip_hor})
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
