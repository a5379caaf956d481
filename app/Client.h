#pragma once

#include "app/Form_zhuchuangti.h"
#include "platform/DesktopShell.h"
#include "platform/DialogMessageBox.h"
#include "platform/NetworkHttpFetcher.h"
#include "platform/ProgramFolder.h"
#include "windows/Form_fenxiang.h"
#include "windows/Form_guanfang.h"
#include "windows/Form_liuyan.h"
#include "windows/Form_wangyou.h"

namespace Quillmere {

// The whole program: the desktop services it uses and its five windows, each one object for
// the whole run. Nothing is on screen until show().
class Client
{
public:
    // The application-wide settings every window relies on: language, faces and icon. Called
    // before the first window shows, so that Qt's own texts are translated in all of them.
    static void prepareApplication();

    explicit Client(const QString &serverRoot);

    void show() { m_mainWindow.show(); }
    Form &mainWindow() { return m_mainWindow; }

private:
    ProgramFolder m_programFolder;
    DesktopShell m_shell;
    DialogMessageBox m_messageBox;
    NetworkHttpFetcher m_fetcher;
    Form_guanfang m_guanfang;
    Form_wangyou m_wangyou;
    Form_fenxiang m_fenxiang;
    Form_liuyan m_liuyan;
    Form_zhuchuangti m_mainWindow;
};

}  // namespace Quillmere
