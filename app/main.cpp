#include "app/Form_zhuchuangti.h"
#include "platform/AsyncReader.h"
#include "platform/DesktopShell.h"
#include "platform/DialogMessageBox.h"
#include "platform/FontSubstitutes.h"
#include "platform/NetworkHttpFetcher.h"
#include "windows/Form_fenxiang.h"
#include "windows/Form_guanfang.h"
#include "windows/Form_liuyan.h"
#include "windows/Form_wangyou.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

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
    // The program speaks Chinese whatever the desktop's language, and so do the browser panes'
    // own texts (the file picker of a form, the page shown when a site cannot be reached).
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
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
    Form_fenxiang fenxiang(serverRoot);
    Form_liuyan liuyan(serverRoot);
    Form_zhuchuangti mainWindow(programFolder, shell,
                                {.guanfang = &guanfang, .wangyou = &wangyou, .fenxiang = &fenxiang, .liuyan = &liuyan});
    mainWindow.show();
    return app.exec();
}
