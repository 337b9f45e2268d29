#pragma once

#include <QPixmap>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <opencv2/core/mat.hpp>
#include <vector>

#include "ui_cloud_view.h"

class depth_scale_bar;
class view_cloud_polydata;
class view_control_bar;
class view_quality_tools;

namespace pcl {
namespace visualization {
class PCLVisualizer;
}
}  // namespace pcl

// View of the depth module: a 2D page with the colour-coded depth image,
// colour bar and click-to-measure box, and a 3D page with the live point
// cloud. Pixels are copied out of the shared frame data on notification;
// user actions leave as signals to the main window.
class view_stall_notice;

class cloud_view_widget : public QWidget, public Ui_cloud_view {
    Q_OBJECT

public:
    cloud_view_widget(int width, int height, QWidget* parent = nullptr);
    ~cloud_view_widget() override;

    void set_expend(bool bExpend);

    // Shows a notice over the image when the camera sends no frames (the

    // main window asks for it; a view on its own stays quiet).

    void watch_for_stalls();
    void set_rgbd_mode(bool rgbd);
    void set_save_enabled(bool enabled);
    // The raw depth of the picture on screen (the paused one while paused);
    // read access for tests.
    const cv::Mat& shown_depth() const { return m_depth_raw; }
    // The depth-quality tools of the 2D page and the colour bar with its scale.
    view_quality_tools* quality_tools() const { return m_quality; }
    depth_scale_bar* scale_bar() const { return m_scale_bar; }
    QPushButton* quality_button() const { return btn_quality; }
    // The distance range the depth colours span (near and far limit, mm).
    void set_distance_range(int near_mm, int far_mm);
    // Clouds drawn on the 3D page, and clouds dropped because a newer one came
    // before the draw was due or the user was turning the view.
    long long frames_drawn() const { return m_frames_drawn; }
    long long frames_dropped() const { return m_frames_dropped; }
    // Points the 3D page's last draw showed: fewer than the cloud holds while
    // the coarse level of detail is on screen.
    long long points_drawn() const;
    // Milliseconds a draw of the whole cloud may take before streamed and
    // dragged frames are drawn coarse (15 frames per second by default).
    void set_draw_budget_ms(double ms) { m_draw_budget_ms = ms; }

signals:
    void sig_exit();
    void sig_expend_view(bool bExpend);
    void sig_change_mode(int mode);
    void sig_save_tof();
    void sig_rgbd_click_point_sync(QPoint ptRGBDSync);

public slots:
    void on_btn_2d();
    void on_btn_3d();
    // Pause, info and expand clicks are handled by the control bar; these
    // three slots do what a click does.
    void on_btn_start();
    void on_btn_info();
    void on_btn_photo();
    void on_btn_color_setting();
    void on_btn_see();
    void on_btn_expend();
    void on_btn_relevance();
    void resize_widget(bool is_two_module, bool user_expend);
    void slot_resolution_change(int pixel_width, int pixel_height);
    void slot_show_depth();
    void show_show_point_clode();
    void OnSlotRGBDClickPointSync(QPoint ptRGBDSync);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void create_visualizer();
    void apply_texts();
    bool showing_2d() const;
    void update_point_info();
    void fit_bars();
    void fit_quality_tools();
    void draw_newest_cloud();
    void render_cloud();
    void draw_full_detail();

    std::shared_ptr<pcl::visualization::PCLVisualizer> m_viewer;
    std::unique_ptr<view_cloud_polydata> m_cloud_data;
    view_control_bar* m_controls = nullptr;
    bool m_paused_2d = false;
    bool m_paused_3d = false;
    bool m_relevance = false;
    QPoint m_click_point;
    bool m_camera_pending = true;
    cv::Mat m_depth_color;
    QPixmap m_color_bar;
    QPixmap m_color_bar_source;
    cv::Mat m_depth_raw;
    QPoint m_stat_pixel;
    std::vector<int> m_stat_samples;
    int m_image_width;
    int m_image_height;
    QPoint m_sync_point;
    int m_show_timer_id = 0;
    QTimer m_draw_timer;
    long long m_frames_drawn = 0;
    long long m_frames_dropped = 0;
    bool m_interacting = false;  // a mouse button is held on the 3D canvas
    // Level of detail: the last draw times of each level decide the next
    // stream draw's; a still picture returns to full detail.
    QTimer m_detail_timer;
    double m_draw_budget_ms = 1000.0 / 15.0;
    double m_full_ms = 0.0;
    double m_coarse_ms = 0.0;

    view_stall_notice* m_stall = nullptr;
    depth_scale_bar* m_scale_bar = nullptr;
    view_quality_tools* m_quality = nullptr;
    QPushButton* btn_quality = nullptr;
};
