#include "app/Client.h"

#include <QApplication>

using namespace Quillmere;

// The program as users start it, against the server root given as the only argument, so that
// tests can drive it from outside against a reference site on any port.
int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    Client::prepareApplication();
    Client client(app.arguments().value(1));
    client.show();
    return app.exec();
}
