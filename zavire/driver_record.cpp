// Recording of the sample loop's frame sets into a recording file.
#include "driver_operate.h"

#include "driver_trace.h"
#include "frame_recorder.h"

#include <parvolux3/pvx3.h>

bool driver_operate::start_recording(const QString& path, bool raw_frames, QString& error)
{
    {
        std::lock_guard<std::mutex> guard(m_record_lock);
        if (m_recorder) {
            error = QStringLiteral("A recording is running already.");
            return false;
        }
    }
    const bool raw = raw_frames && m_raw_offered;
    const recording::raw_phase_state state = raw             ? recording::raw_phase_state::recorded
                                             : raw_frames    ? recording::raw_phase_state::not_offered
                                             : m_raw_offered ? recording::raw_phase_state::not_selected
                                                             : recording::raw_phase_state::not_offered;
    std::shared_ptr<frame_recorder> recorder = frame_recorder::create(path, state, m_device, error);
    if (!recorder)
        return false;
    {
        std::lock_guard<std::mutex> guard(m_record_lock);
        m_recorder = std::move(recorder);
    }
    if (raw) {
        std::lock_guard<std::mutex> guard(m_command_lock);
        m_raw_wanted = true;
        // A pending command starts the pipeline itself (or stops it); only a
        // running pipeline needs a restart for the raw stream.
        if (m_pending_command == 0 && (m_tof_on || m_rgbd_on)) {
            m_pending_command = 9;
            m_command_waiting = true;
        }
    }
    DRIVER_TRACE(trace_info, QStringLiteral("Recording started [%1]").arg(path), "driver_operate::start_recording");
    return true;
}

bool driver_operate::is_recording()
{
    std::lock_guard<std::mutex> guard(m_record_lock);
    return m_recorder != nullptr;
}

driver_operate::record_state driver_operate::recording_state()
{
    std::shared_ptr<frame_recorder> recorder;
    {
        std::lock_guard<std::mutex> guard(m_record_lock);
        recorder = m_recorder;
    }
    record_state s;
    if (!recorder)
        return s;
    s.active = true;
    s.path = recorder->path();
    s.raw_frames = recorder->raw_frames();
    s.status = recorder->status();
    return s;
}

bool driver_operate::stop_recording(record_state& final_state, QString& error)
{
    std::shared_ptr<frame_recorder> recorder;
    {
        std::lock_guard<std::mutex> guard(m_record_lock);
        recorder.swap(m_recorder);
    }
    if (!recorder) {
        error = QStringLiteral("No recording is running.");
        return false;
    }
    if (recorder->raw_frames()) {
        std::lock_guard<std::mutex> guard(m_command_lock);
        m_raw_wanted = false;
        if (m_pending_command == 0 && (m_tof_on || m_rgbd_on) && !m_exit) {
            m_pending_command = 9;
            m_command_waiting = true;
        }
    }
    // The acquisition thread may still hold the recorder for the frame set
    // it is handing over; the writer takes nothing after close().
    const bool complete = recorder->close(error);
    final_state.active = false;
    final_state.path = recorder->path();
    final_state.raw_frames = recorder->raw_frames();
    final_state.status = recorder->status();
    DRIVER_TRACE(complete ? trace_info : trace_error,
                 QStringLiteral("Recording finished [%1] %2").arg(recorder->path(), error),
                 "driver_operate::stop_recording");
    return complete;
}

void driver_operate::configure_raw_stream()
{
    if (m_config == nullptr || !m_raw_offered)
        return;
    if (m_raw_wanted && (m_tof_on || m_rgbd_on) && m_depth_stream_w > 0)
        m_config->enable_stream(pvx3::PVX3_STREAM_RAW_PHASE, m_depth_stream_w, m_depth_stream_h);
    else
        m_config->disable_stream(pvx3::PVX3_STREAM_RAW_PHASE);
}

void driver_operate::record_frame_set(const pvx3::frameset& set)
{
    std::shared_ptr<frame_recorder> recorder;
    {
        std::lock_guard<std::mutex> guard(m_record_lock);
        recorder = m_recorder;
    }
    if (!recorder)
        return;
    using recording::bit;
    using recording::stream;
    recording::stream_mask streams = 0;
    if (m_rgbd_on) {
        streams = bit(stream::depth) | bit(stream::colour) | bit(stream::raw_phase);
    } else {
        if (m_tof_on)
            streams |= bit(stream::depth) | bit(stream::ir) | bit(stream::raw_phase);
        if (m_rgb_on)
            streams |= bit(stream::colour);
    }
    if (streams != 0)
        recorder->submit(set, streams, m_device, sensor());
}

void driver_operate::note_setting_change()
{
    std::lock_guard<std::mutex> guard(m_record_lock);
    if (m_recorder)
        m_recorder->settings_changed();
}
