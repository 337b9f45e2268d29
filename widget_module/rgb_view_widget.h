#pragma once

#include <QMap>
#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <opencv2/core/mat.hpp>
#include <vector>

#include "ui_rgb_view.h"

struct tof_param_info;

// View of the colour camera. Alone it only shows frames; as the colour half
// of RGBD mode a click measures the registered depth at the colour pixel and
// is mirrored to the depth view.
class view_control_bar;
class view_stall_notice;
class view_quality_tools;

class rgb_view_widget : public QWidget, public Ui_rgb_view {
    Q_OBJECT

public:
    explicit rgb_view_widget(QWidget* parent = nullptr);
    ~rgb_view_widget() override;

    void set_expend(bool bExpend);

    // Shows a notice over the image when the camera sends no frames (the

    // main window asks for it; a view on its own stays quiet).

    void watch_for_stalls();
    void set_rgbd_mode(bool rgbd);
    void set_param_info(const tof_param_info& info);
    // The depth-quality tools over the registered depth (RGBD mode only).
    view_quality_tools* quality_tools() const { return m_quality; }
    QPushButton* quality_button() const { return btn_quality; }

signals:
    void sig_stop_start(bool stop);
    void sig_exit();
    void sig_expend_view(bool bExpend);
    void sig_save_rgb_image();
    void sig_rgbd_click_point_sync(QPoint ptRGBDSync);

public slots:
    // Pause, info and expand clicks are handled by the control bar; these
    // three slots do what a click does.
    void on_btn_start();
    void on_btn_info();
    void on_btn_photo();
    void on_btn_expend();
    void show_frame(QPixmap pixmap);
    void slot_show_depth();
    void slot_resolution_change(int pixel_width, int pixel_height);
    void slot_rgb_widget_resize();
    void resize_widget(bool is_two_module, bool user_expend);
    void OnSlotRGBDClickPointSync(QPoint ptRGBDSync);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void update_point_info();
    void fit_quality_tools();

    view_control_bar* m_controls = nullptr;
    QPixmap m_frame;
    cv::Mat m_depth_color;
    cv::Mat m_depth_raw;
    QPoint m_click_point;
    QPoint m_stat_pixel;
    std::vector<int> m_stat_samples;
    int m_image_width = 640;
    int m_image_height = 480;
    bool m_rgbd_mode = false;
    QPoint m_sync_point;
    QMap<int, int> m_resolutions;

    view_stall_notice* m_stall = nullptr;
    view_quality_tools* m_quality = nullptr;
    QPushButton* btn_quality = nullptr;
};
