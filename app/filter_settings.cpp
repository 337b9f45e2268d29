#include "filter_settings.h"

#include "save_settings_store.h"

#include <QSettings>

namespace {
const char* const kModeKey = "filter configuration/mode";
const char* const kStandard = "standard";
const char* const kNoiseAware = "noise-aware";
}

filter_mode_choice load_filter_mode()
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    return s.value(QLatin1String(kModeKey)).toString() == QLatin1String(kNoiseAware)
               ? filter_mode_choice::noise_aware
               : filter_mode_choice::standard;
}

void store_filter_mode(filter_mode_choice mode)
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    s.setValue(QLatin1String(kModeKey),
               QLatin1String(mode == filter_mode_choice::noise_aware ? kNoiseAware : kStandard));
    s.sync();
}
