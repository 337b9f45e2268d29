#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <deque>
#include <memory>
#include <opencv2/core/mat.hpp>
#include <optional>

#include "quality/csv_log.h"
#include "quality/quality_meter.h"
#include "quality/region.h"

class quality_plot_widget;
class quality_region_overlay;
class quality_stats_panel;

// Drives the depth-quality tools of one image view: takes each frame,
// measures the region of interest (quality::quality_meter), and feeds the
// statistics panel, the plot and, while logging, the CSV file. A view hands
// it its frames and the clicked pixel; the overlay, panel and plot are
// attached once and may live anywhere in the window. Everything runs on
// the GUI thread.
class quality_controller : public QObject {
    Q_OBJECT

public:
    // One frame as a view has it (deep copies it owns).
    struct frame {
        cv::Mat depth;  // H x W, CV_16UC1, millimetres; 0 invalid, 1 saturated
        cv::Mat ir;     // H x W, CV_16UC1 amplitude, or empty
        bool flip_vertical = false;
        bool flip_horizontal = false;
        quint64 frame_number = 0;
        double time_s = 0;  // steady clock, seconds
    };

    explicit quality_controller(QObject* parent = nullptr);
    ~quality_controller() override;

    // Connects the widgets (any may be null): the overlay's region, the
    // panel's log button; panel and plot then show every frame.
    void attach(quality_region_overlay* overlay, quality_stats_panel* panel,
                quality_plot_widget* plot);

    // The depth camera's lens (for the plane fit), for any image size of the
    // sensor.
    void set_intrinsics(const quality::depth_intrinsics& lens);
    void set_temporal_window(int frames);

    // The pixel the view measures on click (image pixels), plotted while no
    // region is drawn and logged with every row.
    void set_probe_pixel(const QPoint& pixel);
    void clear_probe_pixel();

    // Measures one frame and updates panel, plot and log. Frames that are no
    // 16-bit depth image are ignored.
    void take_frame(const frame& f);

    const quality::quality_report& last_report() const { return m_report; }
    bool logging() const { return m_log.is_open(); }
    QString log_path() const { return m_log_path; }
    qulonglong logged_rows() const { return m_log.rows(); }

public slots:
    void set_region(const quality::region& r);
    void clear_region();
    // Starts a CSV log at `path`; false (and a user message) when the file
    // cannot be created.
    bool start_log(const QString& path);
    void stop_log();
    // The panel's button: asks for a file and starts, or stops.
    void toggle_log();

signals:
    void sig_report(const quality::quality_report& report);
    void sig_logging_changed(bool logging);

private:
    struct probe_value {
        bool valid = false;
        int depth = 0;
        double mean = 0;   // of the valid depths in the window
        double sigma = 0;  // their sample deviation
    };
    probe_value sample_probe(const cv::Mat& depth);
    void update_plot(const quality::quality_report& report, const probe_value& probe, double t);
    void write_log_row(const quality::quality_report& report, const probe_value& probe);
    void show_logging();

    quality::quality_meter m_meter;
    quality::quality_report m_report;
    QPointer<quality_stats_panel> m_panel;
    QPointer<quality_plot_widget> m_plot;
    std::optional<QPoint> m_probe;
    std::deque<int> m_probe_samples;  // last depths of the probe pixel, 0 = invalid
    quality::csv_log m_log;
    QString m_log_path;
};
