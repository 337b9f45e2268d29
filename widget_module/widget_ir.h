#pragma once

#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <opencv2/core/mat.hpp>

#include "ui_Widget_IR.h"

// View of the depth camera's infrared image. A click shows the raw 16-bit
// IR value of the pixel in every mode; the picture is stretched over the
// whole image area.
class view_control_bar;
class view_stall_notice;

class WidgetIR : public QWidget, public Ui_Widget_IR {
    Q_OBJECT

public:
    explicit WidgetIR(QWidget* parent = nullptr);
    ~WidgetIR() override;

    void set_expend(bool bExpend);

    // Shows a notice over the image when the camera sends no frames (the

    // main window asks for it; a view on its own stays quiet).

    void watch_for_stalls();

signals:
    void sig_stop_start(bool stop);
    void sig_exit();
    void sig_expend_view(bool bExpend);
    void sig_save_ir_image();

public slots:
    // Pause, info and expand clicks are handled by the control bar; these
    // three slots do what a click does.
    void on_btn_start();
    void on_btn_info();
    void on_btn_photo();
    void on_btn_expend();
    void show_frame(QPixmap pixmap);
    void slot_resolution_change(int pixel_width, int pixel_height);
    void slot_ir_widget_resize();
    void resize_widget(bool is_two_module, bool user_expend);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void update_point_info();

    view_control_bar* m_controls = nullptr;
    QPixmap m_frame;
    QPoint m_click_point;
    int m_image_width = 640;
    int m_image_height = 480;
    cv::Mat m_ir_raw;

    view_stall_notice* m_stall = nullptr;
};
