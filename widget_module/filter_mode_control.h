#pragma once

#include <QObject>
#include <QPointer>

#include "app/filter_settings.h"

class QCheckBox;
class QComboBox;
class driver_operate;

// The Filter section's mode choice beside the filter switch: "Standard" (the
// camera's median and block-deviation filters) or "Noise-aware". Shown only
// for a camera whose filter option reaches the noise-aware value, enabled
// while the switch is on, and remembered between runs. The switch itself
// keeps writing 0 and 1 unless the noise-aware mode is chosen. GUI thread.
class filter_mode_control : public QObject {
    Q_OBJECT
public:
    // Item 0 of `mode` is the standard mode, item 1 the noise-aware one.
    filter_mode_control(QCheckBox* filter_switch, QComboBox* mode, QObject* parent);

    // A camera was opened: reads whether it offers the noise-aware mode and
    // which mode it runs, shows the choice, and where the camera's filter is
    // on but in the other mode than the one chosen, applies the choice.
    void attach(driver_operate* driver);

    // The filter switch changed: tells `driver` 0 or 1 as before, or the
    // noise-aware value when that mode is chosen and the attached camera
    // offers it.
    void apply_switch(driver_operate* driver, bool on);

    bool offered() const { return m_offered; }
    filter_mode_choice choice() const;

private:
    void mode_picked(int index);
    void show_choice(filter_mode_choice choice);
    void update_enabled();
    int chosen_value() const;

    QCheckBox* m_switch;
    QComboBox* m_mode;
    QPointer<driver_operate> m_driver;
    bool m_offered = false;
};
