#include "is_chinese_path.h"

#include <QRegularExpression>

bool is_chinese_path(const QString& path)
{
    static const QRegularExpression ideographs(QStringLiteral("[\\x{4E00}-\\x{9FA5}]+"));
    if (path.contains(ideographs))
        return true;
    static const char16_t refused[] = {
        0x0022,
        0x300B,
        0x300A,
        0xFFE5,
        0xFF09,
        0xFF08,
        0xFF0C,
        0x3002,
        0xFF1F,
        0xFF1B,
        0x201C,
        0x3001,
        0x2026,
        0x3011,
        0x3010,
        0x00B7,
    };
    for (char16_t c : refused) {
        if (path.contains(QChar(c)))
            return true;
    }
    return false;
}
