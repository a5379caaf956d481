#include "app/Form_zhuchuangti.h"
#include "platform/AsyncReader.h"
#include "platform/DesktopShell.h"
#include "platform/DialogMessageBox.h"
#include "platform/FontSubstitutes.h"
#include "platform/NetworkHttpFetcher.h"
#include "windows/Form_guanfang.h"
#include "windows/Form_wangyou.h"

#include <QApplication>
#include <QIcon>

using namespace Qt::StringLiterals;

namespace {

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 128})
        icon.addFile(u":/icons/quillmere-%1.png"_s.arg(size), QSize(size, size));
    return icon;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installFontSubstitutes();
    QApplication::setWindowIcon(applicationIcon());

    const QString serverRoot = QStringLiteral(QUILLMERE_SERVER_ROOT);
    const ProgramFolder programFolder = ProgramFolder::ofExecutable();
    DesktopShell shell;
    DialogMessageBox messageBox;
    NetworkHttpFetcher fetcher;
    Form_guanfang guanfang(serverRoot, programFolder, fetcher, shell);
    Form_wangyou wangyou(serverRoot, programFolder, fetcher, shell, messageBox,
                         [] { return std::make_unique<AsyncReader>(); });
    Form_zhuchuangti mainWindow(programFolder, shell, {.guanfang = &guanfang, .wangyou = &wangyou});
    mainWindow.show();
    return app.exec();
}
