#include "parameter_setting_widget.h"

#include <QListView>
#include <algorithm>

#include "user_define.h"
#include "zavire_resources.h"

namespace {
const QChar kTimes(0x00D7);

QString with_unit(int value, const char* unit)
{
    return QString::number(value) + QLatin1String(unit);
}
}  // namespace

QString resolution_text(int width, int height)
{
    return QString("%1%2%3").arg(width).arg(kTimes).arg(height);
}

bool parse_resolution_text(const QString& text, int* width, int* height)
{
    const int cut = text.indexOf(kTimes);
    if (cut < 0)
        return false;
    bool ok_w = false;
    bool ok_h = false;
    const int w = text.left(cut).toInt(&ok_w);
    const int h = text.mid(cut + 1).toInt(&ok_h);
    if (!ok_w || !ok_h)
        return false;
    *width = w;
    *height = h;
    return true;
}

parameter_setting_widget::parameter_setting_widget(const tof_param_info& info, QWidget* parent)
    : QWidget(parent)
{
    init_zavire_resources();
    // The integration-time signal carries a typedef name; register it so the
    // value survives queued delivery and signal spies.
    qRegisterMetaType<uint16_t>("uint16_t");
    setupUi(this);
    combo_resolution->setView(new QListView(combo_resolution));

    // QMap iterates in ascending key (width) order.
    for (auto it = info.resolutions.constBegin(); it != info.resolutions.constEnd(); ++it)
        combo_resolution->addItem(resolution_text(it.key(), it.value()));
    combo_resolution->setCurrentText(resolution_text(info.width, info.height));
    connect(combo_resolution, &QComboBox::currentTextChanged, this,
            &parameter_setting_widget::on_resolution_text_changed);
    user_define::attach(combo_resolution, combo_resolution->currentText());

    slider_integral_time->setRange(info.integral_time_min, info.integral_time_max);
    slider_integral_time->setValue(info.integral_time);
    m_last_integral_time = std::min(info.integral_time, info.integral_time_max);
    show_integral_time(m_last_integral_time);
    connect(slider_integral_time, &QSlider::valueChanged, this,
            &parameter_setting_widget::slider_integral_time_change);

    slider_distance_range_min->setRange(info.distance_limit_min, info.distance_limit_max);
    slider_distance_range_min->setValue(info.distance_min);
    label_distance_range_min->setText(with_unit(info.distance_min, "mm"));
    connect(slider_distance_range_min, &QSlider::valueChanged, this,
            [this](int value) { label_distance_range_min->setText(with_unit(value, "mm")); });
    connect(slider_distance_range_min, &QSlider::valueChanged, this,
            &parameter_setting_widget::slider_distance_range_min_change);
    slider_distance_range_min->setValue(info.distance_min);

    slider_distance_range_max->setRange(info.distance_limit_min, info.distance_limit_max);
    connect(slider_distance_range_max, &QSlider::valueChanged, this,
            [this](int value) { edit_distance_range->setText(with_unit(value, "mm")); });
    connect(slider_distance_range_max, &QSlider::valueChanged, this,
            &parameter_setting_widget::slider_distance_range_max_change);
    slider_distance_range_max->setValue(info.distance_max);
    slider_distance_range_max_change(info.distance_max);
    edit_distance_range->setText(with_unit(info.distance_max, "mm"));

    // Connected last, so the slider moves above emit nothing. Both carry the
    // sliders' positions, not the value that started the chain: a rule may
    // have moved the slider again inside this very notification, and the
    // last emission must name the pair the sliders finally show.
    auto emit_range = [this](int) {
        emit sig_distance_range_change(slider_distance_range_max->value(),
                                       slider_distance_range_min->value());
    };
    connect(slider_distance_range_min, &QSlider::valueChanged, this, emit_range);
    connect(slider_distance_range_max, &QSlider::valueChanged, this, emit_range);

    QFont value_font("Arial");
    value_font.setPixelSize(13);
    edit_integral_time->setFont(value_font);
    label_distance_range_min->setFont(value_font);
    edit_distance_range->setFont(value_font);
    setWindowTitle(tr("Parameter Setting"));
    label_resolution->setText(tr("Resolution"));
    label_integral_time->setText(tr("Integral time"));
    label_distance_range->setText(tr("Min distance range"));
    label_distance_range_2->setText(tr("Max distance range"));
    show();
}

QString parameter_setting_widget::committed_resolution() const
{
    const user_define* committed = user_define::of(combo_resolution);
    return committed ? committed->text() : QString();
}

void parameter_setting_widget::load_param_info(const tof_param_info& info)
{
    combo_resolution->setCurrentText(resolution_text(info.width, info.height));
}

void parameter_setting_widget::finish_resolution_change(bool success)
{
    user_define* committed = user_define::of(combo_resolution);
    if (!committed)
        return;
    if (success)
        committed->set_text(combo_resolution->currentText());
    else
        combo_resolution->setCurrentText(committed->text());
}

void parameter_setting_widget::set_resolution_enabled(bool enabled)
{
    combo_resolution->setEnabled(enabled);
}

void parameter_setting_widget::set_resolution_locked(bool locked)
{
    combo_resolution->setEnabled(!locked);
}

void parameter_setting_widget::on_resolution_text_changed(const QString& text)
{
    if (text == committed_resolution())
        return;
    int width = 0;
    int height = 0;
    if (!parse_resolution_text(text, &width, &height))
        return;
    emit sig_resolution_change(width, height);
}

void parameter_setting_widget::show_integral_time(int value)
{
    edit_integral_time->setText(with_unit(value, "us"));
}

void parameter_setting_widget::set_integral_time_silently(int value)
{
    disconnect(slider_integral_time, &QSlider::valueChanged, this,
               &parameter_setting_widget::slider_integral_time_change);
    slider_integral_time->setValue(value);
    connect(slider_integral_time, &QSlider::valueChanged, this,
            &parameter_setting_widget::slider_integral_time_change);
}

void parameter_setting_widget::slider_integral_time_change(int value)
{
    show_integral_time(value);
    emit sig_integral_time_change(static_cast<uint16_t>(value));
}

void parameter_setting_widget::slot_change_integral_time_finish(bool success)
{
    if (success) {
        m_last_integral_time = slider_integral_time->value();
        return;
    }
    set_integral_time_silently(m_last_integral_time);
    show_integral_time(m_last_integral_time);
}

void parameter_setting_widget::set_integral_time_range(int maximum, int minimum, int value)
{
    disconnect(slider_integral_time, &QSlider::valueChanged, this,
               &parameter_setting_widget::slider_integral_time_change);
    slider_integral_time->setMaximum(maximum);
    slider_integral_time->setMinimum(minimum);
    slider_integral_time->setValue(value);
    m_last_integral_time = std::min(maximum, value);
    connect(slider_integral_time, &QSlider::valueChanged, this,
            &parameter_setting_widget::slider_integral_time_change);
    show_integral_time(m_last_integral_time);
}

void parameter_setting_widget::slider_distance_range_max_change(int value)
{
    const int g = m_distance_gap;
    if (value < g) {
        slider_distance_range_max->setValue(g);
        return;
    }
    if (slider_distance_range_min->value() > value)
        slider_distance_range_min->setValue(value - g);
}

void parameter_setting_widget::slider_distance_range_min_change(int value)
{
    const int g = m_distance_gap;
    const int far_max = slider_distance_range_max->maximum();
    if (value + g > far_max) {
        slider_distance_range_min->setValue(far_max - g);
        return;
    }
    if (value - slider_distance_range_max->value() >= g)
        slider_distance_range_max->setValue(value + g);
}
