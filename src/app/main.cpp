#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The research window's browser library is loaded on first use, long
    // after this; QtWebEngine needs the shared GL context made from the start.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QApplication::setApplicationVersion(QStringLiteral(
        QT_STRINGIFY(TARNVALE_VERSION_MAJOR) "." QT_STRINGIFY(TARNVALE_VERSION_MINOR) "." QT_STRINGIFY(
            TARNVALE_VERSION_PATCH)));
    frmMain window(QCoreApplication::applicationDirPath());
    window.show();
    return app.exec();
}
