#include "recording_dialog.h"

#include <QFileDialog>

namespace {
std::function<QString()>& chooser()
{
    static std::function<QString()> f;
    return f;
}
}  // namespace

void set_recording_chooser(std::function<QString()> f)
{
    chooser() = std::move(f);
}

QString choose_recording_file(QWidget* parent)
{
    if (chooser())
        return chooser()();
    return QFileDialog::getOpenFileName(parent, QObject::tr("Open recording"), QString(),
                                        QObject::tr("Recordings (*.bag);;All files (*)"));
}
