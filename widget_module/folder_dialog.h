#pragma once

#include <QString>
#include <functional>

class QWidget;

// Asks the user for a folder (directories only). Tests replace the system
// dialog with their own chooser; an empty answer means "cancelled".
using folder_chooser = std::function<QString(QWidget* parent, const QString& title,
                                             const QString& start)>;

QString choose_folder(QWidget* parent, const QString& title, const QString& start);
// Installs chooser in place of the system dialog; an empty function restores it.
void set_folder_chooser(folder_chooser chooser);
