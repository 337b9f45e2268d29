#include "save_settings_store.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

QString g_override;

// Booleans are stored as 1/0 and read back through their integer value, so a
// hand-written "true" reads as false.
int flag(bool b)
{
    return b ? 1 : 0;
}

bool read_flag(const QSettings& s, const char* key)
{
    return s.value(QLatin1String(key)).toInt() != 0;
}

// Writing happens in the destructor's sync at the latest; syncing here makes
// the file current before the caller goes on (the process may end abruptly).
void finish(QSettings& s)
{
    s.sync();
}

}  // namespace

QString save_settings_file()
{
    if (!g_override.isEmpty())
        return g_override;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/configuration.ini");
}

void set_save_settings_file(const QString& path)
{
    g_override = path;
}

save_settings load_save_settings()
{
    save_settings r;
    QSettings s(save_settings_file(), QSettings::IniFormat);
    r.frame = s.value(QStringLiteral("save configuration/frame")).toInt();
    r.depth = read_flag(s, "save configuration/depth");
    r.pcl = read_flag(s, "save configuration/pcl");
    r.ir = read_flag(s, "save configuration/ir");
    r.file_path = s.value(QStringLiteral("save configuration/file_path")).toString();
    r.RGBFrame = s.value(QStringLiteral("save configuration/RGBFrame")).toInt();
    r.rgb_file_path = s.value(QStringLiteral("save configuration/rgb_file_path")).toString();
    r.RGBDFrame = s.value(QStringLiteral("save configuration/RGBDFrame")).toInt();
    r.RGBD = read_flag(s, "save configuration/RGBD");
    r.RGBDPcl = read_flag(s, "save configuration/RGBDPcl");
    r.rgbd_file_path = s.value(QStringLiteral("save configuration/rgbd_file_path")).toString();
    return r;
}

void store_tof_settings(const save_settings& settings)
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    s.setValue(QStringLiteral("save configuration/frame"), settings.frame);
    s.setValue(QStringLiteral("save configuration/depth"), flag(settings.depth));
    s.setValue(QStringLiteral("save configuration/pcl"), flag(settings.pcl));
    s.setValue(QStringLiteral("save configuration/ir"), flag(settings.ir));
    s.setValue(QStringLiteral("save configuration/file_path"), settings.file_path);
    finish(s);
}

void store_rgb_settings(const save_settings& settings)
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    s.setValue(QStringLiteral("save configuration/RGBFrame"), settings.RGBFrame);
    s.setValue(QStringLiteral("save configuration/rgb_file_path"), settings.rgb_file_path);
    finish(s);
}

void store_rgbd_settings(const save_settings& settings)
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    s.setValue(QStringLiteral("save configuration/RGBDFrame"), settings.RGBDFrame);
    s.setValue(QStringLiteral("save configuration/RGBD"), flag(settings.RGBD));
    s.setValue(QStringLiteral("save configuration/RGBDPcl"), flag(settings.RGBDPcl));
    s.setValue(QStringLiteral("save configuration/rgbd_file_path"), settings.rgbd_file_path);
    finish(s);
}

void store_file_path(const QString& path)
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    s.setValue(QStringLiteral("save configuration/file_path"), path);
    finish(s);
}

void store_rgb_file_path(const QString& path)
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    s.setValue(QStringLiteral("save configuration/rgb_file_path"), path);
    finish(s);
}

void store_rgbd_file_path(const QString& path)
{
    QSettings s(save_settings_file(), QSettings::IniFormat);
    s.setValue(QStringLiteral("save configuration/rgbd_file_path"), path);
    finish(s);
}
