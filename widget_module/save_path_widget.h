#pragma once

#include <QWidget>

class QCheckBox;

#include "ui_save_image.h"

struct save_settings;

// ToF save settings in the main window's left panel: frame count, the kinds
// of file and the folder. Checked and stored before every ToF save.
class save_path_widget : public QWidget, public Ui_save_image {
    Q_OBJECT
public:
    explicit save_path_widget(QWidget* parent = nullptr);

    // Checks the fields; on success fills the ToF group of out and returns
    // true, otherwise posts the reason and returns false.
    bool validate(save_settings& out) const;
    void set_rgbd_lock(bool locked);

    // "Raw frames": recordings also take the camera's raw phase frames.
    QCheckBox* check_raw = nullptr;

public slots:
    void btn_select_clicked();
};
