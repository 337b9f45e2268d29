#pragma once

#include <QChar>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QAbstractButton;
class QLabel;
class QWidget;

// The controls each image view (depth, RGB, IR) has in its bottom bar and
// info strip: pause, info strip with time stamp, resolution and frame rate,
// and expand. It works on the view's own form widgets, so the forms and their
// object names stay as they are; what a pause or an expand does to the view
// is left to the view, which hears of the user's toggles by signal.
class view_control_bar : public QObject {
    Q_OBJECT

public:
    struct parts {
        QAbstractButton* start;  // pause / start
        QAbstractButton* info;   // shows the strip
        QAbstractButton* expand;
        QWidget* strip;
        QLabel* time_caption;
        QLabel* time;
        QLabel* resolution_caption;
        QLabel* resolution;
        QLabel* fps_caption;
        QLabel* fps;
    };

    // The views' forms name these widgets alike.
    template <class Form>
    static parts parts_of(Form* form)
    {
        return {form->btn_start, form->btn_info, form->btn_expend,
                form->widget_time, form->label_time, form->label_time_content,
                form->label_frame, form->label_frame_content, form->label_fps,
                form->label_fps_content};
    }

    // `context` is the form's translation context; `times` joins width and
    // height in the resolution text. The buttons' clicks are wired here.
    view_control_bar(const parts& widgets, const char* context, QChar times, QObject* parent);

    bool paused() const { return m_paused; }
    bool expanded() const { return m_expanded; }
    // The one-second frame-rate tick is running.
    bool ticking() const { return m_tick.isActive(); }

    // Show a state the view restores or is told; unlike the toggles they
    // emit nothing.
    void set_paused(bool paused);
    void set_expanded(bool expanded);

    // What the buttons do; the views' own button slots come here too.
    void toggle_pause();
    void toggle_info();
    void toggle_expand();

    // Hides the strip and stops its tick (a view's page switch).
    void hide_info();
    // Runs the frame-rate tick while the strip is still hidden, so that it
    // opens on a recent rate.
    void tick_from_start();

    // A frame has arrived (stamped even while paused) and one is drawn
    // (counted for the frame rate).
    void stamp_time();
    void count_frame();
    void set_resolution(int width, int height);

    // Lays the strip's labels out for a view `view_width` wide.
    void fit_strip(int view_width);

signals:
    void sig_pause_toggled(bool paused);
    void sig_expand_toggled(bool expanded);

private:
    void tick();
    void start_ticking();

    parts m_parts;
    const char* m_context;
    QChar m_times;
    bool m_paused = false;
    bool m_expanded = false;
    int m_frames = 0;  // drawn since the last tick
    QTimer m_tick;
    QElapsedTimer m_since_tick;
};

// Frames per second shown for `frames` drawn in `elapsed_ms`, rounded to a
// whole number; a tick that comes late does not inflate the rate.
int view_frame_rate(int frames, qint64 elapsed_ms);
