#pragma once

#include <QWidget>
#include <QtCharts/QChartGlobal>
#include <deque>

QT_CHARTS_BEGIN_NAMESPACE
class QAreaSeries;
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
QT_CHARTS_END_NAMESPACE

// A plot of the last 10 s of one depth value with its ±1 σ band: the
// region's mean with its spatial σ around it, or the clicked pixel's depth
// with the band of its temporal σ around its recent mean when no region is
// drawn (so the line's excursions show against the spread). Time runs from -10 s (left) to the
// newest frame at 0 s; the depth axis keeps round limits and only moves
// when the data leaves it or shrinks well inside it.
class quality_plot_widget : public QWidget {
    Q_OBJECT

public:
    enum class source { region_mean,
                        pixel_depth };
    static constexpr double kSpanSeconds = 10.0;

    explicit quality_plot_widget(QWidget* parent = nullptr);

    // Switches what is plotted (the title says which) and starts afresh.
    void set_source(source s);
    source current_source() const { return m_source; }
    // One frame's value at `time_s` (seconds on a steady clock), with the
    // band value ± sigma.
    void add_sample(double time_s, double value_mm, double sigma_mm);
    // The same with the band centred elsewhere: centre ± sigma.
    void add_sample(double time_s, double value_mm, double centre_mm, double sigma_mm);
    void clear();

    int samples() const { return static_cast<int>(m_samples.size()); }
    QtCharts::QLineSeries* value_series() const { return m_value; }
    QtCharts::QLineSeries* upper_series() const { return m_upper; }
    QtCharts::QLineSeries* lower_series() const { return m_lower; }
    QtCharts::QValueAxis* depth_axis() const { return m_axis_y; }
    QtCharts::QChart* chart() const { return m_chart; }

private:
    struct sample {
        double t, value, low, high;
    };
    void refresh();
    void fit_depth_axis(double lo, double hi);

    source m_source = source::region_mean;
    std::deque<sample> m_samples;
    QtCharts::QChart* m_chart = nullptr;
    QtCharts::QChartView* m_view = nullptr;
    QtCharts::QLineSeries* m_value = nullptr;
    QtCharts::QLineSeries* m_upper = nullptr;
    QtCharts::QLineSeries* m_lower = nullptr;
    QtCharts::QAreaSeries* m_band = nullptr;
    QtCharts::QValueAxis* m_axis_x = nullptr;
    QtCharts::QValueAxis* m_axis_y = nullptr;
};
