#include "frame_recorder.h"

#include <recording/pvx3_capture.h>

#include <QCoreApplication>
#include <QFile>

#include <parvolux3/pvx3.h>

namespace {

// Settings are read again at least this often (frame sets), so a change
// made behind the viewer's back is recorded within about a second.
constexpr int kSettingsRefresh = 30;

}  // namespace

frame_recorder::frame_recorder(std::unique_ptr<recording::writer> writer, const QString& path, bool raw)
    : m_writer(std::move(writer)), m_path(path), m_raw(raw)
{
}

std::unique_ptr<frame_recorder> frame_recorder::create(const QString& path, recording::raw_phase_state raw,
                                                       pvx3::device* device, QString& error)
{
    recording::writer_options options;
    options.producer = QStringLiteral("Tessivue %1").arg(QCoreApplication::applicationVersion()).toStdString();
    options.raw_phase = raw;
    std::string why;
    std::unique_ptr<recording::writer> w = recording::writer::create(QFile::encodeName(path).toStdString(), options, why);
    if (!w) {
        error = QString::fromStdString(why);
        return nullptr;
    }
    if (device != nullptr)
        w->set_device_info(recording::capture_device_info(device));
    return std::unique_ptr<frame_recorder>(
        new frame_recorder(std::move(w), path, raw == recording::raw_phase_state::recorded));
}

void frame_recorder::submit(const pvx3::frameset& set, recording::stream_mask streams, pvx3::device* device,
                            pvx3::sensor* sensor)
{
    using recording::bit;
    using recording::stream;
    if (!m_raw)
        streams &= ~bit(stream::raw_phase);
    int dw = 0, dh = 0, cw = 0, ch = 0;
    if (streams & (bit(stream::depth) | bit(stream::ir))) {
        const pvx3::frame* f = set.get_depth_frame();
        if (f == nullptr)
            f = set.get_ir_frame();
        if (f != nullptr) {
            dw = f->get_width();
            dh = f->get_height();
        }
    }
    if (streams & bit(stream::colour))
        if (const pvx3::frame* f = set.get_rgb_frame()) {
            cw = f->get_width();
            ch = f->get_height();
        }
    const bool sizes_changed = dw != m_depth_w || dh != m_depth_h || cw != m_colour_w || ch != m_colour_h;
    if (sizes_changed || m_settings_dirty.exchange(false) || ++m_since_settings >= kSettingsRefresh) {
        m_since_settings = 0;
        const recording::camera_settings settings =
            recording::capture_settings(dw > 0 ? sensor : nullptr, dw, dh, cw, ch);
        if (dw > 0 && (dw != m_depth_w || dh != m_depth_h)) {
            m_calibration = recording::capture_calibration(device, dw, dh);
            if (m_calibration)
                m_writer->set_calibration(*m_calibration);
        }
        m_writer->set_settings(settings);
        m_lenses = recording::lenses_for(m_calibration, settings);
        m_depth_w = dw;
        m_depth_h = dh;
        m_colour_w = cw;
        m_colour_h = ch;
    }
    recording::frame_set_view view;
    if (recording::view_frame_set(set, streams, m_lenses, view))
        m_writer->submit(view);
}

bool frame_recorder::close(QString& error)
{
    std::string why;
    const bool ok = m_writer->close(why);
    if (!ok)
        error = QString::fromStdString(why);
    return ok;
}
