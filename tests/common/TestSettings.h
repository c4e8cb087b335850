#pragma once

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

// Points the per-user settings store at a temporary folder for the life of
// the test, so tests never read or write the user's real settings.
class TestSettings
{
public:
    TestSettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
