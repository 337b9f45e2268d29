#pragma once

#include <QString>
#include <functional>

class QWidget;

// Asks for a recording file to open; empty when the user cancels. Tests
// replace the dialog with a chooser of their own (an empty function restores
// the dialog).
QString choose_recording_file(QWidget* parent);
void set_recording_chooser(std::function<QString()> chooser);
