#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    QApplication::setApplicationVersion(QStringLiteral(
        QT_STRINGIFY(TARNVALE_VERSION_MAJOR) "." QT_STRINGIFY(TARNVALE_VERSION_MINOR) "." QT_STRINGIFY(
            TARNVALE_VERSION_PATCH)));
    frmMain window(QCoreApplication::applicationDirPath());
    window.show();
    return app.exec();
}
