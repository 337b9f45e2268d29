#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <opencv2/core/mat.hpp>
#include <optional>

#include "quality/camera_rays.h"

class QPushButton;
class QScrollArea;
class QWidget;
class depth_scale_bar;
class quality_controller;
class quality_plot_widget;
class quality_region_overlay;
class quality_stats_panel;

namespace frame_data {
struct depth_frame_facts;
}

// The depth-quality tools of one depth image view: the region overlay over
// the image, the statistics panel and plot in a side pane over the view's
// left edge, and the controller that measures each shown frame. The view
// keeps drawing the image and handling clicks; it tells the tools where the
// image is drawn, hands them each frame it shows, and the pixel it measures
// on click. Frames are measured only while the tools are in use (a region,
// the pane shown or a CSV log running), so a view that never uses them pays
// nothing. GUI thread only.
class view_quality_tools : public QObject {
    Q_OBJECT

public:
    // Everything is created as children of `page`, the widget the image is
    // drawn on (or that lies over it).
    explicit view_quality_tools(QWidget* page);
    ~view_quality_tools() override;

    // The image's size in pixels, where it is drawn and the area the tools
    // may cover (both in `page` coordinates). A new image size scales the
    // region.
    void set_geometry(const QSize& image_size, const QRect& drawn, const QRect& area);
    // Room at the right edge of the area the pane leaves free (the colour
    // bar's place).
    void set_pane_right_margin(int px);

    // A frame the view now shows: raw depth (CV_16UC1 mm), raw IR (CV_16UC1 or
    // empty) and what the camera said about it.
    void take_frame(const cv::Mat& depth, const cv::Mat& ir,
                    const frame_data::depth_frame_facts& facts);
    // The pixel of the click measurement, plotted while no region is drawn.
    void set_probe_pixel(const QPoint& pixel);
    void clear_probe_pixel();
    // Escape clears the region while the focus is anywhere in `view` (its
    // bottom-bar buttons included), not only on the overlay.
    void set_escape_scope(QWidget* view);
    // Hides or shows everything (the view's 3D page shows none of it).
    void set_page_shown(bool shown);

    bool in_use() const;
    bool pane_shown() const;
    void set_pane_shown(bool shown);

    // The bottom-bar button that shows and hides the pane, made for `parent`
    // in the style of the bar's other buttons.
    QPushButton* make_button(QWidget* parent);

    quality_region_overlay* overlay() const { return m_overlay; }
    quality_stats_panel* panel() const { return m_panel; }
    quality_plot_widget* plot() const { return m_plot; }
    quality_controller* controller() const { return m_controller; }
    QWidget* pane() const;

signals:
    void sig_pane_shown(bool shown);
    // The pane opened in a view too narrow to show it beside the image; the
    // view may make itself larger (expand).
    void sig_needs_room();

private:
    void remeasure_shown();
    void place_pane();
    void update_button();

    QWidget* m_page;
    quality_region_overlay* m_overlay = nullptr;
    QScrollArea* m_pane = nullptr;
    quality_stats_panel* m_panel = nullptr;
    quality_plot_widget* m_plot = nullptr;
    quality_controller* m_controller = nullptr;
    QPointer<QPushButton> m_button;
    QRect m_area;
    int m_right_margin = 0;
    bool m_page_shown = true;
    bool m_pane_wanted = false;
    // The frame on screen, for measuring a paused picture again when its
    // region changes.
    cv::Mat m_depth;
    cv::Mat m_ir;
    bool m_flip_vertical = false;
    bool m_flip_horizontal = false;
    quint64 m_frame_number = 0;
    double m_time_s = 0;
    std::optional<quality::depth_intrinsics> m_lens;
    bool m_measuring_again = false;
    // The frame last measured: a frame is measured once (queued notifications
    // can hand the same shared frame over twice), except right after the
    // region changed, which starts the windows afresh.
    quint64 m_fed_number = 0;
    double m_fed_time = -1;
    bool m_window_fresh = true;
    // Measures the stored frame unless it was measured already.
    void feed();
};
