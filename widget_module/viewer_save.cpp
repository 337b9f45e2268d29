#include "viewer.h"

#include "app/save_settings_store.h"
#include "folder_dialog.h"
#include "is_chinese_path.h"
#include "save_checks.h"
#include "save_path_widget.h"
#include "viewer_messages.h"
#include "zavire/driver_operate.h"

bool viewer::validate_rgb_save(save_settings& settings)
{
    const QString path = line_file_path->text();
    const int frame = checked_save_frames(line_frame->text(), path, false);
    if (frame == 0)
        return false;
    settings.RGBFrame = frame;
    settings.rgb_file_path = path;
    return true;
}

bool viewer::validate_rgbd_save(save_settings& settings)
{
    const QString path = line_rgbd_file_path->text();
    const int frame = checked_save_frames(line_rgbd_frame->text(), path, true);
    if (frame == 0)
        return false;
    settings.RGBDFrame = frame;
    settings.RGBD = check_rgbd_depth->isChecked();
    settings.RGBDPcl = check_rgbd_pcd->isChecked();
    settings.rgbd_file_path = path;
    return true;
}

bool viewer::save_needs_stream(bool tof, bool rgb)
{
    // A save counts down frames as they come: with nothing streaming it
    // would wait for ever, so the user is told what to switch on instead.
    if (driver->m_rgbd_on || (tof && driver->m_tof_on) || (rgb && driver->m_rgb_on))
        return false;
    post_user_message(tof && rgb ? viewer_text::save_nothing_streaming
                      : tof      ? viewer_text::save_needs_depth
                                 : viewer_text::save_needs_rgb);
    return true;
}

void viewer::OnBtnSaveClicked()
{
    if (!driver)
        return;
    if (driver->m_rgbd_on) {
        start_rgbd_save();
        return;
    }
    if (save_needs_stream(true, true))
        return;
    save_settings settings;
    const bool tof_on = driver->m_tof_on;
    const bool rgb_on = driver->m_rgb_on;
    if (tof_on) {
        if (!save_panel->validate(settings))
            return;
        store_tof_settings(settings);
    }
    if (rgb_on) {
        if (!validate_rgb_save(settings))
            return;
        store_rgb_settings(settings);
    }
    if (tof_on)
        emit sig_save_tof(settings.frame, settings.depth, settings.pcl, settings.ir, settings.file_path);
    if (rgb_on)
        emit sig_save_rgb(settings.RGBFrame, settings.rgb_file_path);
}

void viewer::OnTOFWidgetSaveBtnClicked()
{
    if (!driver || save_needs_stream(true, false))
        return;
    if (driver->m_rgbd_on)
        start_rgbd_save();
    else
        start_tof_save();
}

void viewer::OnRGBWidgetSaveBtnClicked()
{
    if (!driver || save_needs_stream(false, true))
        return;
    if (driver->m_rgbd_on) {
        start_rgbd_save();
        return;
    }
    save_settings settings;
    if (!validate_rgb_save(settings))
        return;
    store_rgb_settings(settings);
    emit sig_save_rgb(settings.RGBFrame, settings.rgb_file_path);
}

void viewer::OnIRWidgetSaveBtnClicked()
{
    if (driver && save_needs_stream(true, false))
        return;
    start_tof_save();
}

void viewer::start_tof_save()
{
    save_settings settings;
    if (!save_panel->validate(settings))
        return;
    store_tof_settings(settings);
    emit sig_save_tof(settings.frame, settings.depth, settings.pcl, settings.ir, settings.file_path);
}

void viewer::start_rgbd_save()
{
    save_settings settings;
    if (!validate_rgbd_save(settings))
        return;
    store_rgbd_settings(settings);
    emit sig_save_rgbd(settings.RGBDFrame, settings.RGBD, settings.RGBDPcl, settings.rgbd_file_path);
}

void viewer::choose_save_folder(QLineEdit* field, void (*store)(const QString&))
{
    const QString folder = choose_folder(this, QStringLiteral("save_path"), field->text());
    if (folder.isEmpty())
        return;
    if (is_chinese_path(folder)) {
        post_user_message(viewer_text::chinese_path);
        return;
    }
    field->setText(folder);
    store(folder);
}

void viewer::on_btn_select_clicked()
{
    choose_save_folder(line_file_path, &store_rgb_file_path);
}

void viewer::on_btn_rgbd_select_clicked()
{
    choose_save_folder(line_rgbd_file_path, &store_rgbd_file_path);
}
