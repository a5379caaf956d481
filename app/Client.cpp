#include "app/Client.h"

#include "platform/AsyncReader.h"
#include "platform/FontSubstitutes.h"
#include "platform/QtTranslations.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace Quillmere {

void Client::prepareApplication()
{
    // The program speaks Chinese whatever the desktop's language, and so do the browser panes'
    // own texts (the file picker of a form, the page shown when a site cannot be reached) and
    // Qt's buttons, menus and dialogs.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    installQtTranslations();
    installFontSubstitutes();
    QIcon icon;
    for (int size : {16, 32, 48, 128})
        icon.addFile(u":/icons/quillmere-%1.png"_s.arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    // Ties the windows to the menu entry, whose icon and name the desktop then shows for them.
    QGuiApplication::setDesktopFileName(u"org.quillmere.Quillmere"_s);
}

Client::Client(const QString &serverRoot)
    : m_programFolder(ProgramFolder::ofExecutable())
    // Only the user window raises message boxes, over whichever opening of it is on screen.
    , m_messageBox([this] { return m_wangyou.window(); })
    , m_guanfang(serverRoot, m_programFolder, m_fetcher, m_shell)
    , m_wangyou(serverRoot, m_programFolder, m_fetcher, m_shell, m_messageBox,
                [] { return std::make_unique<AsyncReader>(); })
    , m_fenxiang(serverRoot)
    , m_liuyan(serverRoot)
    , m_mainWindow(m_programFolder, m_shell,
                   {.guanfang = &m_guanfang, .wangyou = &m_wangyou, .fenxiang = &m_fenxiang, .liuyan = &m_liuyan})
{
}

}  // namespace Quillmere
