#include "whole_file.h"

#include <QFile>
#include <QSaveFile>

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

bool write_png_whole(const QString& path, const cv::Mat& image)
{
    std::vector<uchar> encoded;
    try {
        if (image.empty() || !cv::imencode(".png", image, encoded, {cv::IMWRITE_PNG_COMPRESSION, 0}))
            return false;
    } catch (const std::exception&) {
        return false;
    }
    // QSaveFile writes a temporary file and renames it on commit; a failed
    // write discards it.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 size = static_cast<qint64>(encoded.size());
    if (file.write(reinterpret_cast<const char*>(encoded.data()), size) != size) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

bool write_file_whole(const QString& path, const std::function<bool(const QString& temporary)>& write,
                      const std::function<bool(const QString& temporary)>& complete)
{
    const QString temporary = path + QStringLiteral(".part");
    bool ok = false;
    try {
        ok = write(temporary) && complete(temporary);
    } catch (const std::exception&) {
        ok = false;
    }
    // rename() replaces an older file of the same name in one step.
    if (ok && std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    QFile::remove(temporary);
    return false;
}

bool pcd_file_complete(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size <= 0)
        return false;
    const uchar* data = file.map(0, size);
    if (data == nullptr)
        return false;
    const char* p = reinterpret_cast<const char*>(data);
    const char* end = p + size;
    long long points = -1;
    // Header lines up to and including "DATA ...".
    for (;;) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (nl == nullptr)
            return false;
        if (end - p > 7 && std::strncmp(p, "POINTS ", 7) == 0)
            points = std::atoll(p + 7);
        const bool data_line = std::strncmp(p, "DATA", 4) == 0;
        p = nl + 1;
        if (data_line)
            break;
    }
    if (points < 0 || (size > 0 && data[size - 1] != '\n'))
        return false;
    long long lines = 0;
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (nl == nullptr)
            break;
        ++lines;
        p = nl + 1;
    }
    return lines == points;
}
