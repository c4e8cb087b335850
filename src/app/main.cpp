#include "app/CommandLine.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const QString description = QStringLiteral("Tarnvale, a desktop stock screener.");
    // Answered without a display, before any window system is touched.
    if (CommandLine::asksForText(argc, argv))
        return CommandLine::answerText(argc, argv, QStringLiteral("tarnvale"), description);
    // The research window's browser library is loaded on first use, long
    // after this; QtWebEngine needs the shared GL context made from the start.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QApplication::setApplicationVersion(CommandLine::programVersion());
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarnvale.Tarnvale")); // the installed menu entry
    CommandLine::refuseOtherArguments(app, description);
    frmMain window(QCoreApplication::applicationDirPath());
    window.show();
    return app.exec();
}
