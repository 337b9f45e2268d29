#pragma once

#include <QStringList>

#include "parent_widget.h"
#include "ui_bubble.h"

class QTimer;

// The message bubble: a frameless window in the bottom-right corner of the
// right-most screen that shows [caption, text] for 4 s, then fades out.
class bubble_widget : public parent_widget, public Ui_bubble {
    Q_OBJECT
public:
    explicit bubble_widget(QWidget* parent = nullptr);

    static constexpr int stay_ms = 4000;
    static constexpr int fade_step_ms = 100;

public slots:
    void slot_show_message(QStringList content);
    void slot_stay_timeout();
    void slot_close_timeout();

public:
    // Read-only views for the tests and the window.
    double current_opacity() const { return opacity; }
    const QTimer* stay() const { return stay_timer; }
    const QTimer* fade() const { return fade_timer; }

private:
    // Grows the text label and the bubble upwards (its bottom edge stays)
    // until a long text fits; a short one gets the form's size back.
    void fit_text();

    QTimer* stay_timer = nullptr;
    int m_form_text_height = 0;
    int m_form_height = 0;
    int m_bottom = 0;
    QTimer* fade_timer = nullptr;
    double opacity = 1.0;
};

// Top-left position of a bubble of the given size on the available screen
// area with the greatest right edge (first one on a tie; right edges of 0 or
// less never count). Falls back to (0, 0) when no area qualifies.
QPoint bubble_position(const QList<QRect>& available_areas, const QSize& bubble_size);
