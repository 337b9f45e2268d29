#pragma once

#include "app/trace.h"

// Trace record of this subsystem: source file zavire/driver_operate.
#define DRIVER_TRACE(level, text, function) \
    trace((level), (text), QStringLiteral("zavire/driver_operate"), QStringLiteral(function), __LINE__)
