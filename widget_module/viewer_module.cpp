#include "viewer.h"

#include <QLabel>
#include <QTimer>

#include "app/trace.h"
#include "app/user_message.h"
#include "cloud_view_widget.h"
#include "filter_mode_control.h"
#include "module_naming.h"
#include "module_probe.h"
#include "parameter_setting_widget.h"

#include <playback/recording_camera.h>
#include "rgb_view_widget.h"
#include "save_path_widget.h"
#include "user_define.h"
#include "view_common.h"
#include "viewer_icons.h"
#include "viewer_messages.h"
#include "widget_ir.h"
#include "zavire/driver_operate.h"

namespace {
const char* const kSource = "widget_module/viewer";
}  // namespace

// ---------------------------------------------------------------- module list

void viewer::btn_chose_module_clicked()
{
    if (driver)
        return;
    if (table_module->isVisible()) {
        table_module->hide();
        m_list_timer->stop();
        return;
    }
    // While no camera is listed the SDK is asked again every second, so the
    // list shows a camera as soon as one is plugged in.
    if (!list_modules(true))
        m_list_timer->start();
}

bool viewer::list_modules(bool tell_none)
{
    QString raw_name;
    const bool found = probe_first_module(sdk_context(), &raw_name);
    const bool appeared = found && !m_list_has_camera;
    m_list_has_camera = found;
    if (!found && tell_none)
        post_user_message(viewer_text::no_camera);
    // The camera first, then the recordings opened (their path in UserRole).
    QStringList names;
    QStringList paths;
    if (found) {
        names << module_display_name(raw_name, true);
        paths << QString();
    }
    for (const QString& path : m_recording_paths) {
        names << recording_row_name(path);
        paths << path;
    }
    if (names.isEmpty()) {
        for (int row = table_module->rowCount() - 1; row >= 0; --row)
            table_module->removeRow(row);
        table_module->hide();
        return false;
    }
    // An unchanged list is left alone, so a click on it is never lost.
    bool same = table_module->isVisible() && table_module->rowCount() == names.size();
    for (int row = 0; same && row < names.size(); ++row)
        same = table_module->item(row, 0) && table_module->item(row, 0)->text() == names[row];
    if (same)
        return found;
    for (int row = table_module->rowCount() - 1; row >= 0; --row)
        table_module->removeRow(row);
    for (int row = 0; row < names.size(); ++row) {
        table_module->insertRow(row);
        auto* item = new QTableWidgetItem(names[row]);
        item->setData(Qt::UserRole, paths[row]);
        item->setToolTip(paths[row]);
        table_module->setItem(row, 0, item);
        table_module->setRowHeight(row, 30);
    }
    table_module->resize(table_module->width(), 30 * names.size());
    table_module->show();
    table_module->raise();
    if (appeared && !tell_none)
        post_user_message(QString::fromUtf8(viewer_text::camera_found).arg(names.front()));
    if (appeared && m_view_notice->isVisible()) {
        m_view_notice->setText(QString::fromUtf8(viewer_text::view_notice_back));
        place_view_notice();
    }
    return found;
}

void viewer::refresh_module_list()
{
    if (driver) {
        m_list_timer->stop();
        return;
    }
    list_modules(false);
}

void viewer::slot_table_select(int row, int)
{
    const QTableWidgetItem* item = table_module->item(row, 0);
    const QString recording = item ? item->data(Qt::UserRole).toString() : QString();
    table_module->hide();
    m_list_timer->stop();
    m_list_has_camera = false;
    if (!recording.isEmpty())
        open_recording(recording);
    else
        open_module();
    rgb_info = tof_param_info();
}

void viewer::open_module(pvx3::context* context)
{
    if (driver)
        return;
    m_view_notice->hide();
    driver = new driver_operate(context ? context : sdk_context());
    connect(driver, &driver_operate::sig_update_date, this, &viewer::slot_update_date);
    connect(driver, &driver_operate::sig_stream_failed, this, &viewer::slot_stream_failed,
            Qt::QueuedConnection);
    connect(driver, &driver_operate::sig_drive_info, this, &viewer::slot_drive_info);
    connect(driver, &driver_operate::sig_fail_open_drive, this, &viewer::slot_fail_open_drive);
    connect(driver, &driver_operate::sig_device_info, this, &viewer::slot_device_info);
    connect(driver, &driver_operate::sig_open_faild, this, &viewer::slot_open_faild);
    connect(driver, &driver_operate::sig_finish_change_frame, this, &viewer::slot_finish_change_frame,
            Qt::QueuedConnection);
    connect(driver, &driver_operate::sig_reset_resolution, this, &viewer::OnSlotResetResolution,
            Qt::QueuedConnection);
    connect(this, &viewer::sig_change_mode, driver, &driver_operate::slot_change_mode);
    connect(this, SIGNAL(sig_change_distance_range(int, int)), driver,
            SLOT(slot_change_distance_range(int, int)));
    connect(this, &viewer::sig_save_tof, driver, &driver_operate::OnSlotSaveTOF, Qt::QueuedConnection);
    connect(this, &viewer::sig_save_rgb, driver, &driver_operate::OnSlotSaveRGB, Qt::QueuedConnection);
    connect(this, &viewer::sig_save_rgbd, driver, &driver_operate::OnSlotSaveRGBD, Qt::QueuedConnection);
    connect(this, &viewer::sig_change_stram, driver, &driver_operate::slot_change_stram,
            Qt::QueuedConnection);
    driver->start(QThread::InheritPriority);

    if (param_panel) {
        connect(param_panel, &parameter_setting_widget::sig_integral_time_change, driver,
                &driver_operate::slot_integral_time);
        connect(driver, &driver_operate::sig_change_integral_time_finish, param_panel,
                &parameter_setting_widget::slot_change_integral_time_finish, Qt::QueuedConnection);
    }
}

// -------------------------------------------------------------- device report

void viewer::slot_device_info(QString current_module, QString product_number, QString version,
                              QString strRecommendVersion, bool has_tof, bool has_rgb)
{
    const QString mismatch = firmware_mismatch_message(version, strRecommendVersion);
    if (!mismatch.isEmpty())
        post_user_message(mismatch);

    const QString name = module_display_name(current_module, false);
    label_current_module->setText(name);
    label_pro_name_content->setText(name);
    label_pro_num_content->setText(product_number);
    label_firmware_version_content->setText(firmware_display_text(name, current_module, version));

    widget_module->show();
    widget_tof->setVisible(has_tof);
    widget_rgb_module->setVisible(has_rgb);
    btn_save_picture->setVisible(has_rgb);
    widget_rgbd_module->setVisible(has_tof && has_rgb);
    m_btn_record->show();
    if (m_playback) {
        // A recording shows its own name; it registers depth to colour with
        // the recorded calibration when it holds both.
        const QString recording = QString::fromStdString(m_playback->display_name());
        label_current_module->setText(recording);
        label_pro_name_content->setText(recording);
        widget_rgbd_module->setVisible(has_tof && has_rgb && m_playback->can_register());
    }

    if (driver) {
        m_filter_mode->attach(driver);
        bool filter_on = false;
        if (driver->get_filter(filter_on))
            check_fillter->setChecked(filter_on);
        if (m_playback) {
            uint16_t a = 0;
            pvx3::sensor* s = m_playback->get_device()->get_sensor();
            for (auto [check, option] : {std::make_pair(check_flip_ver, int(pvx3::PVX3_OPTION_FLIP_VERTICAL)),
                                         std::make_pair(check_flip_hor, int(pvx3::PVX3_OPTION_FLIP_HORIZONTAL))}) {
                const bool blocked = check->blockSignals(true);
                check->setChecked(s && s->get_option(option, a) == 0 && a != 0);
                check->blockSignals(blocked);
            }
        }
        if (combo_resolution->count() == 0) {
            for (const stream_format& format : driver->get_rgb_formats())
                combo_resolution->addItem(resolution_text(format.width, format.height));
            connect(combo_resolution, &QComboBox::currentTextChanged, this, &viewer::rgb_frame_change,
                    Qt::UniqueConnection);
            user_define::attach(combo_resolution, combo_resolution->currentText());
        }
    }
    apply_playback_locks();
    layout_left_panel();
}

// ----------------------------------------------------------- depth parameters

void viewer::OnSlotResetResolution()
{
    if (!driver)
        return;
    tof_info = driver->get_depth_resolutions();
    ensure_parameter_panel();
    apply_playback_locks();
}

void viewer::ensure_parameter_panel()
{
    if (param_panel) {
        param_panel->load_param_info(driver->get_depth_resolutions());
        return;
    }
    refresh_tof_param_info();
    param_panel = new parameter_setting_widget(tof_info, widget_parameter_setting_contianer);
    connect(param_panel, &parameter_setting_widget::sig_resolution_change, this,
            &viewer::slot_resolution_change);
    connect(param_panel, &parameter_setting_widget::sig_integral_time_change, driver,
            &driver_operate::slot_integral_time);
    connect(driver, &driver_operate::sig_change_integral_time_finish, param_panel,
            &parameter_setting_widget::slot_change_integral_time_finish, Qt::QueuedConnection);
    connect(
        param_panel, &parameter_setting_widget::sig_integral_time_change, this,
        [this](uint16_t value) { tof_info.integral_time = value; }, Qt::DirectConnection);
    connect(
        param_panel, &parameter_setting_widget::sig_distance_range_change, this,
        [this](int max_distance_range, int min_distance_range) {
            tof_info.distance_max = max_distance_range;
            tof_info.distance_min = min_distance_range;
            emit sig_change_distance_range(min_distance_range, max_distance_range);
        },
        Qt::DirectConnection);
    widget_parameter_setting_contianer->resize(widget_parameter_setting_contianer->width(),
                                               param_panel->height());
}

void viewer::refresh_tof_param_info()
{
    if (!driver)
        return;
    const auto limits = driver->get_option3_range();
    tof_info.distance_limit_max = limits.first;
    tof_info.distance_limit_min = limits.second;
    const auto range = driver->get_distance_range();
    tof_info.distance_max = range.first;
    tof_info.distance_min = range.second;
    const auto times = driver->get_integral_time_range();
    tof_info.integral_time_max = times.first;
    tof_info.integral_time_min = times.second;
    const int now = driver->get_integral_time();
    tof_info.integral_time = now != 0 ? now : tof_info.integral_time_max;
}

// ------------------------------------------------------------------- switches

void viewer::slot_btn_tof_switch()
{
    if (!driver || driver->m_rgbd_on)
        return;
    if (driver->m_tof_on) {
        driver->stop_tof();
        if (tof_view)
            tof_view->close();
        if (ir_view)
            ir_view->close();
    } else {
        if (!driver->start_tof()) {
            post_user_message(viewer_text::open_stream_fail);
            return;
        }
        emit sig_change_mode(0);
        widget_point_cloud->show();
        widget_ir->show();
        if (rgb_view && is_expanded(rgb_view))
            rgb_view->set_expend(false);
        solt_show_tof_view();
        driver->wake();
        tof_view->set_rgbd_mode(false);
        // The parameter panel appears with the driver's resolution report; a
        // switch clicked before that has no panel to unlock.
        if (param_panel)
            param_panel->set_resolution_locked(false);
        save_panel->set_rgbd_lock(false);
        lock_rgb_controls(false);
        btn_switch_tof->setIcon(shared_icon(viewer_icons::switch_on));
    }
    layout_view_area(false);
}

void viewer::slot_btn_rgb_switch()
{
    if (!driver || driver->m_rgbd_on)
        return;
    if (rgb_module_on) {
        driver->stop_rgb();
        if (rgb_view)
            rgb_view->close();
    } else if (!driver->m_rgb_on) {
        if (!driver->start_rgb()) {
            post_user_message(viewer_text::open_stream_fail);
            return;
        }
        driver->wake();
        btn_switch_rgb->setIcon(shared_icon(viewer_icons::switch_on));
        slot_show_rgb_view();
        rgb_view->set_rgbd_mode(false);
        lock_rgb_controls(false);
        rgb_module_on = true;
        widget_rgb->show();
        if (tof_view && is_expanded(tof_view))
            tof_view->set_expend(false);
        else if (ir_view && is_expanded(ir_view))
            ir_view->set_expend(false);
        layout_view_area(false);
    }
    layout_view_area(false);
}

void viewer::slot_btn_rgbd_switch()
{
    if (!driver)
        return;
    if (driver->m_rgbd_on) {
        switch_rgbd_off();
        return;
    }

    const bool tof_was_on = driver->m_tof_on;
    if (!driver->start_rgbd()) {
        post_user_message(viewer_text::open_stream_fail);
        return;
    }
    if (!tof_was_on)
        emit sig_change_mode(0);
    unexpand_views({tof_view, rgb_view, ir_view});
    tof_info = driver->get_depth_resolutions();
    if (param_panel) {
        param_panel->load_param_info(tof_info);
        param_panel->set_resolution_enabled(false);
    }
    check_flip_ver->setChecked(false);
    check_flip_hor->setChecked(false);
    check_flip_ver->setCheckable(false);
    check_flip_hor->setCheckable(false);
    driver->set_flip_vertical(false);
    driver->set_flip_horizontal(false);
    btn_rgbd_switch->setIcon(shared_icon(viewer_icons::switch_on));
    btn_rgbd_expend->setEnabled(true);
    widget_point_cloud->show();
    solt_show_tof_view();
    driver->wake();
    tof_view->set_rgbd_mode(true);
    if (param_panel)
        param_panel->set_resolution_locked(true);
    save_panel->set_rgbd_lock(true);
    btn_switch_tof->setIcon(shared_icon(viewer_icons::switch_on));
    btn_switch_rgb->setIcon(shared_icon(viewer_icons::switch_on));
    slot_show_rgb_view();
    rgb_view->set_rgbd_mode(true);
    rgb_module_on = true;
    widget_rgb->show();
    if (ir_view)
        ir_view->close();
    layout_view_area(false);
    lock_rgb_controls(true);
    layout_left_panel();
    layout_view_area(false);
}

void viewer::switch_rgbd_off()
{
    check_flip_ver->setCheckable(true);
    check_flip_hor->setCheckable(true);
    if (param_panel)
        param_panel->set_resolution_enabled(true);
    driver->stop_rgbd();
    btn_rgbd_switch->setIcon(shared_icon(viewer_icons::switch_off));
    btn_rgbd_expend->setIcon(shared_icon(viewer_icons::section_collapsed));
    collapse_rgbd_sections();
    btn_rgbd_expend->setEnabled(false);
    if (tof_view)
        tof_view->close();
    if (rgb_view)
        rgb_view->close();
    layout_left_panel();
    layout_view_area(false);
}

void viewer::lock_rgb_controls(bool locked)
{
    for (QWidget* w : {static_cast<QWidget*>(line_file_path), static_cast<QWidget*>(line_frame),
                       static_cast<QWidget*>(btn_select), static_cast<QWidget*>(combo_resolution),
                       static_cast<QWidget*>(check_flip_hor), static_cast<QWidget*>(check_flip_ver)})
        w->setEnabled(!locked);
    apply_playback_locks();
}

void viewer::update_save_button()
{
    btn_save_picture->setEnabled(rgb_view != nullptr || tof_view != nullptr);
}

bool viewer::is_expanded(const QWidget* view) const
{
    return view && m_expanded_view == view;
}

void viewer::unexpand_views(std::initializer_list<QWidget*> candidates)
{
    // The first expanded view of the list is restored.
    for (QWidget* view : candidates) {
        if (!is_expanded(view))
            continue;
        if (view == tof_view)
            tof_view->set_expend(false);
        else if (view == rgb_view)
            rgb_view->set_expend(false);
        else if (view == ir_view)
            ir_view->set_expend(false);
        return;
    }
}

// -------------------------------------------------------------- view creation

void viewer::solt_show_tof_view()
{
    if (!tof_view) {
        tof_view = new cloud_view_widget(tof_info.width, tof_info.height, widget_point_cloud);
        tof_view->setAttribute(Qt::WA_DeleteOnClose, true);
        connect(tof_view, &cloud_view_widget::sig_exit, this, &viewer::slot_tof_view_widget_exit);
        connect(tof_view, &cloud_view_widget::sig_expend_view, this, &viewer::slos_expend_view);
        connect(
            tof_view, &cloud_view_widget::sig_change_mode, this,
            [this](int mode) { emit sig_change_mode(mode); }, Qt::DirectConnection);
        connect(tof_view, &cloud_view_widget::sig_save_tof, this, &viewer::OnTOFWidgetSaveBtnClicked);
        connect(tof_view, &cloud_view_widget::sig_rgbd_click_point_sync, this,
                &viewer::OnSlotRGBDClickPointSync);
        connect(driver, &driver_operate::sig_update_date_vec, tof_view, &cloud_view_widget::slot_show_depth,
                Qt::QueuedConnection);
        connect(driver, &driver_operate::sig_update_cloud_point_vec, tof_view,
                &cloud_view_widget::show_show_point_clode, Qt::QueuedConnection);
        connect(this, &viewer::sig_resize_widget, tof_view, &cloud_view_widget::resize_widget);
        connect(this, &viewer::sig_rgbd_rgb_click_point_sync, tof_view,
                &cloud_view_widget::OnSlotRGBDClickPointSync);
        // The colour bar's scale follows the distance range the colours span.
        const auto range = driver->get_distance_range();  // (far, near)
        if (range.first > range.second)
            tof_view->set_distance_range(range.second, range.first);
        connect(this, &viewer::sig_change_distance_range, tof_view, &cloud_view_widget::set_distance_range);
        tof_view->watch_for_stalls();
        tof_view->show();
        place_view_record_button();
        add_depth_source_switch();
        btn_tof_expend->setEnabled(true);
        update_save_button();
    }
    if (!ir_view) {
        ir_view = new WidgetIR(widget_ir);
        connect(ir_view, &WidgetIR::sig_stop_start, this, &viewer::slot_stop_start);
        connect(ir_view, &WidgetIR::sig_exit, this, &viewer::slot_ir_view_widget_exit);
        connect(ir_view, &WidgetIR::sig_expend_view, this, &viewer::slos_expend_view);
        connect(ir_view, &WidgetIR::sig_save_ir_image, this, &viewer::OnIRWidgetSaveBtnClicked);
        connect(driver, &driver_operate::sig_show_ir, ir_view, &WidgetIR::show_frame, Qt::QueuedConnection);
        connect(this, &viewer::sig_ir_widget_resize, ir_view, &WidgetIR::slot_ir_widget_resize);
        connect(this, &viewer::sig_resize_widget, ir_view, &WidgetIR::resize_widget);
        ir_view->watch_for_stalls();
        ir_view->show();
        emit sig_resolution_change(rgb_info.width, rgb_info.height);
    }
}

void viewer::slot_show_rgb_view()
{
    if (rgb_view)
        return;
    rgb_view = new rgb_view_widget(widget_rgb);
    connect(rgb_view, &rgb_view_widget::sig_stop_start, this, &viewer::slot_stop_start);
    connect(rgb_view, &rgb_view_widget::sig_exit, this, &viewer::slot_rgb_view_widget_exit);
    connect(rgb_view, &rgb_view_widget::sig_expend_view, this, &viewer::slos_expend_view);
    connect(rgb_view, &rgb_view_widget::sig_save_rgb_image, this, &viewer::OnRGBWidgetSaveBtnClicked);
    connect(rgb_view, &rgb_view_widget::sig_rgbd_click_point_sync, this, &viewer::OnSlotRGBDClickPointSync);
    connect(driver, &driver_operate::sig_show_rgb, rgb_view, &rgb_view_widget::show_frame, Qt::QueuedConnection);
    connect(driver, &driver_operate::sig_update_date_vec, rgb_view, &rgb_view_widget::slot_show_depth,
            Qt::QueuedConnection);
    connect(this, &viewer::sig_resize_widget, rgb_view, &rgb_view_widget::resize_widget);
    connect(this, &viewer::sig_rgb_widget_resize, rgb_view, &rgb_view_widget::slot_rgb_widget_resize);
    connect(this, &viewer::sig_rgbd_depth_click_point_sync, rgb_view, &rgb_view_widget::OnSlotRGBDClickPointSync);
    rgb_view->watch_for_stalls();
    emit sig_resolution_change(rgb_info.width, rgb_info.height);
    btn_rgbexpend->setEnabled(true);
    update_save_button();
}

// ------------------------------------------------------------------ view exits

void viewer::slot_tof_view_widget_exit()
{
    if (!driver)
        return;
    // A view's close button reports its exit twice; the second finds no view.
    if (!tof_view && widget_point_cloud->isHidden())
        return;
    driver->stop_tof();
    if (m_expanded_view == tof_view)
        m_expanded_view = nullptr;
    tof_view = nullptr;
    btn_tof_expend->setEnabled(false);
    collapse_tof_sections();
    widget_point_cloud->hide();
    widget_ir->hide();
    layout_left_panel();
    btn_switch_tof->setIcon(shared_icon(viewer_icons::switch_off));
    btn_tof_expend->setIcon(shared_icon(viewer_icons::section_collapsed));
    if (rgb_view && widget_rgb->isHidden())
        widget_rgb->show();
    btn_save_picture->setEnabled(rgb_view != nullptr);
    layout_view_area(false);
}

void viewer::slot_ir_view_widget_exit()
{
    if (m_expanded_view == ir_view)
        m_expanded_view = nullptr;
    ir_view = nullptr;
    widget_ir->hide();
    layout_view_area(false);
}

void viewer::slot_rgb_view_widget_exit()
{
    if (!driver)
        return;
    if (!rgb_view && widget_rgb->isHidden())
        return;
    driver->stop_rgb();
    if (m_expanded_view == rgb_view)
        m_expanded_view = nullptr;
    rgb_view = nullptr;
    btn_switch_rgb->setIcon(shared_icon(viewer_icons::switch_off));
    btn_rgbexpend->setIcon(shared_icon(viewer_icons::section_collapsed));
    rgb_module_on = false;
    widget_rgb->hide();
    collapse_rgb_sections();
    layout_left_panel();
    if (tof_view && widget_point_cloud->isHidden())
        widget_point_cloud->show();
    layout_view_area(false);
    btn_rgbexpend->setEnabled(false);
    btn_save_picture->setEnabled(tof_view != nullptr);
}

// --------------------------------------------------------------- expanding

void viewer::slos_expend_view(bool bExpend)
{
    QObject* from = sender();
    if (bExpend)
        m_expanded_view = qobject_cast<QWidget*>(from);
    else if (m_expanded_view == from)
        m_expanded_view = nullptr;

    // Hides (expanding) or shows again (collapsing) the containers of the
    // other views that exist.
    auto apply = [bExpend](QWidget* container, bool view_exists) {
        if (!view_exists)
            return;
        if (bExpend && !container->isHidden())
            container->hide();
        else if (!bExpend && container->isHidden())
            container->show();
    };
    if (from && from == rgb_view) {
        apply(widget_point_cloud, tof_view != nullptr);
        apply(widget_ir, ir_view != nullptr);
    } else if (from && from == tof_view) {
        apply(widget_rgb, rgb_view != nullptr);
        apply(widget_ir, ir_view != nullptr);
    } else if (from && from == ir_view) {
        apply(widget_point_cloud, tof_view != nullptr);
        apply(widget_rgb, rgb_view != nullptr);
    }
    layout_view_area(true);
}

// ------------------------------------------------------------ device control

void viewer::check_fillter_change(int state)
{
    if (driver)
        m_filter_mode->apply_switch(driver, state == Qt::Checked);
}

void viewer::check_flip_ver_change(int state)
{
    if (driver)
        driver->set_flip_vertical(state == Qt::Checked);
}

void viewer::check_flip_hor_change(int state)
{
    if (driver)
        driver->set_flip_horizontal(state == Qt::Checked);
}

void viewer::slot_open_faild()
{
    btn_switch_tof->setIcon(shared_icon(viewer_icons::switch_off));
    // A camera that went before it could be opened leaves no module rows to
    // work with: close the attempt, so "+" lists what is connected again.
    if (driver && widget_module->isHidden()) {
        teardown("viewer::slot_open_faild");
        m_list_has_camera = false;
        m_list_timer->start();
    }
}

void viewer::slot_fail_open_drive()
{
    trace(trace_info, QStringLiteral("device lost"), kSource, QStringLiteral("viewer::slot_fail_open_drive"),
          __LINE__);
    if (!driver)
        return;
    post_user_message(viewer_text::camera_lost);
    // The modules go off and the acquisition object with them, as when the
    // module is closed; frames already captured for a save are written.
    teardown("viewer::slot_fail_open_drive");
    btn_switch_tof->setIcon(shared_icon(viewer_icons::switch_off));
    btn_switch_rgb->setIcon(shared_icon(viewer_icons::switch_off));
    m_view_notice->setText(QString::fromUtf8(viewer_text::view_notice_lost));
    place_view_notice();
    m_view_notice->show();
    m_view_notice->raise();
    // Follow what is connected, so the camera is listed when it is back.
    m_list_has_camera = false;
    list_modules(false);
    m_list_timer->start();
}

void viewer::slot_stream_failed(int module)
{
    if (!driver)
        return;
    post_user_message(viewer_text::open_stream_fail);
    // The acquisition object has switched the module off; the views and
    // switches follow. Other modules keep running.
    if (module == driver_operate::module_rgbd) {
        switch_rgbd_off();
    } else if (module == driver_operate::module_tof) {
        if (tof_view)
            tof_view->close();
        if (ir_view)
            ir_view->close();
        btn_switch_tof->setIcon(shared_icon(viewer_icons::switch_off));
    } else if (module == driver_operate::module_rgb) {
        if (rgb_view)
            rgb_view->close();
        btn_switch_rgb->setIcon(shared_icon(viewer_icons::switch_off));
    }
    layout_view_area(false);
}

// ---------------------------------------------------------------- resolution

void viewer::slot_resolution_change(int pixel_width, int pixel_height)
{
    if (!driver || driver->m_rgbd_on)
        return;
    tof_info.width = pixel_width;
    tof_info.height = pixel_height;
    emit sig_change_stram(pixel_width, pixel_height, 0);
    if (tof_view)
        tof_view->set_save_enabled(false);
}

void viewer::rgb_frame_change(QString text)
{
    const user_define* accepted = user_define::of(combo_resolution);
    if (accepted && text == accepted->text())
        return;
    int width = 0;
    int height = 0;
    if (!parse_resolution_text(text, &width, &height))
        return;
    combo_resolution->setEnabled(false);
    emit sig_change_stram(width, height, 1);
}

void viewer::slot_finish_change_frame(bool success, int pixel_width, int pixel_height, int type)
{
    if (!driver)
        return;
    if (type != 0) {
        user_define* accepted = user_define::of(combo_resolution);
        if (success) {
            if (rgb_view)
                rgb_view->slot_resolution_change(pixel_width, pixel_height);
            combo_resolution->setCurrentText(resolution_text(pixel_width, pixel_height));
            if (accepted)
                accepted->set_text(combo_resolution->currentText());
        } else if (accepted) {
            combo_resolution->setCurrentText(accepted->text());
        }
        if (!driver->m_rgbd_on)
            combo_resolution->setEnabled(true);
        return;
    }
    if (success) {
        if (tof_view)
            tof_view->slot_resolution_change(pixel_width, pixel_height);
        if (ir_view)
            ir_view->slot_resolution_change(pixel_width, pixel_height);
        refresh_tof_param_info();
        if (param_panel)
            param_panel->set_integral_time_range(tof_info.integral_time_max, tof_info.integral_time_min,
                                                 tof_info.integral_time);
    }
    tof_info = driver->get_depth_resolutions();
    if (param_panel) {
        param_panel->load_param_info(tof_info);
        param_panel->finish_resolution_change(success);
    }
    if (tof_view)
        tof_view->set_save_enabled(true);
    apply_playback_locks();
}

// ------------------------------------------------------- click-point sync

void viewer::OnSlotRGBDClickPointSync(QPoint ptRGBDSync)
{
    if (!driver || !driver->m_rgbd_on)
        return;
    QObject* from = sender();
    if (from && from == rgb_view)
        emit sig_rgbd_rgb_click_point_sync(ptRGBDSync);
    else if (from && from == tof_view)
        emit sig_rgbd_depth_click_point_sync(ptRGBDSync);
}
