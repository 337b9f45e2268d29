#include "log_store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <mutex>

namespace {

std::mutex g_lock;
log_store_paths g_paths;

void touch(const QString& path)
{
    if (QFile::exists(path))
        return;
    QFile file(path);
    // Opening read-write in text mode creates the file empty.
    if (file.open(QIODevice::ReadWrite | QIODevice::Text))
        file.close();
}

}  // namespace

void init_log(const QString& base)
{
    log_store_paths paths;
    paths.base_folder = base.isEmpty() ? QCoreApplication::applicationDirPath() : base;
    paths.date_text = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd"));
    paths.folder = QStringLiteral("%1/Log/%2").arg(paths.base_folder, paths.date_text);
    paths.info_file = QStringLiteral("%1/%2").arg(paths.folder, QStringLiteral("info.txt"));
    paths.warn_file = QStringLiteral("%1/%2").arg(paths.folder, QStringLiteral("warn.txt"));
    paths.error_file = QStringLiteral("%1/%2").arg(paths.folder, QStringLiteral("error.txt"));

    paths.ready = true;
    if (!QDir(paths.folder).exists())
        paths.ready = QDir().mkpath(paths.folder);

    // Attempted even when the folder is missing; failures stay silent.
    touch(paths.info_file);
    touch(paths.warn_file);
    touch(paths.error_file);

    std::lock_guard<std::mutex> guard(g_lock);
    g_paths = paths;
}

log_store_paths log_store()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_paths;
}
