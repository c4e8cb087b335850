#pragma once

#include <QString>

// The about box's version line and the launcher of the separate help
// program, which lies in "help" under the program directory (or under the
// private folder of an installed tree).
namespace AboutInfo {

// "Version: " + major.minor.patch, each a plain decimal number.
QString versionLine(int major, int minor, int patch);
// The version line of this build.
QString programVersionLine();

// "help/tarnvalehelp" (".exe" on Windows) beside the program, or in the
// installed tree's private folder (InstallLayout).
QString helpProgramPath(const QString &programDir);

// Starts a new, independent copy of the help program with no arguments and
// does not wait for it. False with a message naming the path when the program
// is missing or cannot be started.
bool startHelpProgram(const QString &programDir, QString *error);

} // namespace AboutInfo
