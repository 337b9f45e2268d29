#pragma once

#include <QString>

// Creates `path` level by level (parents first) and returns the path of the
// existing folder, or an empty string when a level could not be created.
// A path ending in "/" yields the folder before it followed by "/".
QString ensure_folder(const QString& path);
