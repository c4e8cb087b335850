// Tarnvale's help program: the user guide in a window of its own. It takes
// no arguments and reports nothing back to the program that started it.

#include <QApplication>
#include <QTextBrowser>
#include <QUrl>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnvale Help"));
    QApplication::setOrganizationName(QStringLiteral("Tarnvale"));

    QTextBrowser guide;
    guide.setObjectName(QStringLiteral("guide"));
    guide.setWindowTitle(QStringLiteral("Tarnvale Help"));
    // Links to web sites open nowhere: the guide only links within itself.
    guide.setOpenExternalLinks(false);
    guide.setOpenLinks(true);
    guide.setSource(QUrl(QStringLiteral("qrc:/help/guide.html")));
    guide.resize(760, 600);
    guide.show();
    return app.exec();
}
