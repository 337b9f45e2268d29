#pragma once

#include <QString>

// Trace levels of the program's trace records.
enum trace_level : int {
    trace_info = 0,
    trace_warn = 1,
    trace_error = 2,
};

// Accepts a trace record (level, text, source file, function, line). Records
// are discarded: the call is cheap and may be made from any thread.
void trace(int level, const QString& text, const QString& file, const QString& function, int line);
