#include "widget_ir.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>

#include "view_bar_fit.h"
#include "view_common.h"
#include "view_control_bar.h"
#include "view_stall_notice.h"
#include "view_geometry.h"
#include "view_shared_frames.h"

WidgetIR::WidgetIR(QWidget* parent) : QWidget(parent)
{
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    view_shrinkable_bar(widget->layout());
    m_controls = new view_control_bar(view_control_bar::parts_of(this), "Widget_IR",
                                      QChar(0x00d7), this);
    connect(m_controls, &view_control_bar::sig_pause_toggled, this, &WidgetIR::sig_stop_start);
    connect(m_controls, &view_control_bar::sig_expand_toggled, this, &WidgetIR::sig_expend_view);
    btn_photo->setIcon(view_icon("save.png"));
    connect(btn_photo, &QPushButton::clicked, this, &WidgetIR::on_btn_photo);
    connect(btn_close, &QPushButton::clicked, this, &QWidget::close);
    // The IR view closes with the depth view, never on its own.
    btn_close->hide();

    m_controls->tick_from_start();
    widget_location->hide();
    setMouseTracking(true);
    view_widget->setMouseTracking(true);

    view_set_small_font({label_location, label_location_content, label_distance,
                         label_distance_content});
    label_location->setText(QCoreApplication::translate("Widget_IR", "location="));
    label_distance->setText(QCoreApplication::translate("Widget_IR", "center="));
    btn_photo->setToolTip(QCoreApplication::translate("Widget_IR", "save picture"));
    btn_close->setToolTip(QCoreApplication::translate("Widget_IR", "exit"));
}

WidgetIR::~WidgetIR() = default;

void WidgetIR::set_expend(bool bExpend)
{
    m_controls->set_expanded(bExpend);
    emit sig_expend_view(bExpend);
}

void WidgetIR::show_frame(QPixmap pixmap)
{
    if (m_stall)
        m_stall->frame_arrived();
    m_controls->stamp_time();
    if (m_controls->paused())
        return;
    view_copy_raw_ir(&m_ir_raw);
    m_frame = std::move(pixmap);
    m_controls->count_frame();
    update_point_info();
    update();
}

void WidgetIR::update_point_info()
{
    if (widget_location->isHidden())
        return;
    QPoint pixel;
    const QPoint in_area(m_click_point.x(), m_click_point.y() - widget_title->height());
    if (!view_area_to_image(in_area, view_widget->size(), QSize(m_image_width, m_image_height),
                            &pixel))
        return;
    label_location_content->setText(QStringLiteral("%1x%2").arg(pixel.x()).arg(pixel.y()));
    if (m_ir_raw.type() != CV_16UC1 || pixel.x() < 1 || pixel.x() >= m_ir_raw.cols || pixel.y() < 1 || pixel.y() >= m_ir_raw.rows)
        return;
    label_distance_content->setText(
        QStringLiteral("%1 LSB").arg(m_ir_raw.at<quint16>(pixel.y(), pixel.x())));
}

void WidgetIR::paintEvent(QPaintEvent*)
{
    if (m_frame.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(QRect(0, widget_title->height(), view_widget->width(),
                             view_widget->height()),
                       m_frame);
}

void WidgetIR::mousePressEvent(QMouseEvent* event)
{
    const int x = event->pos().x();
    const int y = event->pos().y();
    const int title = widget_title->height();
    if (y >= widget->y() || y < title) {
        widget_location->hide();
        return;
    }
    m_click_point = QPoint(x, y);
    widget_location->move(view_place_box(QPoint(x, y - title), widget_location->size(),
                                         view_widget->width(),
                                         view_widget->height() - widget->height()));
    widget_location->show();
}

void WidgetIR::on_btn_start() { m_controls->toggle_pause(); }

void WidgetIR::on_btn_info() { m_controls->toggle_info(); }

void WidgetIR::on_btn_photo() { emit sig_save_ir_image(); }

void WidgetIR::on_btn_expend() { m_controls->toggle_expand(); }

void WidgetIR::slot_resolution_change(int pixel_width, int pixel_height)
{
    m_image_width = pixel_width;
    m_image_height = pixel_height;
    m_controls->set_resolution(pixel_width, pixel_height);
    m_controls->fit_strip(width());
}

void WidgetIR::slot_ir_widget_resize()
{
    view_fit_image_view(this, widget_title, view_widget, widget, widget_time);
    m_controls->fit_strip(width());
}

void WidgetIR::resize_widget(bool, bool) { }

void WidgetIR::mouseMoveEvent(QMouseEvent*) { }
void WidgetIR::enterEvent(QEvent*) { }
void WidgetIR::leaveEvent(QEvent*) { }

void WidgetIR::closeEvent(QCloseEvent* event)
{
    emit sig_exit();
    event->accept();
}

void WidgetIR::watch_for_stalls()
{
    if (!m_stall)
        m_stall = new view_stall_notice(this, view_widget);
}
