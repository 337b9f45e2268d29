#include "quality_controller.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "app/user_message.h"
#include "quality/report_csv.h"
#include "quality_csv_file.h"
#include "quality_plot_widget.h"
#include "quality_region_overlay.h"
#include "quality_stats_panel.h"

quality_controller::quality_controller(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<quality::region>();
}

quality_controller::~quality_controller() { m_log.close(nullptr); }

void quality_controller::attach(quality_region_overlay* overlay, quality_stats_panel* panel,
                                quality_plot_widget* plot)
{
    if (overlay != nullptr) {
        connect(overlay, &quality_region_overlay::sig_region_changed, this,
                &quality_controller::set_region);
        connect(overlay, &quality_region_overlay::sig_region_cleared, this,
                &quality_controller::clear_region);
        if (const auto r = overlay->region())
            set_region(*r);
    }
    m_panel = panel;
    if (panel != nullptr) {
        connect(panel, &quality_stats_panel::sig_log_clicked, this, &quality_controller::toggle_log);
        show_logging();
    }
    m_plot = plot;
}

void quality_controller::set_intrinsics(const quality::depth_intrinsics& lens)
{
    m_meter.set_intrinsics(lens);
}

void quality_controller::set_temporal_window(int frames) { m_meter.set_temporal_window(frames); }

void quality_controller::set_probe_pixel(const QPoint& pixel)
{
    if (m_probe && *m_probe == pixel)
        return;
    m_probe = pixel;
    m_probe_samples.clear();
    if (m_plot && !m_meter.current_region())
        m_plot->set_source(quality_plot_widget::source::pixel_depth);
}

void quality_controller::clear_probe_pixel()
{
    m_probe.reset();
    m_probe_samples.clear();
}

void quality_controller::set_region(const quality::region& r)
{
    m_meter.set_region(r);
    if (m_plot && m_plot->current_source() != quality_plot_widget::source::region_mean)
        m_plot->set_source(quality_plot_widget::source::region_mean);
    else if (m_plot)
        m_plot->clear();
}

void quality_controller::clear_region()
{
    m_meter.clear_region();
    m_report.has_region = false;
    if (m_panel)
        m_panel->show_no_region();
    if (m_plot)
        m_plot->set_source(m_probe ? quality_plot_widget::source::pixel_depth
                                   : quality_plot_widget::source::region_mean);
}

quality_controller::probe_value quality_controller::sample_probe(const cv::Mat& depth)
{
    probe_value v;
    if (!m_probe)
        return v;
    const int x = m_probe->x(), y = m_probe->y();
    if (x < 0 || y < 0 || x >= depth.cols || y >= depth.rows)
        return v;
    const int d = depth.at<quint16>(y, x);
    m_probe_samples.push_back(quality::valid_depth(static_cast<std::uint16_t>(d)) ? d : 0);
    while (static_cast<int>(m_probe_samples.size()) > m_meter.temporal_window())
        m_probe_samples.pop_front();
    v.depth = d;
    v.valid = quality::valid_depth(static_cast<std::uint16_t>(d));
    // Sample deviation of the valid depths in the window, as for a region.
    double sum = 0, sum_sq = 0;
    int n = 0;
    for (int s : m_probe_samples)
        if (s > 0) {
            sum += s;
            sum_sq += static_cast<double>(s) * s;
            ++n;
        }
    if (n > 0)
        v.mean = sum / n;
    if (n >= 2)
        v.sigma = std::sqrt(std::max(0.0, (sum_sq - sum * sum / n) / (n - 1)));
    return v;
}

void quality_controller::take_frame(const frame& f)
{
    if (f.depth.empty() || f.depth.type() != CV_16UC1)
        return;
    quality::frame_input in;
    in.depth = quality::image16{f.depth.ptr<std::uint16_t>(), f.depth.cols, f.depth.rows,
                                static_cast<std::ptrdiff_t>(f.depth.step1())};
    if (!f.ir.empty() && f.ir.type() == CV_16UC1)
        in.ir = quality::image16{f.ir.ptr<std::uint16_t>(), f.ir.cols, f.ir.rows,
                                 static_cast<std::ptrdiff_t>(f.ir.step1())};
    in.flip_vertical = f.flip_vertical;
    in.flip_horizontal = f.flip_horizontal;
    in.frame_number = f.frame_number;
    in.time_s = f.time_s;
    m_report = m_meter.measure(in);
    const probe_value probe = sample_probe(f.depth);

    if (m_panel) {
        if (m_report.has_region)
            m_panel->show_report(m_report);
        else
            m_panel->show_no_region();
    }
    update_plot(m_report, probe, f.time_s);
    if (m_log.is_open())
        write_log_row(m_report, probe);
    emit sig_report(m_report);
}

void quality_controller::update_plot(const quality::quality_report& r, const probe_value& probe,
                                     double t)
{
    if (!m_plot)
        return;
    if (r.has_region) {
        if (r.spatial.valid > 0)
            m_plot->add_sample(t, r.spatial.mean_mm, r.spatial.std_mm);
    } else if (m_probe && probe.valid) {
        if (m_plot->current_source() != quality_plot_widget::source::pixel_depth)
            m_plot->set_source(quality_plot_widget::source::pixel_depth);
        m_plot->add_sample(t, probe.depth, probe.mean, probe.sigma);
    }
}

bool quality_controller::start_log(const QString& path)
{
    stop_log();
    std::string error;
    m_log_path = path;
    if (!m_log.open(QFile::encodeName(path).toStdString(), quality::report_csv_header(), &error)) {
        post_user_message(tr("Cannot log to CSV: %1").arg(QString::fromStdString(error)));
        m_log_path.clear();
        show_logging();
        return false;
    }
    show_logging();
    emit sig_logging_changed(true);
    return true;
}

void quality_controller::stop_log()
{
    if (!m_log.is_open())
        return;
    std::string error;
    if (!m_log.close(&error))
        post_user_message(tr("CSV log incomplete: %1").arg(QString::fromStdString(error)));
    show_logging();
    emit sig_logging_changed(false);
}

void quality_controller::toggle_log()
{
    if (m_log.is_open()) {
        stop_log();
        return;
    }
    // A fresh name in the folder of the last log (or the home folder).
    const QDir folder = m_log_path.isEmpty() ? QDir::home() : QFileInfo(m_log_path).absoluteDir();
    const QString start = folder.filePath(
        QStringLiteral("depth_quality_%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"))));
    QWidget* parent = m_panel ? m_panel->window() : nullptr;
    const QString file = choose_csv_file(parent, tr("Log to CSV"), start);
    if (file.isEmpty())
        return;
    start_log(file);
}

void quality_controller::write_log_row(const quality::quality_report& report,
                                       const probe_value& probe)
{
    std::optional<quality::probe_sample> p;
    if (m_probe)
        p = quality::probe_sample{m_probe->x(), m_probe->y(), probe.depth};
    // Local time as spreadsheets read it without help.
    const std::string when = QDateTime::currentDateTime()
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                 .toStdString();
    std::string error;
    if (!m_log.write_row(quality::report_csv_row(when, report, p), &error)) {
        post_user_message(tr("CSV log stopped after %1 rows: %2")
                              .arg(m_log.rows())
                              .arg(QString::fromStdString(error)));
        show_logging();
        emit sig_logging_changed(false);
        return;
    }
    if (m_panel)
        m_panel->set_logging(true, m_log_path, m_log.rows());
}

void quality_controller::show_logging()
{
    if (m_panel)
        m_panel->set_logging(m_log.is_open(), m_log_path, m_log.rows());
}
