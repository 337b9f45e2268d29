#pragma once

#include <QString>
#include <functional>

class QWidget;

// Asks the user where to write a CSV log. Tests replace the system dialog
// with their own chooser; an empty answer means "cancelled".
using csv_file_chooser =
    std::function<QString(QWidget* parent, const QString& title, const QString& start)>;

// The chosen file, with ".csv" added when it has no suffix.
QString choose_csv_file(QWidget* parent, const QString& title, const QString& start);
// Installs chooser in place of the system dialog; an empty function restores it.
void set_csv_file_chooser(csv_file_chooser chooser);
