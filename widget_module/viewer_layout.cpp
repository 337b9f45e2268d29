#include "viewer.h"

#include "view_grid.h"
#include "view_common.h"
#include "viewer_icons.h"
#include "zavire/driver_operate.h"

namespace {
int bottom_of(const QWidget* w)
{
    return w->y() + w->height();
}

void place_below(QWidget* w, const QWidget* above, int gap = 0)
{
    w->move(w->x(), bottom_of(above) + gap);
}
}  // namespace

void viewer::layout_view_area(bool user_expend)
{
    if (driver) {
        auto visible = [](std::initializer_list<QWidget*> order) {
            QVector<QWidget*> shown;
            for (QWidget* w : order) {
                if (!w->isHidden())
                    shown.append(w);
            }
            return shown;
        };
        if (driver->m_rgbd_on) {
            const QVector<QWidget*> shown = visible({widget_point_cloud, widget_rgb});
            if (!shown.isEmpty()) {
                arrange_view_grid(shown.size(), 16, 9, shown);
                emit sig_rgb_widget_resize();
            }
        } else if (driver->m_tof_on && !driver->m_rgb_on) {
            const QVector<QWidget*> shown = visible({widget_point_cloud, widget_ir});
            if (!shown.isEmpty()) {
                arrange_view_grid(shown.size(), 4, 3, shown);
                emit sig_ir_widget_resize();
            }
        } else if (driver->m_tof_on && driver->m_rgb_on) {
            const QVector<QWidget*> shown = visible({widget_point_cloud, widget_rgb, widget_ir});
            if (!shown.isEmpty()) {
                arrange_view_grid(std::min(shown.size(), 2), 4, 3, shown);
                emit sig_rgb_widget_resize();
                emit sig_ir_widget_resize();
            }
        } else if (driver->m_rgb_on) {
            const QVector<QWidget*> shown = visible({widget_rgb});
            if (!shown.isEmpty()) {
                arrange_view_grid(1, 4, 3, shown);
                emit sig_rgb_widget_resize();
            }
        }
    }
    const bool is_two_module = !widget_rgb->isHidden() && !widget_point_cloud->isHidden();
    emit sig_resize_widget(is_two_module, user_expend);
}

void viewer::arrange_view_grid(int columns, int aw, int ah, const QVector<QWidget*>& containers)
{
    const QVector<QRect> cells =
        view_grid_cells(widget_view->width(), widget_view->height(), columns, aw, ah, containers.size());
    for (int i = 0; i < cells.size(); ++i) {
        containers[i]->resize(cells[i].size());
        containers[i]->move(cells[i].topLeft());
    }
}

void viewer::layout_left_panel()
{
    // 1. Product information and the ToF row.
    if (widget_switch_info->isHidden())
        place_below(widget_tof, widget_equipment, 10);
    else
        place_below(widget_tof, widget_switch_info);
    place_below(widget_switch_info, widget_equipment);

    // 2. ToF panel.
    int h = widget_tof_filter->height() + widget_tof_parm_set->height() + widget_tof_save_picture->height() + 30;
    place_below(widget_tof_operate, widget_tof);
    place_below(widget_tof_save_contianer, widget_tof_save_picture);
    if (!widget_tof_save_contianer->isHidden()) {
        place_below(widget_tof_parm_set, widget_tof_save_contianer, 10);
        h += widget_tof_save_contianer->height();
    } else {
        place_below(widget_tof_parm_set, widget_tof_save_picture, 10);
    }
    place_below(widget_parameter_setting_contianer, widget_tof_parm_set);
    if (!widget_parameter_setting_contianer->isHidden()) {
        place_below(widget_tof_filter, widget_parameter_setting_contianer, 10);
        h += widget_parameter_setting_contianer->height();
    } else {
        place_below(widget_tof_filter, widget_tof_parm_set, 10);
    }
    place_below(widget_filter_contianer, widget_tof_filter);
    if (!widget_filter_contianer->isHidden())
        h += widget_filter_contianer->height();
    widget_tof_operate->resize(widget_tof_operate->width(), h);

    // 3. RGB row and panel.
    if (!widget_rgb_module->isHidden()) {
        place_below(widget_rgb_module, widget_tof_operate->isHidden() ? widget_tof : widget_tof_operate, 10);
        if (!widget_rgb_operate->isHidden()) {
            int extra = 0;
            if (widget_rgb_save_contianer->isHidden()) {
                place_below(widget_rgb_parm_set, widget_rgb_save_picture, 10);
                extra = widget_rgb_parm_set->height() + 10;
            } else {
                place_below(widget_rgb_save_contianer, widget_rgb_save_picture);
                place_below(widget_rgb_parm_set, widget_rgb_save_contianer);
                extra = widget_rgb_save_contianer->height();
            }
            int panel = widget_rgb_parm_set->height() + 20 + widget_rgb_save_picture->height() + extra;
            if (!widget_rgb_param_setting_contianer->isHidden()) {
                place_below(widget_rgb_param_setting_contianer, widget_rgb_parm_set);
                panel += widget_rgb_param_setting_contianer->height();
            }
            widget_rgb_operate->resize(widget_rgb_operate->width(), panel);
            place_below(widget_rgb_operate, widget_rgb_module, 10);
        }
    }

    // 4. RGBD row and panel.
    if (!widget_rgbd_module->isHidden()) {
        place_below(widget_rgbd_module,
                    widget_rgb_operate->isHidden() ? widget_rgb_module : widget_rgb_operate, 10);
        if (!widget_rgbd_operate->isHidden()) {
            int panel = widget_rgbd_save_picture->height() + 10;
            if (!widget_rgbd_save_contianer->isHidden()) {
                place_below(widget_rgbd_save_contianer, widget_rgbd_save_picture);
                panel += widget_rgbd_save_contianer->height();
            }
            widget_rgbd_operate->resize(widget_rgbd_operate->width(), panel);
            place_below(widget_rgbd_operate, widget_rgbd_module, 10);
        }
    }

    // 5. Bottom of the last shown block.
    int bottom = 0;
    if (!widget_rgbd_module->isHidden())
        bottom = bottom_of(widget_rgbd_operate->isHidden() ? widget_rgbd_module : widget_rgbd_operate);
    else if (!widget_rgb_module->isHidden())
        bottom = bottom_of(widget_rgb_operate->isHidden() ? widget_rgb_module : widget_rgb_operate);
    else
        bottom = bottom_of(widget_tof_operate->isHidden() ? widget_tof : widget_tof_operate);

    // 6. Contents tall enough to scroll to the last block.
    if (bottom + 12 <= scroll_area_left->height())
        scrollAreaWidgetContents->resize(scrollAreaWidgetContents->width(), scroll_area_left->height() - 2);
    else
        scrollAreaWidgetContents->resize(scrollAreaWidgetContents->width(), bottom + 10);
}

void viewer::toggle_section(QWidget* container, QPushButton* button, void (viewer::*collapse)())
{
    if (container->isHidden()) {
        container->show();
        button->setIcon(shared_icon(viewer_icons::section_expanded));
    } else {
        if (collapse)
            (this->*collapse)();
        else
            container->hide();
        button->setIcon(shared_icon(viewer_icons::section_collapsed));
    }
    layout_left_panel();
}

void viewer::collapse_tof_sections()
{
    widget_tof_operate->hide();
    widget_parameter_setting_contianer->hide();
    widget_filter_contianer->hide();
    widget_tof_save_contianer->hide();
    for (QPushButton* b : {btn_tof_save_set_expend, btn_tof_parameter_setting_expend, btn_tof_filter_expend})
        b->setIcon(shared_icon(viewer_icons::section_collapsed));
}

void viewer::collapse_rgb_sections()
{
    widget_rgb_operate->hide();
    btn_rgb_save_set_expend->setIcon(shared_icon(viewer_icons::section_collapsed));
    btn_rgb_param_setting_expend->setIcon(shared_icon(viewer_icons::section_collapsed));
}

void viewer::collapse_rgbd_sections()
{
    widget_rgbd_operate->hide();
    btn_rgbd_save_set_expend->setIcon(shared_icon(viewer_icons::section_collapsed));
}

void viewer::on_btn_tof_expend_clicked()
{
    toggle_section(widget_tof_operate, btn_tof_expend, &viewer::collapse_tof_sections);
}

void viewer::on_btn_tof_save_set_expend_clicked()
{
    toggle_section(widget_tof_save_contianer, btn_tof_save_set_expend, nullptr);
}

void viewer::on_btn_tof_parameter_setting_expend_clicked()
{
    toggle_section(widget_parameter_setting_contianer, btn_tof_parameter_setting_expend, nullptr);
}

void viewer::on_btn_tof_filter_expend_clicked()
{
    toggle_section(widget_filter_contianer, btn_tof_filter_expend, nullptr);
}

void viewer::on_btn_rgbexpend_clicked()
{
    toggle_section(widget_rgb_operate, btn_rgbexpend, &viewer::collapse_rgb_sections);
}

void viewer::on_btn_rgb_save_set_expend_clicked()
{
    toggle_section(widget_rgb_save_contianer, btn_rgb_save_set_expend, nullptr);
}

void viewer::on_btn_rgb_param_setting_expend_clicked()
{
    toggle_section(widget_rgb_param_setting_contianer, btn_rgb_param_setting_expend, nullptr);
}

void viewer::on_btn_rgbd_expend_clicked()
{
    toggle_section(widget_rgbd_operate, btn_rgbd_expend, &viewer::collapse_rgbd_sections);
}

void viewer::on_btn_rgbd_save_set_expend_clicked()
{
    toggle_section(widget_rgbd_save_contianer, btn_rgbd_save_set_expend, nullptr);
}
