#pragma once

#include <QByteArray>

// The main window's size, position and maximised state between runs, kept in
// the settings file of the save settings (group "window configuration").

// What store_window_geometry last wrote (empty on a first run).
QByteArray load_window_geometry();
// Writes the geometry (QWidget::saveGeometry) and syncs the file at once.
void store_window_geometry(const QByteArray& geometry);
