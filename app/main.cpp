#include "app/Client.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The web engine, loaded when the first page opens, shares its contexts with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    Quillmere::Client::prepareApplication();
    Quillmere::Client client(QStringLiteral(QUILLMERE_SERVER_ROOT));
    client.show();
    return app.exec();
}
