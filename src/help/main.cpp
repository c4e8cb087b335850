// Tarnvale's help program: the user guide in a window of its own. It takes
// no arguments and reports nothing back to the program that started it.

#include "about/HelpWindow.h"

#include <QApplication>
#include <QUrl>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale Help"));
    QApplication::setOrganizationName(QStringLiteral("Tarnvale"));

    HelpWindow window(QUrl(QStringLiteral("qrc:/help/guide.html")));
    window.show();
    return app.exec();
}
