#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

class QCommandLineParser;
class QCoreApplication;

// The command line of Tarnvale's programs: --help and --version, answered on
// standard output without opening a window.
namespace CommandLine {

// "major.minor.patch" of this build.
QString programVersion();

// Names the running program, with this build's version, for --version,
// the settings store and the standard folders.
void nameProgram(const QString &name);

// Gives the parser the program's description, --help and --version.
void addStandardOptions(QCommandLineParser &parser, const QString &description);

// True when the arguments ask for --help or --version. The windowed program
// answers those before it connects to a display (see answerText).
bool asksForText(int argc, char *argv[]);

// Prints the help or version text for name, listing the program's own
// options too, and returns the exit status.
int answerText(int argc, char *argv[], const QString &name, const QString &description,
               const QList<QCommandLineOption> &options = {});

// Parses the arguments of a program that takes no other arguments: an unknown
// option or a stray argument prints why and ends the program with status 2
// before any window opens.
void refuseOtherArguments(const QCoreApplication &app, const QString &description);

} // namespace CommandLine
