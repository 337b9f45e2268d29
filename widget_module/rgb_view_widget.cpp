#include "rgb_view_widget.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>

#include "view_bar_fit.h"
#include "view_common.h"
#include "view_control_bar.h"
#include "view_stall_notice.h"
#include "view_depth_probe.h"
#include "view_geometry.h"
#include "view_quality_tools.h"
#include "view_shared_frames.h"
#include "zavire/frame_data.h"
#include "zavire/tof_param_info.h"

rgb_view_widget::rgb_view_widget(QWidget* parent) : QWidget(parent)
{
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    view_shrinkable_bar(widget->layout());
    m_controls = new view_control_bar(view_control_bar::parts_of(this), "rgb_view", QChar(0x00d7),
                                      this);
    connect(m_controls, &view_control_bar::sig_pause_toggled, this,
            &rgb_view_widget::sig_stop_start);
    connect(m_controls, &view_control_bar::sig_expand_toggled, this,
            &rgb_view_widget::sig_expend_view);
    // The region tools measure the registered depth under the colour image in
    // RGBD mode; their button sits left of the others.
    m_quality = new view_quality_tools(view_widget);
    btn_quality = m_quality->make_button(widget);
    m_quality->set_escape_scope(this);
    connect(m_quality, &view_quality_tools::sig_needs_room, this, [this] {
        if (!m_controls->expanded() && btn_expend->isEnabled() && parentWidget() != nullptr)
            on_btn_expend();
    });
    if (auto* bar = qobject_cast<QBoxLayout*>(widget->layout())) {
        const int at = bar->indexOf(btn_photo);
        bar->insertWidget(at, btn_quality);
        bar->insertSpacerItem(at + 1, new QSpacerItem(20, 20, QSizePolicy::Maximum, QSizePolicy::Minimum));
    }
    btn_quality->hide();
    m_quality->set_page_shown(false);
    btn_photo->setIcon(view_icon("save.png"));
    connect(btn_photo, &QPushButton::clicked, this, &rgb_view_widget::on_btn_photo);
    connect(btn_close, &QPushButton::clicked, this, &QWidget::close);

    // The rate ticks from the start, so the strip opens on a recent value.
    m_controls->tick_from_start();
    widget_location->hide();
    setMouseTracking(true);
    view_widget->setMouseTracking(true);

    view_set_small_font({label_location, label_location_content, label_distance,
                         label_distance_content, label_stddev, label_stddev_content});
    label_location->setText(QCoreApplication::translate("rgb_view", "location="));
    label_distance->setText(QCoreApplication::translate("rgb_view", "center="));
    label_stddev->setText(QCoreApplication::translate("rgb_view", "stddev="));
    view_fit_measure_box(widget_location, {label_location, label_distance, label_stddev},
                         {label_location_content, label_distance_content, label_stddev_content});
    btn_photo->setToolTip(QCoreApplication::translate("rgb_view", "save picture"));
    btn_close->setToolTip(QCoreApplication::translate("rgb_view", "exit"));
}

rgb_view_widget::~rgb_view_widget() = default;

void rgb_view_widget::set_expend(bool bExpend)
{
    m_controls->set_expanded(bExpend);
    emit sig_expend_view(bExpend);
}

void rgb_view_widget::set_rgbd_mode(bool rgbd)
{
    m_rgbd_mode = rgbd;
    btn_close->setVisible(!rgbd);
    btn_quality->setVisible(rgbd);
    m_quality->set_page_shown(rgbd);
    if (!rgbd)
        m_quality->set_pane_shown(false);
    fit_quality_tools();
}

void rgb_view_widget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fit_quality_tools();
}

void rgb_view_widget::fit_quality_tools()
{
    const QSize area = view_widget->size();
    const QSize image(m_image_width, m_image_height);
    m_quality->set_geometry(image, view_letterbox(area, image, 0), QRect(QPoint(0, 0), area));
}

void rgb_view_widget::set_param_info(const tof_param_info& info)
{
    m_resolutions = info.resolutions;
}

void rgb_view_widget::show_frame(QPixmap pixmap)
{
    if (m_stall)
        m_stall->frame_arrived();
    m_controls->stamp_time();
    if (m_controls->paused())
        return;
    m_frame = std::move(pixmap);
    m_controls->count_frame();
    update();
}

void rgb_view_widget::paintEvent(QPaintEvent*)
{
    if (m_frame.isNull())
        return;
    QPainter painter(this);
    const QRect target = view_letterbox(view_widget->size(), QSize(m_image_width, m_image_height),
                                        widget_title->height());
    painter.drawPixmap(target, m_frame);
    painter.setPen(QPen(Qt::yellow, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawEllipse(m_sync_point, 2, 2);
}

void rgb_view_widget::on_btn_start() { m_controls->toggle_pause(); }

void rgb_view_widget::on_btn_info() { m_controls->toggle_info(); }

void rgb_view_widget::on_btn_photo() { emit sig_save_rgb_image(); }

void rgb_view_widget::on_btn_expend() { m_controls->toggle_expand(); }

void rgb_view_widget::slot_resolution_change(int pixel_width, int pixel_height)
{
    m_image_width = pixel_width;
    m_image_height = pixel_height;
    m_controls->set_resolution(pixel_width, pixel_height);
    m_controls->fit_strip(width());
    fit_quality_tools();
}

void rgb_view_widget::slot_rgb_widget_resize()
{
    view_fit_image_view(this, widget_title, view_widget, widget, widget_time);
    m_controls->fit_strip(width());
    fit_quality_tools();
}

void rgb_view_widget::resize_widget(bool is_two_module, bool user_expend)
{
    if (user_expend)
        return;
    btn_expend->setEnabled(is_two_module);
}

void rgb_view_widget::mousePressEvent(QMouseEvent* event)
{
    if (!m_rgbd_mode)
        return;
    const int x = event->pos().x();
    const int y = event->pos().y();
    const int title = widget_title->height();
    if (y >= widget->y() || y < title) {
        widget_location->hide();
        m_quality->clear_probe_pixel();
        return;
    }
    m_click_point = QPoint(x, y - title);
    widget_location->move(view_place_box(m_click_point, widget_location->size(),
                                         view_widget->width(),
                                         view_widget->height() - widget->height()));
    widget_location->show();
    QPoint pixel;
    if (view_area_to_image(m_click_point, view_widget->size(),
                           QSize(m_image_width, m_image_height), &pixel)) {
        // The box shows the frame on screen at once, the paused one included.
        const view_probe_texts texts =
            view_probe_peek(pixel, m_depth_color, m_depth_raw, m_stat_pixel);
        label_location_content->setText(texts.location);
        if (texts.distance)
            label_distance_content->setText(*texts.distance);
        if (texts.stddev)
            label_stddev_content->setText(*texts.stddev);
        m_quality->set_probe_pixel(pixel);
        emit sig_rgbd_click_point_sync(pixel);
    }
}

void rgb_view_widget::slot_show_depth()
{
    if (!m_rgbd_mode || m_controls->paused())
        return;
    frame_data::depth_frame_facts facts;
    view_copy_depth_images(&m_depth_color, &m_depth_raw, &facts);
    // Registered depth has no IR of its size; the IR rows stay empty.
    m_quality->take_frame(m_depth_raw, cv::Mat(), facts);
    update_point_info();
}

void rgb_view_widget::update_point_info()
{
    if (!m_rgbd_mode || widget_location->isHidden())
        return;
    QPoint pixel;
    if (!view_area_to_image(m_click_point, view_widget->size(),
                            QSize(m_image_width, m_image_height), &pixel))
        return;
    const view_probe_texts texts =
        view_probe_depth(pixel, m_depth_color, m_depth_raw, &m_stat_pixel, &m_stat_samples,
                         view_window_policy::restart);
    label_location_content->setText(texts.location);
    if (texts.distance)
        label_distance_content->setText(*texts.distance);
    if (texts.stddev)
        label_stddev_content->setText(*texts.stddev);
}

void rgb_view_widget::OnSlotRGBDClickPointSync(QPoint ptRGBDSync)
{
    QPoint p;
    if (!view_image_to_area(ptRGBDSync, view_widget->size(),
                            QSize(m_image_width, m_image_height), &p))
        return;
    m_sync_point = QPoint(p.x(), p.y() + widget_title->height());
    update();
}

void rgb_view_widget::mouseMoveEvent(QMouseEvent*) { }
void rgb_view_widget::enterEvent(QEvent*) { }
void rgb_view_widget::leaveEvent(QEvent*) { }

void rgb_view_widget::closeEvent(QCloseEvent* event)
{
    emit sig_exit();
    event->accept();
}

void rgb_view_widget::watch_for_stalls()
{
    if (!m_stall)
        m_stall = new view_stall_notice(this, view_widget);
}
