#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Pixel arithmetic shared by the depth, RGB and IR views. All integer
// results truncate, so on-screen positions are reproducible to the pixel.

// Largest rectangle of the image's aspect ratio inside `area`, centred, then
// shifted down by `top_offset` (the title bar above the image area).
// Empty when either size is empty.
QRect view_letterbox(const QSize& area, const QSize& image, int top_offset);

// Image pixel under `point` (image-area coordinates). The mapping stretches
// the image over the whole area, ignoring any letterbox margins. Returns
// false (and leaves `pixel` alone) when the area is empty.
bool view_area_to_image(const QPoint& point, const QSize& area, const QSize& image,
                        QPoint* pixel);

// Inverse of view_area_to_image: the image-area position of an image pixel.
// Returns false when the image is empty.
bool view_image_to_area(const QPoint& pixel, const QSize& area, const QSize& image,
                        QPoint* point);

// Top-left corner of the measurement box for a click at `click` (image-area
// coordinates). The box opens to the right of and below the cursor, and
// flips left or up when it would run past the right edge of the image area
// or into the bottom bar (`usable_height` = area height - bottom bar height).
QPoint view_place_box(const QPoint& click, const QSize& box, int area_width,
                      int usable_height);
