// The program's own start-up, ending as soon as the main window is shown.
#include "app/frmMain.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // as the program does
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    frmMain window(QCoreApplication::applicationDirPath());
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
