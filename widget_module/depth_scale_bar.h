#pragma once

#include <QImage>
#include <QWidget>
#include <vector>

// The depth colour bar with a scale: the colour map from the near limit
// (bottom) to the far limit (top) of the current distance range, with tick
// marks and millimetre labels at round values, redrawn whenever the range
// changes. Drawn on a translucent dark plate so it reads over the image.
class depth_scale_bar : public QWidget {
    Q_OBJECT

public:
    explicit depth_scale_bar(QWidget* parent = nullptr);

    // The colour map as an image of one column (or more), far end in the top
    // row, as the camera's colour table is kept for the views.
    void set_colour_bar(const QImage& bar);
    int near_mm() const { return m_near; }
    int far_mm() const { return m_far; }
    const std::vector<int>& ticks() const { return m_ticks; }

    // Where the colour bar and a value's tick are drawn (widget coordinates).
    QRect bar_rect() const;
    int tick_y(int mm) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    // Near and far limit in millimetres (either order).
    void set_range(int near_mm, int far_mm);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_bar;
    int m_near = 300;
    int m_far = 6000;
    std::vector<int> m_ticks;
};
