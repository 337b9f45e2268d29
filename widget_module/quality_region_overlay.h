#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>
#include <optional>

#include "quality/region.h"

Q_DECLARE_METATYPE(quality::region)

// Region of interest drawn over an image view. Lies over the image area,
// transparent, and takes only what is its own: a left-button drag with
// Shift held draws a rectangle (a plain click stays the view's measurement
// click and passes through to the widget below), a click on the small ✕ in
// the rectangle's corner or Escape clears it. The region is kept in image
// pixels: it stays on the same part of the scene when the image size
// changes (scaled) and when the image is flipped (mirrored).
class quality_region_overlay : public QWidget {
    Q_OBJECT

public:
    explicit quality_region_overlay(QWidget* parent = nullptr);

    // The image's size in pixels and the rectangle it is drawn into, in this
    // widget's coordinates. A new image size scales the region.
    void set_image_geometry(const QSize& image_size, const QRect& drawn);
    QSize image_size() const { return m_image; }
    // The image's current flips. A change mirrors the region.
    void set_flips(bool vertical, bool horizontal);

    std::optional<quality::region> region() const { return m_region; }
    // Sets the region (in the pixels of its own image size) as if drawn.
    void set_region(const quality::region& r);

    // Where the region and its clear button are drawn; empty without region.
    QRect region_rect() const;
    QRect clear_button_rect() const;
    // Image pixel under a widget position (clamped into the image).
    QPoint pixel_at(const QPoint& pos) const;

public slots:
    void clear_region();

signals:
    void sig_region_changed(const quality::region& r);
    void sig_region_cleared();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect pixels_to_widget(int x, int y, int w, int h) const;
    void commit(const quality::region& r);

    QSize m_image;
    QRect m_drawn;
    bool m_flip_vertical = false;
    bool m_flip_horizontal = false;
    // The region as drawn (or last mirrored) on the image size of its time;
    // every resolution change scales from it, so going back and forth does
    // not wear the rectangle down by rounding.
    std::optional<quality::region> m_anchor;
    std::optional<quality::region> m_region;  // in pixels of m_image
    bool m_dragging = false;
    QPoint m_drag_from;  // widget coordinates
    QPoint m_drag_to;
};
