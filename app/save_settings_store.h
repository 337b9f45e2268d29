#pragma once

#include "save_settings.h"

#include <QString>

// The save settings live in "configuration.ini" beside the executable, group
// "save configuration". Every call opens the file itself and every store is
// written to disk before it returns, so settings survive an immediate exit.
// GUI thread only.

save_settings load_save_settings();
void store_tof_settings(const save_settings& settings);   // frame, depth, pcl, ir, file_path
void store_rgb_settings(const save_settings& settings);   // RGBFrame, rgb_file_path
void store_rgbd_settings(const save_settings& settings);  // RGBDFrame, RGBD, RGBDPcl, rgbd_file_path
void store_file_path(const QString& path);
void store_rgb_file_path(const QString& path);
void store_rgbd_file_path(const QString& path);

// Path of the settings file: the application folder + "/configuration.ini"
// unless redirected (tests point it at a scratch file).
QString save_settings_file();
void set_save_settings_file(const QString& path);
