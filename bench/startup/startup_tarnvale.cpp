// The program's own start-up, ending as soon as the main window is shown.
#include "ShownProbe.h"

#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale"));
    frmMain window(QCoreApplication::applicationDirPath());
    ShownProbe probe(&window);
    window.show();
    return app.exec();
}
