#include "base/InstallLayout.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

// Paths from the installed bin folder to the private and data folders; the
// build passes the ones of its install layout.
#ifndef TARNVALE_PRIVATE_FROM_BIN
#define TARNVALE_PRIVATE_FROM_BIN "../lib/tarnvale"
#endif
#ifndef TARNVALE_DATA_FROM_BIN
#define TARNVALE_DATA_FROM_BIN "../share/tarnvale"
#endif

namespace InstallLayout {

namespace {

QString installedFolder(const QString &programDir, const char *fromBin)
{
    return QDir::cleanPath(QDir(programDir).filePath(QString::fromLatin1(fromBin)));
}

bool holdsAnyOf(const QString &directory, const QStringList &fileNames)
{
    const QDir dir(directory);
    return std::any_of(fileNames.cbegin(), fileNames.cend(),
                       [&dir](const QString &name) { return QFileInfo::exists(dir.filePath(name)); });
}

} // namespace

QString privateDirectory(const QString &programDir)
{
    const QString installed = installedFolder(programDir, TARNVALE_PRIVATE_FROM_BIN);
    return QFileInfo(installed).isDir() ? installed : programDir;
}

QString dataDirectory(const QString &programDir)
{
    const QString installed = installedFolder(programDir, TARNVALE_DATA_FROM_BIN);
    return QFileInfo(installed).isDir() ? installed : programDir;
}

bool folderWritable(const QString &directory)
{
    const QFileInfo info(directory);
    return info.isDir() && info.isWritable() && (info.permissions() & QFileDevice::WriteOwner);
}

MarketLocation marketLocation(const QString &programDir, const QString &userDataDir, const QStringList &marketFileNames)
{
    const QString seeds = installedFolder(programDir, TARNVALE_DATA_FROM_BIN);
    const bool hasSeeds = QFileInfo(seeds).isDir();
    MarketLocation where;
    where.seedDirectory = hasSeeds ? seeds : QString();
    // An installed tree's bin folder is shared with other programs even where
    // the user may write to it (root, or a prefix in the home folder); the
    // market files go there only when they already lie there.
    where.installed = !folderWritable(programDir) || (hasSeeds && !holdsAnyOf(programDir, marketFileNames));
    where.directory = where.installed ? userDataDir : programDir;
    return where;
}

} // namespace InstallLayout
