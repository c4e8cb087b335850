#include "base/CommandLine.h"
#include "app/ScreenRunner.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const QString description = QStringLiteral("Tarnvale, a desktop stock screener.");
    // Answered without a display, before any window system is touched.
    if (CommandLine::asksForText(argc, argv))
        return CommandLine::answerText(argc, argv, QStringLiteral("tarnvale"), description, ScreenRun::options());
    // The screens run from a timer or cron, where there may be no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (ScreenRun::wanted(arguments))
        return ScreenRunner::run(argc, argv);
    // No Qt::AA_ShareOpenGLContexts here: it would make the GL context shared
    // with the research browser now, loading the whole GL stack at every
    // start. The Symbol Menu makes it when the browser is first loaded.
    QApplication app(argc, argv);
    CommandLine::nameProgram(QStringLiteral("Tarnvale"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarnvale.Tarnvale")); // the installed menu entry
    CommandLine::refuseOtherArguments(app, description);
    frmMain window(QCoreApplication::applicationDirPath());
    window.show();
    return app.exec();
}
