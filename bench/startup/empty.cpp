// The yardstick: an empty Qt Widgets window of the main window's size; with --share-opengl it
// asks for the shared OpenGL contexts the client needs for its web engine.
#include "ShownSignal.h"

#include <QApplication>
#include <QWidget>

#include <cstring>

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--share-opengl") == 0)
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(386, 287);
    ShownSignal shown;
    window.installEventFilter(&shown);
    window.show();
    return app.exec();
}
