#pragma once

#include <QIcon>
#include <QString>
#include <initializer_list>

class QLabel;
class QWidget;

// Small pieces shared by the depth, RGB and IR views.

// The one icon of a compiled-in image file (a resource path such as
// ":/zavire/image/save.png"), shared by the whole program. GUI thread only.
QIcon shared_icon(const char* path);

// shared_icon() from the compiled-in image folder ":/zavire/image/".
QIcon view_icon(const char* name);

// Info-strip time stamp: seconds since 1970-01-01 UTC followed by ";".
QString view_time_stamp_text();

// Arial at 12 pixels, the font of the measurement box and info strip.
void view_set_small_font(std::initializer_list<QLabel*> labels);

// Lays out an RGB or IR view over its parent's whole size: title on top,
// image area below it, bottom bar at the bottom, info strip just above it.
void view_fit_image_view(QWidget* view, QWidget* title, QWidget* image_area, QWidget* bar,
                         QWidget* strip);
