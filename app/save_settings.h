#pragma once

#include <QString>

// The save configuration as the user interface fills it before each save.
// Field names are the keys of the settings file.
struct save_settings {
    int frame = 0;           // ToF frames to save
    bool depth = false;      // ToF save writes the depth image
    bool pcl = true;         // ToF save writes the point cloud
    bool ir = false;         // ToF save writes the IR image
    QString file_path;       // folder of ToF saves
    int RGBFrame = 0;        // colour frames to save
    QString rgb_file_path;   // folder of colour saves
    int RGBDFrame = 0;       // RGBD frames to save
    bool RGBD = false;       // RGBD save writes the registered depth image
    bool RGBDPcl = false;    // RGBD save writes the point cloud
    QString rgbd_file_path;  // folder of RGBD saves
};
