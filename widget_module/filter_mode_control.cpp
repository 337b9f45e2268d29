#include "filter_mode_control.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>

#include <parvolux3/pvx3.h>

#include "app/user_message.h"
#include "zavire/driver_operate.h"

namespace {
constexpr int kStandardItem = 0;
constexpr int kNoiseAwareItem = 1;
}  // namespace

filter_mode_control::filter_mode_control(QCheckBox* filter_switch, QComboBox* mode, QObject* parent)
    : QObject(parent), m_switch(filter_switch), m_mode(mode)
{
    show_choice(load_filter_mode());
    // Until a camera says it offers the mode, there is nothing to choose.
    m_mode->hide();
    connect(m_mode, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &filter_mode_control::mode_picked);
    connect(m_switch, &QCheckBox::toggled, this, &filter_mode_control::update_enabled);
    update_enabled();
}

filter_mode_choice filter_mode_control::choice() const
{
    return m_mode->currentIndex() == kNoiseAwareItem ? filter_mode_choice::noise_aware : filter_mode_choice::standard;
}

int filter_mode_control::chosen_value() const
{
    return m_offered && choice() == filter_mode_choice::noise_aware ? pvx3::PVX3_FILTER_NOISE_AWARE
                                                                    : pvx3::PVX3_FILTER_STANDARD;
}

void filter_mode_control::show_choice(filter_mode_choice choice)
{
    const QSignalBlocker quiet(m_mode);
    m_mode->setCurrentIndex(choice == filter_mode_choice::noise_aware ? kNoiseAwareItem : kStandardItem);
}

void filter_mode_control::update_enabled()
{
    m_mode->setEnabled(m_offered && m_switch->isChecked());
}

void filter_mode_control::attach(driver_operate* driver)
{
    m_driver = driver;
    m_offered = driver != nullptr && driver->get_filter_mode_max() >= pvx3::PVX3_FILTER_NOISE_AWARE;
    m_mode->setVisible(m_offered);
    int running = pvx3::PVX3_FILTER_OFF;
    const bool known = driver != nullptr && driver->get_filter_mode(running);
    // A camera already in the noise-aware mode shows it; otherwise the
    // remembered choice stands.
    show_choice(m_offered && known && running == pvx3::PVX3_FILTER_NOISE_AWARE ? filter_mode_choice::noise_aware
                                                                               : load_filter_mode());
    update_enabled();
    if (m_offered && known && running != pvx3::PVX3_FILTER_OFF && running != chosen_value())
        driver->set_filter_mode(chosen_value());
}

void filter_mode_control::apply_switch(driver_operate* driver, bool on)
{
    if (on && driver == m_driver && chosen_value() == pvx3::PVX3_FILTER_NOISE_AWARE)
        driver->set_filter_mode(pvx3::PVX3_FILTER_NOISE_AWARE);
    else
        driver->set_filter(on);
}

void filter_mode_control::mode_picked(int)
{
    if (m_driver && m_offered && m_switch->isChecked() && m_driver->set_filter_mode(chosen_value()) != 0) {
        // The camera keeps the mode it had; show and remember that one.
        post_user_message(tr("The camera did not accept the filter mode; it keeps the previous one."));
        int running = pvx3::PVX3_FILTER_STANDARD;
        if (m_driver->get_filter_mode(running))
            show_choice(running == pvx3::PVX3_FILTER_NOISE_AWARE ? filter_mode_choice::noise_aware
                                                                 : filter_mode_choice::standard);
    }
    store_filter_mode(choice());
}
