#include "about/AboutInfo.h"

#include "base/InstallLayout.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace AboutInfo {

QString versionLine(int major, int minor, int patch)
{
    return QStringLiteral("Version: %1.%2.%3").arg(major).arg(minor).arg(patch);
}

QString programVersionLine()
{
    return versionLine(TARNVALE_VERSION_MAJOR, TARNVALE_VERSION_MINOR, TARNVALE_VERSION_PATCH);
}

QString helpProgramPath(const QString &programDir)
{
    const QString base = InstallLayout::privateDirectory(programDir);
#ifdef Q_OS_WIN
    return base + QStringLiteral("/help/tarnvalehelp.exe");
#else
    return base + QStringLiteral("/help/tarnvalehelp");
#endif
}

bool startHelpProgram(const QString &programDir, QString *error)
{
    const QString path = helpProgramPath(programDir);
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.isFile()) {
        if (error)
            *error = QStringLiteral("The help program \"%1\" is missing.").arg(shown);
        return false;
    }
    // Started from its own folder so that it finds whatever lies beside it.
    if (!QProcess::startDetached(path, QStringList(), info.absolutePath())) {
        if (error)
            *error = QStringLiteral("The help program \"%1\" could not be started.").arg(shown);
        return false;
    }
    return true;
}

} // namespace AboutInfo
