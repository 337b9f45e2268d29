#include "widget_ir.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include "view_bar_fit.h"
#include "view_common.h"
#include "view_stall_notice.h"
#include "view_geometry.h"
#include "view_shared_frames.h"

WidgetIR::WidgetIR(QWidget* parent) : QWidget(parent) {
  setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  view_shrinkable_bar(widget->layout());
  connect(btn_start, &QPushButton::clicked, this, &WidgetIR::on_btn_start);
  connect(btn_info, &QPushButton::clicked, this, &WidgetIR::on_btn_info);
  connect(btn_photo, &QPushButton::clicked, this, &WidgetIR::on_btn_photo);
  connect(btn_expend, &QPushButton::clicked, this, &WidgetIR::on_btn_expend);
  connect(btn_close, &QPushButton::clicked, this, &QWidget::close);
  // The IR view closes with the depth view, never on its own.
  btn_close->hide();

  m_info_timer_id = startTimer(1000, Qt::CoarseTimer);
  widget_time->hide();
  widget_location->hide();
  setMouseTracking(true);
  view_widget->setMouseTracking(true);

  view_set_small_font({label_location, label_location_content, label_distance,
                       label_distance_content, label_time, label_time_content, label_frame,
                       label_frame_content, label_fps, label_fps_content});
  label_location->setText(QCoreApplication::translate("Widget_IR", "location="));
  label_distance->setText(QCoreApplication::translate("Widget_IR", "center="));
  label_time->setText(QCoreApplication::translate("Widget_IR", "Time:"));
  label_frame->setText(QCoreApplication::translate("Widget_IR", "Resolution:"));
  label_fps->setText(QCoreApplication::translate("Widget_IR", "FPS:"));
  btn_photo->setToolTip(QCoreApplication::translate("Widget_IR", "save picture"));
  btn_start->setToolTip(QCoreApplication::translate("Widget_IR", "stop"));
  btn_info->setToolTip(QCoreApplication::translate("Widget_IR", "info"));
  btn_close->setToolTip(QCoreApplication::translate("Widget_IR", "exit"));
}

WidgetIR::~WidgetIR() = default;

void WidgetIR::set_expend(bool bExpend) {
  m_expended = bExpend;
  btn_expend->setIcon(view_icon(bExpend ? "restore.png" : "expend.png"));
  emit sig_expend_view(bExpend);
}

void WidgetIR::show_frame(QPixmap pixmap) {
  if (m_stall) m_stall->frame_arrived();
  label_time_content->setText(view_time_stamp_text());
  if (m_paused) return;
  view_copy_raw_ir(&m_ir_raw);
  m_frame = std::move(pixmap);
  ++m_frame_count;
  update_point_info();
  update();
}

void WidgetIR::update_point_info() {
  if (widget_location->isHidden()) return;
  QPoint pixel;
  const QPoint in_area(m_click_point.x(), m_click_point.y() - widget_title->height());
  if (!view_area_to_image(in_area, view_widget->size(), QSize(m_image_width, m_image_height),
                          &pixel))
    return;
  label_location_content->setText(QStringLiteral("%1x%2").arg(pixel.x()).arg(pixel.y()));
  if (m_ir_raw.type() != CV_16UC1 || pixel.x() < 1 || pixel.x() >= m_ir_raw.cols ||
      pixel.y() < 1 || pixel.y() >= m_ir_raw.rows)
    return;
  label_distance_content->setText(
      QStringLiteral("%1 LSB").arg(m_ir_raw.at<quint16>(pixel.y(), pixel.x())));
}

void WidgetIR::paintEvent(QPaintEvent*) {
  if (m_frame.isNull()) return;
  QPainter painter(this);
  painter.drawPixmap(QRect(0, widget_title->height(), view_widget->width(),
                           view_widget->height()),
                     m_frame);
}

void WidgetIR::mousePressEvent(QMouseEvent* event) {
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

void WidgetIR::on_btn_start() {
  m_paused = !m_paused;
  btn_start->setIcon(view_icon(m_paused ? "start.png" : "pause.png"));
  btn_start->setToolTip(m_paused ? QStringLiteral("start") : QStringLiteral("stop"));
  emit sig_stop_start(m_paused);
}

void WidgetIR::on_btn_info() {
  view_toggle_info_strip(this, widget_time, btn_info, &m_info_timer_id);
}

void WidgetIR::timerEvent(QTimerEvent* event) {
  if (event->timerId() == 0 || event->timerId() != m_info_timer_id) return;
  if (!m_paused) label_fps_content->setText(QStringLiteral("%1.00").arg(m_frame_count));
  m_frame_count = 0;
}

void WidgetIR::on_btn_photo() { emit sig_save_ir_image(); }

void WidgetIR::on_btn_expend() {
  btn_expend->setIcon(view_icon(m_expended ? "expend.png" : "restore.png"));
  m_expended = !m_expended;
  emit sig_expend_view(m_expended);
}

void WidgetIR::slot_resolution_change(int pixel_width, int pixel_height) {
  m_image_width = pixel_width;
  m_image_height = pixel_height;
  label_frame_content->setText(
      QStringLiteral("%1\u00d7%2").arg(pixel_width).arg(pixel_height));
  fit_info_strip();
}

void WidgetIR::slot_ir_widget_resize() {
  view_fit_image_view(this, widget_title, view_widget, widget, widget_time);
  fit_info_strip();
}

void WidgetIR::fit_info_strip() {
  view_fit_info_strip(widget_time,
                      {{label_time, {}},
                       {label_time_content, QStringLiteral("0000000000;")},
                       {label_frame, {}},
                       {label_frame_content, {}},
                       {label_fps, {}},
                       {label_fps_content, QStringLiteral("00.00")}},
                      width());
}

void WidgetIR::resize_widget(bool, bool) {}

void WidgetIR::mouseMoveEvent(QMouseEvent*) {}
void WidgetIR::enterEvent(QEvent*) {}
void WidgetIR::leaveEvent(QEvent*) {}

void WidgetIR::closeEvent(QCloseEvent* event) {
  emit sig_exit();
  event->accept();
}

void WidgetIR::watch_for_stalls() {
  if (!m_stall) m_stall = new view_stall_notice(this, view_widget);
}
