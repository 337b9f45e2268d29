#pragma once

// A recording made from the viewer's sample loop: frame sets handed over by
// the acquisition thread go to the recording library's writer (which copies
// them and writes on its own thread), together with the settings and the
// calibration in effect. Settings are read again when told they changed and
// whenever the stream sizes change, so switching modules, resolution or
// settings during a recording is recorded.

#include <recording/pvx3_capture.h>
#include <recording/types.h>
#include <recording/writer.h>

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace pvx3 {
class device;
class frameset;
class sensor;
}  // namespace pvx3

class frame_recorder {
public:
    // Creates the file; null with a message in words when it cannot be made.
    static std::unique_ptr<frame_recorder> create(const QString& path, recording::raw_phase_state raw,
                                                  pvx3::device* device, QString& error);

    // Acquisition thread: records the frames of `set` in `streams`.
    void submit(const pvx3::frameset& set, recording::stream_mask streams, pvx3::device* device,
                pvx3::sensor* sensor);
    // Any thread: the settings are read again before the next frame set.
    void settings_changed() { m_settings_dirty = true; }

    recording::writer_status status() const { return m_writer->status(); }
    QString path() const { return m_path; }
    bool raw_frames() const { return m_raw; }
    // Writes what is queued and closes the file; false with the reason when
    // the file is not complete.
    bool close(QString& error);

private:
    frame_recorder(std::unique_ptr<recording::writer> writer, const QString& path, bool raw);

    std::unique_ptr<recording::writer> m_writer;
    QString m_path;
    bool m_raw = false;
    std::atomic<bool> m_settings_dirty{true};
    // Acquisition thread only.
    int m_depth_w = -1, m_depth_h = -1, m_colour_w = -1, m_colour_h = -1;
    int m_since_settings = 0;
    std::optional<recording::calibration> m_calibration;
    recording::stream_lenses m_lenses;
};
