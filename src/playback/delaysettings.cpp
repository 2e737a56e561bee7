#include "playback/delaysettings.h"

#include "playback/audiodelay.h"

#include <QSettings>
#include <QStandardPaths>

namespace {

// One key per output; "/" would open a settings group, so it is written as "|".
QString keyOf(const QString& device)
{
    QString name = device;
    name.replace(QLatin1Char('/'), QLatin1Char('|')).replace(QLatin1Char('\\'), QLatin1Char('|'));
    return QStringLiteral("AudioDelay/") + (name.isEmpty() ? QStringLiteral("default") : name);
}

} // namespace

QString DelaySettings::settingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/folivant/settings.conf");
}

int DelaySettings::delayFor(const QString& device) const
{
    const QSettings settings(settingsFile(), QSettings::IniFormat);
    bool ok = false;
    const int ms = settings.value(keyOf(device)).toInt(&ok);
    return ok ? audiodelay::clampMs(ms) : 0;
}

void DelaySettings::setDelayFor(const QString& device, int ms)
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.setValue(keyOf(device), audiodelay::clampMs(ms));
}
