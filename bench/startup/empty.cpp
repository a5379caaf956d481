// The yardstick: an empty Qt Widgets window of the main window's size.
#include "ShownSignal.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(386, 287);
    ShownSignal shown;
    window.installEventFilter(&shown);
    window.show();
    return app.exec();
}
