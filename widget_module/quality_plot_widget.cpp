#include "quality_plot_widget.h"

#include <QVBoxLayout>
#include <QVector>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

QT_CHARTS_USE_NAMESPACE

namespace {

// Round spacing (1, 2 or 5 times a power of ten, at least 1 mm) for about
// four intervals over `span`.
double nice_step(double span)
{
    const double raw = std::max(span / 4.0, 1.0);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw)
            return m * power;
    return 10.0 * power;
}

}  // namespace

quality_plot_widget::quality_plot_widget(QWidget* parent) : QWidget(parent)
{
    m_chart = new QChart();
    m_chart->setTheme(QChart::ChartThemeDark);
    m_chart->setBackgroundBrush(QColor(40, 40, 40));
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setAnimationOptions(QChart::NoAnimation);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    m_chart->legend()->setFont(font);
    QFont title = font;
    title.setPixelSize(12);
    m_chart->setTitleFont(title);

    m_value = new QLineSeries(this);
    m_upper = new QLineSeries(this);
    m_lower = new QLineSeries(this);
    m_band = new QAreaSeries(m_upper, m_lower);
    m_band->setName(QStringLiteral("±1 σ"));
    QColor band(255, 210, 0, 70);
    m_band->setBrush(band);
    m_band->setPen(Qt::NoPen);
    // A cosmetic one-pixel pen: wide pens are stroked as outlines, which
    // costs more per frame than the rest of the plot together.
    QPen line(QColor(255, 210, 0));
    line.setWidth(0);
    line.setCosmetic(true);
    m_value->setPen(line);
    m_chart->addSeries(m_band);
    m_chart->addSeries(m_value);

    m_axis_x = new QValueAxis();
    m_axis_x->setRange(-kSpanSeconds, 0.0);
    m_axis_x->setTickCount(6);
    m_axis_x->setLabelFormat(QStringLiteral("%d"));
    m_axis_x->setTitleText(QStringLiteral("s"));
    m_axis_y = new QValueAxis();
    m_axis_y->setLabelFormat(QStringLiteral("%d"));
    m_axis_y->setTitleText(QStringLiteral("mm"));
    m_axis_y->setRange(0, 1000);
    m_axis_y->setTickCount(5);
    for (QValueAxis* a : {m_axis_x, m_axis_y}) {
        a->setLabelsFont(font);
        a->setTitleFont(font);
    }
    m_chart->addAxis(m_axis_x, Qt::AlignBottom);
    m_chart->addAxis(m_axis_y, Qt::AlignLeft);
    for (QAbstractSeries* s : {static_cast<QAbstractSeries*>(m_band), static_cast<QAbstractSeries*>(m_value)}) {
        s->attachAxis(m_axis_x);
        s->attachAxis(m_axis_y);
    }

    m_view = new QChartView(m_chart, this);
    m_view->setRenderHint(QPainter::Antialiasing, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    set_source(source::region_mean);
}

void quality_plot_widget::set_source(source s)
{
    m_source = s;
    if (s == source::region_mean) {
        m_chart->setTitle(tr("Region mean, last 10 s"));
        m_value->setName(tr("mean"));
        m_band->setName(tr("±1 σ (spatial)"));
    } else {
        m_chart->setTitle(tr("Clicked pixel, last 10 s"));
        m_value->setName(tr("depth"));
        m_band->setName(tr("±1 σ (temporal)"));
    }
    clear();
}

void quality_plot_widget::clear()
{
    m_samples.clear();
    refresh();
}

void quality_plot_widget::add_sample(double time_s, double value_mm, double sigma_mm)
{
    add_sample(time_s, value_mm, value_mm, sigma_mm);
}

void quality_plot_widget::add_sample(double time_s, double value_mm, double centre_mm,
                                     double sigma_mm)
{
    if (!std::isfinite(value_mm))
        return;
    if (!std::isfinite(centre_mm))
        centre_mm = value_mm;
    const double s = std::isfinite(sigma_mm) ? std::abs(sigma_mm) : 0.0;
    // A clock that went back (a new stream) starts a new history.
    if (!m_samples.empty() && time_s < m_samples.back().t)
        m_samples.clear();
    m_samples.push_back({time_s, value_mm, centre_mm - s, centre_mm + s});
    while (!m_samples.empty() && m_samples.front().t < time_s - kSpanSeconds)
        m_samples.pop_front();
    refresh();
}

void quality_plot_widget::refresh()
{
    QVector<QPointF> value, upper, lower;
    value.reserve(static_cast<int>(m_samples.size()));
    upper.reserve(value.capacity());
    lower.reserve(value.capacity());
    double lo = 0, hi = 0;
    const double now = m_samples.empty() ? 0.0 : m_samples.back().t;
    for (const sample& s : m_samples) {
        const double x = s.t - now;
        value.append(QPointF(x, s.value));
        upper.append(QPointF(x, s.high));
        lower.append(QPointF(x, s.low));
        const double a = std::min(s.low, s.value), b = std::max(s.high, s.value);
        lo = value.size() == 1 ? a : std::min(lo, a);
        hi = value.size() == 1 ? b : std::max(hi, b);
    }
    m_value->replace(value);
    m_upper->replace(upper);
    m_lower->replace(lower);
    if (!value.isEmpty())
        fit_depth_axis(lo, hi);
}

void quality_plot_widget::fit_depth_axis(double lo, double hi)
{
    const double step = nice_step(hi - lo);
    const double want_lo = std::floor(lo / step) * step;
    double want_hi = std::ceil(hi / step) * step;
    if (want_hi <= want_lo)
        want_hi = want_lo + step;
    const double cur_lo = m_axis_y->min(), cur_hi = m_axis_y->max();
    const bool outside = lo < cur_lo || hi > cur_hi;
    const bool too_loose = (cur_hi - cur_lo) > 3.0 * (want_hi - want_lo);
    if (!outside && !too_loose)
        return;
    m_axis_y->setRange(want_lo, want_hi);
    m_axis_y->setTickCount(static_cast<int>(std::lround((want_hi - want_lo) / step)) + 1);
}
