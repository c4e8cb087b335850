#pragma once

#include <QString>
#include <QStringList>

// Where the program finds its files, always relative to its own executable so
// that the same tree works from the build folder, /usr, /usr/local, /opt or
// any other prefix.
//
// In the build folder (and any copy of it) everything lies beside the
// executable: the market files, the browser library, help/ and quotes/. An
// installed tree keeps the executables in <prefix>/bin, the browser library
// and the help program in <prefix>/lib/tarnvale and the seed market files and
// sample quotes in <prefix>/share/tarnvale.
namespace InstallLayout {

// <prefix>/lib/tarnvale when the program runs from an installed tree,
// otherwise the program's own folder.
QString privateDirectory(const QString &programDir);
// <prefix>/share/tarnvale when the program runs from an installed tree,
// otherwise the program's own folder.
QString dataDirectory(const QString &programDir);

// True when the running user may create and replace files in the folder. Like
// the market file writer, a folder whose owner-write mark is cleared counts as
// read-only even for a user the system would let write (root).
bool folderWritable(const QString &directory);

struct MarketLocation
{
    QString directory;     // where the market files are read and written
    QString seedDirectory; // installed seeds for a market file not yet there; empty when none
    bool installed = false;
};

// Portable use: a writable program folder holds the market files, as the
// build folder does. Installed use: when the program's folder is read-only,
// or is an installed tree's shared bin folder that holds no market file of its
// own, the market files live in userDataDir (the per-user application data
// folder), each copied from its installed seed on first use. marketFileNames
// are the names a market file may have.
MarketLocation marketLocation(const QString &programDir, const QString &userDataDir,
                              const QStringList &marketFileNames);

} // namespace InstallLayout
