#pragma once

#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace playback {
class recording_camera;
}

// The timeline under the views while a recording plays: play/pause, one
// frame back and forward, a seek slider with the time and frame number,
// loop and speed. It drives the recording's timeline directly and follows
// its position.
class playback_bar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 40;

    explicit playback_bar(QWidget* parent = nullptr);

    // Follows and drives `camera` (null: none).
    void attach(std::shared_ptr<playback::recording_camera> camera);
    // Reads the position now (also done 25 times a second).
    void refresh();

    QPushButton* btn_play = nullptr;
    QPushButton* btn_back = nullptr;
    QPushButton* btn_forward = nullptr;
    QPushButton* btn_loop = nullptr;
    QSlider* slider_seek = nullptr;
    QComboBox* combo_speed = nullptr;
    QLabel* label_position = nullptr;

    // The speeds offered, as factors.
    static const QVector<double>& speeds();

public slots:
    void toggle_play();
    void step_back();
    void step_forward();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layout_parts();

    std::shared_ptr<playback::recording_camera> m_camera;
    QTimer* m_timer = nullptr;
    bool m_updating = false;
    // Unreadable frame sets not yet told, and when the user was told last.
    size_t m_failures_untold = 0;
    qint64 m_failures_told_ms = 0;
};
