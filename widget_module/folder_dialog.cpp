#include "folder_dialog.h"

#include <QFileDialog>

namespace {
folder_chooser& installed_chooser()
{
    static folder_chooser chooser;
    return chooser;
}
}  // namespace

QString choose_folder(QWidget* parent, const QString& title, const QString& start)
{
    if (installed_chooser())
        return installed_chooser()(parent, title, start);
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

void set_folder_chooser(folder_chooser chooser)
{
    installed_chooser() = std::move(chooser);
}
