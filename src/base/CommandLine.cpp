#include "base/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdlib>

namespace CommandLine {

QString programVersion()
{
    return QStringLiteral("%1.%2.%3")
        .arg(TARNVALE_VERSION_MAJOR)
        .arg(TARNVALE_VERSION_MINOR)
        .arg(TARNVALE_VERSION_PATCH);
}

void nameProgram(const QString &name)
{
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(programVersion());
}

void addStandardOptions(QCommandLineParser &parser, const QString &description)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
}

bool asksForText(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "-?" || arg == "--help" || arg == "--help-all" || arg == "-v" || arg == "--version")
            return true;
    }
    return false;
}

int answerText(int argc, char *argv[], const QString &name, const QString &description,
               const QList<QCommandLineOption> &options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(programVersion());
    QCommandLineParser parser;
    addStandardOptions(parser, description);
    parser.addOptions(options);
    parser.process(app); // prints the text and ends the program
    return 0;
}

void refuseOtherArguments(const QCoreApplication &app, const QString &description)
{
    QCommandLineParser parser;
    addStandardOptions(parser, description);
    parser.process(app); // an unknown option ends the program with a message
    if (!parser.positionalArguments().isEmpty()) {
        QTextStream(stderr) << QCoreApplication::applicationName() << ": unexpected argument \""
                            << parser.positionalArguments().constFirst() << "\"\n";
        std::exit(2);
    }
}

} // namespace CommandLine
