#include "module_naming.h"

QString module_display_name(const QString& raw_name, bool with_vendor)
{
    const QString u = raw_name.toUpper();
    QString model = QStringLiteral("QZ30");
    if (!u.contains(QLatin1String("QZ30")) && u.contains(QLatin1String("QZ20")))
        model = QStringLiteral("QZ20");
    QString name = with_vendor ? QStringLiteral("Parvolux") + ' ' + model : model;
    if (u.contains(QLatin1String("SINGLE")))
        name += QStringLiteral(" Single");
    else if (u.contains(QLatin1String("DUAL")))
        name += QStringLiteral(" Dual");
    return name;
}

QString firmware_display_text(const QString& display_name, const QString& raw_name,
                              const QString& version)
{
    if (!display_name.contains(QLatin1String("QZ20")))
        return version;
    if (raw_name.contains(QLatin1String("DUAL")))
        return QStringLiteral("KM-V1-") + version;
    return QStringLiteral("KM-V2-") + version;
}

QString firmware_mismatch_message(const QString& version, const QString& recommended)
{
    if (version.contains(recommended))
        return QString();
    return QStringLiteral("Firmware version is not match.") + '(' + version + '/' + recommended + ')';
}
