#pragma once

// Saved files appear whole or not at all: each is written under a temporary
// name beside its real one and renamed once it is complete, so a full disk or
// a failed write never leaves a truncated or empty file under the real name.

#include <QString>

#include <opencv2/core.hpp>

#include <functional>

// Encodes `image` as an uncompressed PNG (8-bit grey, or B,G,R) and writes it
// to `path`. False when nothing was written.
bool write_png_whole(const QString& path, const cv::Mat& image);

// Lets `write` fill the temporary file it is given, then checks it with
// `complete` and renames it to `path`. The temporary file is removed when any
// step fails. Never throws.
bool write_file_whole(const QString& path, const std::function<bool(const QString& temporary)>& write,
                      const std::function<bool(const QString& temporary)>& complete);

// True when the ASCII PCD file at `path` holds as many point lines as its
// POINTS header announces, each ended by a newline: a writer that ran out of
// disk leaves fewer.
bool pcd_file_complete(const QString& path);
