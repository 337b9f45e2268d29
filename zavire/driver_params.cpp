// Device parameters: sensor options read and set on the GUI thread, and
// resolution changes handed to the sample loop.
#include "driver_operate.h"

#include "driver_trace.h"

#include "app/user_message.h"

#include <parvolux3/pvx3.h>

pvx3::sensor* driver_operate::sensor()
{
    return m_device != nullptr ? m_device.load()->get_sensor() : nullptr;
}

std::pair<int, int> driver_operate::option_range(int option)
{
    pvx3::sensor* s = sensor();
    if (s == nullptr)
        return {0, 0};
    uint16_t a = 0;
    uint16_t b = 0;
    s->get_option_range(option, a, b);
    return {a, b};
}

int driver_operate::get_integral_time()
{
    pvx3::sensor* s = sensor();
    if (s == nullptr)
        return 0;
    uint16_t value = 0;
    const int code = s->get_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, value);
    if (code != 0)
        DRIVER_TRACE(trace_error, QStringLiteral("get_integral_time error code: %1  ").arg(code),
                     "driver_operate::get_integral_time");
    else
        DRIVER_TRACE(trace_info, QStringLiteral("get_integral_time success %1  ").arg(value),
                     "driver_operate::get_integral_time");
    // The camera reports slightly under its 3000 maximum; show the maximum.
    return value < 2992 ? value : 3000;
}

std::pair<int, int> driver_operate::get_integral_time_range()
{
    return option_range(pvx3::PVX3_OPTION_INTEGRATION_TIME_RANGE);
}

std::pair<int, int> driver_operate::get_distance_range()
{
    return option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE);
}

std::pair<int, int> driver_operate::get_option3_range()
{
    return option_range(pvx3::PVX3_OPTION_DISTANCE_LIMITS);
}

bool driver_operate::get_filter(bool& on)
{
    int mode = 0;
    if (!get_filter_mode(mode))
        return false;
    on = mode != 0;
    return true;
}

int driver_operate::set_filter(bool on)
{
    pvx3::sensor* s = sensor();
    const int code = s != nullptr ? s->set_option(pvx3::PVX3_OPTION_FILTER, on ? 1 : 0) : 0;
    note_setting_change();
    return code;
}

bool driver_operate::get_filter_mode(int& mode)
{
    pvx3::sensor* s = sensor();
    if (s == nullptr)
        return false;
    uint16_t value = 0;
    if (s->get_option(pvx3::PVX3_OPTION_FILTER, value) != 0)
        return false;
    mode = value;
    return true;
}

int driver_operate::get_filter_mode_max()
{
    return option_range(pvx3::PVX3_OPTION_FILTER).first;
}

int driver_operate::set_filter_mode(int mode)
{
    pvx3::sensor* s = sensor();
    const int code = s != nullptr ? s->set_option(pvx3::PVX3_OPTION_FILTER, static_cast<uint16_t>(mode)) : 0;
    note_setting_change();
    return code;
}

int driver_operate::set_flip_vertical(bool on)
{
    pvx3::sensor* s = sensor();
    const int result = s != nullptr ? s->set_option(pvx3::PVX3_OPTION_FLIP_VERTICAL, on ? 1 : 0) : 0;
    if (s != nullptr && result == 0)
        m_flip_vertical = on;
    note_setting_change();
    return result;
}

int driver_operate::set_flip_horizontal(bool on)
{
    pvx3::sensor* s = sensor();
    const int result = s != nullptr ? s->set_option(pvx3::PVX3_OPTION_FLIP_HORIZONTAL, on ? 1 : 0) : 0;
    if (s != nullptr && result == 0)
        m_flip_horizontal = on;
    note_setting_change();
    return result;
}

void driver_operate::slot_integral_time(uint16_t integral_time)
{
    pvx3::sensor* s = sensor();
    if (s == nullptr) {
        emit sig_change_integral_time_finish(false);
        return;
    }
    const int code = s->set_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, integral_time);
    if (code == 0) {
        note_setting_change();
        m_refusing_since.reset();
        emit sig_change_integral_time_finish(true);
        return;
    }
    if (code == pvx3::PVX3_ERROR_NOT_NOW) {
        // "Not now" is expected while the sensor settles after a start; a
        // camera that still says so after that time refuses the change.
        const auto now = std::chrono::steady_clock::now();
        const std::chrono::steady_clock::time_point started{
            std::chrono::steady_clock::duration(m_stream_started.load())};
        // A start since the first refusal settles anew.
        if (!m_refusing_since || *m_refusing_since < started)
            m_refusing_since = now;
        if (now - *m_refusing_since < std::chrono::milliseconds(kIntegralTimeSettleMs)) {
            post_user_message(QString::fromUtf8("The integral_time cannot be changed at this time. Please wait"
                                                "\xc2\xb7\xc2\xb7\xc2\xb7"));
        } else {
            post_user_message(QStringLiteral("The camera refused to change the integral_time; "
                                             "the previous value is kept."));
        }
    }
    DRIVER_TRACE(trace_error, QStringLiteral("SetIntegralTime error code: %1  ").arg(code),
                 "driver_operate::slot_integral_time");
    emit sig_change_integral_time_finish(false);
}

void driver_operate::slot_change_distance_range(int min, int max)
{
    // Far limit 0 or near limit 7500 are placeholder values of the panel.
    if (max == 0 || min == 7500)
        return;
    if (pvx3::sensor* s = sensor())
        s->set_option_range(pvx3::PVX3_OPTION_DISTANCE_RANGE, static_cast<uint16_t>(max), static_cast<uint16_t>(min));
    note_setting_change();
}

void driver_operate::slot_change_stram(int width, int height, int type)
{
    std::lock_guard<std::mutex> guard(m_command_lock);
    m_requested_width = width;
    m_requested_height = height;
    if (type == 0) {
        if (!m_tof_on && !m_rgbd_on)
            return;
        m_pending_command = 7;
        m_command_waiting = true;
        m_depth_stream_w = width;
        m_depth_stream_h = height;
        if (m_config != nullptr) {
            m_config->enable_stream(stream_depth, width, height);
            m_config->enable_stream(stream_ir, width, height);
        }
    } else if (type == 1) {
        if (!m_rgb_on && !m_rgbd_on)
            return;
        m_pending_command = 8;
        m_command_waiting = true;
        if (m_config != nullptr)
            m_config->enable_stream(stream_rgb, width, height);
    }
}
