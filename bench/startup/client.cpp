// The client itself, started as it starts for a user, up to its main window's first paint.
#include "ShownSignal.h"

#include "app/Client.h"

#include <QApplication>

using namespace Quillmere;

int main(int argc, char *argv[])
{
    // As the program's own main() does, for its web engine.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    Client::prepareApplication();
    Client client(QStringLiteral("http://127.0.0.1:9/"));
    client.show();
    ShownSignal shown;
    client.mainWindow().window()->installEventFilter(&shown);
    return app.exec();
}
