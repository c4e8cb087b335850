// The yardstick: a Qt program that shows an empty QMainWindow and ends.
#include "ShownProbe.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(712, 450);
    ShownProbe probe(&window);
    window.show();
    return app.exec();
}
