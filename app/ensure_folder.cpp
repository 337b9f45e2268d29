#include "ensure_folder.h"

#include <QDir>

QString ensure_folder(const QString& path)
{
    if (path.isEmpty())
        return QString();
    if (QDir(path).exists())
        return path;

    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        // A single relative level: nothing above it to create first.
        return QDir().mkpath(path) ? path : QString();
    }

    const QString name = path.mid(slash + 1);
    QString parent_result;
    QString parent_dir;
    if (slash == 0) {
        // Directly under the file-system root: "/" always exists, and the
        // concatenation below must not produce "//name".
        parent_dir = QStringLiteral("/");
    } else {
        parent_result = ensure_folder(path.left(slash));
        // Without its parent the level cannot exist; mkpath on an empty base
        // would otherwise create the name relative to the working folder.
        if (parent_result.isEmpty())
            return QString();
        parent_dir = parent_result;
    }

    if (name.isEmpty())
        return parent_result + QLatin1Char('/');
    if (QDir(parent_dir).mkpath(name))
        return parent_result + QLatin1Char('/') + name;
    return QString();
}
