#pragma once

#include <QString>

// True when a save folder must be refused: it holds a CJK unified ideograph
// (U+4E00 to U+9FA5) or one of the full-width punctuation marks (and the plain
// double quote) that the camera's file writers cannot handle.
bool is_chinese_path(const QString& path);
