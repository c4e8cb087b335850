#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // No Qt::AA_ShareOpenGLContexts here: it would make the GL context shared
    // with the research browser now, loading the whole GL stack at every
    // start. The Symbol Menu makes it when the browser is first loaded.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QApplication::setApplicationVersion(QStringLiteral(
        QT_STRINGIFY(TARNVALE_VERSION_MAJOR) "." QT_STRINGIFY(TARNVALE_VERSION_MINOR) "." QT_STRINGIFY(
            TARNVALE_VERSION_PATCH)));
    frmMain window(QCoreApplication::applicationDirPath());
    window.show();
    return app.exec();
}
