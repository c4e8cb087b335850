#include "base/UserSettings.h"

#include "base/SettingsTable.h"

QSettings userSettings()
{
    const QString app = QString::fromLatin1(kSettingsApplication);
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, app, app);
}
