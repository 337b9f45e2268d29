#pragma once

#include <QWidget>
#include <cstdint>

#include "ui_widget_parameter_setting.h"
#include "zavire/tof_param_info.h"

// Depth-stream parameter panel: resolution list, integration-time slider and
// the near/far distance sliders. It only emits wishes; the main window
// forwards them to the camera and reports back so the panel commits or reverts.
class parameter_setting_widget : public QWidget, public Ui_widget_parameter_setting {
    Q_OBJECT
public:
    parameter_setting_widget(const tof_param_info& info, QWidget* parent = nullptr);

    void load_param_info(const tof_param_info& info);
    void finish_resolution_change(bool success);
    void set_resolution_enabled(bool enabled);
    void set_resolution_locked(bool locked);
    void set_integral_time_range(int maximum, int minimum, int value);

    // The resolution text the camera last accepted.
    QString committed_resolution() const;
    int last_integral_time() const { return m_last_integral_time; }

signals:
    void sig_resolution_change(int pixel_width, int pixel_height);
    void sig_integral_time_change(uint16_t integral_time);
    void sig_distance_range_change(int max_distance_range, int min_distance_range);

public slots:
    void slot_change_integral_time_finish(bool success);

private slots:
    void slider_integral_time_change(int value);
    void slider_distance_range_min_change(int value);
    void slider_distance_range_max_change(int value);

private:
    void on_resolution_text_changed(const QString& text);
    void show_integral_time(int value);
    // Moves the integration-time slider without emitting a change request.
    void set_integral_time_silently(int value);

    int m_distance_gap = 10;
    int m_last_integral_time = 0;
};

// "W×H" with the multiplication sign, as the resolution lists show it.
QString resolution_text(int width, int height);
// Splits "W×H" at the first "×"; false when either part is not a number.
bool parse_resolution_text(const QString& text, int* width, int* height);
