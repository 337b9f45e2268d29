#pragma once

// Fitting a view's bottom bar and info strip to the width the main window's
// grid gives the view, so that every shown button stays reachable and every
// value stays readable however narrow the view is.

#include <QString>
#include <initializer_list>
#include <utility>
#include <vector>

class QAbstractButton;
class QLabel;
class QLayout;
class QWidget;

// Right-aligns `strip` (a row of 30 px buttons in the bottom bar) in a bar of
// `bar_width` and lays its shown buttons out from the right in the given
// order, 20 px apart while there is room and closer when there is not.
// Hidden buttons take no room.
void view_pack_bar_buttons(QWidget* strip, std::initializer_list<QAbstractButton*> order,
                           int bar_width);

// Lets the fixed spacers between the buttons of a bar laid out by `layout`
// shrink, so that a narrow bar squeezes its gaps rather than pushing buttons
// out of sight.
void view_shrinkable_bar(QLayout* layout);

// Lays the info strip's labels out left to right, each as wide as its text
// (or as `reserve`, a text it may grow to, when that is wider), and sizes
// the strip to them. Pairs of caption and value stay together; when they do
// not fit in one line of `max_width` they wrap onto further lines and the
// strip grows upwards from its bottom edge.
void view_fit_info_strip(QWidget* strip, const std::vector<std::pair<QLabel*, QString>>& labels,
                         int max_width);
