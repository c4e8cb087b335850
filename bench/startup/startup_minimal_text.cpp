// A second yardstick: the empty QMainWindow with one line of text, so the
// font set-up that any window showing text pays is part of it.
#include "ShownProbe.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QLabel(QStringLiteral("Tarnvale"), &window));
    window.resize(712, 450);
    ShownProbe probe(&window);
    window.show();
    return app.exec();
}
