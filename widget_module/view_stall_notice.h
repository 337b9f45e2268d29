#pragma once

#include <QElapsedTimer>
#include <QObject>

class QLabel;
class QWidget;

// Says so over a view's image area when the camera sends the view no frames:
// a frozen last picture would otherwise look like a still scene. Frames are
// counted as they arrive, paused view or not: the notice is about the camera.
class view_stall_notice : public QObject {
    Q_OBJECT
public:
    // `view` owns the notice; `area` is the part of it the notice is centred on.
    view_stall_notice(QWidget* view, QWidget* area);

    static constexpr int kStallMs = 2000;

    void frame_arrived();
    bool showing() const;
    QLabel* label() const { return m_label; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void place();

    QWidget* m_area;
    QLabel* m_label;
    QElapsedTimer m_since;  // since the last frame, or since the view was made
    bool m_had_frame = false;
    int m_timer_id = 0;
};
