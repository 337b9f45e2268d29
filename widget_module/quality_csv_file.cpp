#include "quality_csv_file.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {
csv_file_chooser& installed_chooser()
{
    static csv_file_chooser chooser;
    return chooser;
}
}  // namespace

QString choose_csv_file(QWidget* parent, const QString& title, const QString& start)
{
    QString file = installed_chooser()
                       ? installed_chooser()(parent, title, start)
                       : QFileDialog::getSaveFileName(parent, title, start,
                                                      QObject::tr("CSV files (*.csv)"));
    if (!file.isEmpty() && QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".csv");
    return file;
}

void set_csv_file_chooser(csv_file_chooser chooser) { installed_chooser() = std::move(chooser); }
