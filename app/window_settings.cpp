#include "window_settings.h"

#include "save_settings_store.h"

#include <QSettings>

namespace {
const char* const kGeometryKey = "window configuration/geometry";
}

QByteArray load_window_geometry()
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    return s.value(QLatin1String(kGeometryKey)).toByteArray();
}

void store_window_geometry(const QByteArray& geometry)
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    s.setValue(QLatin1String(kGeometryKey), geometry);
    s.sync();
}
