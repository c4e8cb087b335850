#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // No shared GL context (Qt::AA_ShareOpenGLContexts): making it loads the
    // whole GL stack at every start, and only the research browser, loaded on
    // first use, could use it. The browser renders in software instead.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QApplication::setApplicationVersion(QStringLiteral(
        QT_STRINGIFY(TARNVALE_VERSION_MAJOR) "." QT_STRINGIFY(TARNVALE_VERSION_MINOR) "." QT_STRINGIFY(
            TARNVALE_VERSION_PATCH)));
    frmMain window(QCoreApplication::applicationDirPath());
    window.show();
    return app.exec();
}
