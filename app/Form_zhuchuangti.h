#pragma once

#include "platform/ProgramFolder.h"
#include "windows/Form.h"

namespace Quillmere {

class Shell;

// The main window: a picture, four commands and the message-board label. Opening another
// window shows it and then unloads this one; closing that window brings this one back.
class Form_zhuchuangti final : public Form
{
    Q_OBJECT

public:
    // The windows the commands open; a command whose window is missing stays disabled.
    struct Windows
    {
        Form *guanfang = nullptr;
        Form *wangyou = nullptr;
        Form *fenxiang = nullptr;
        Form *liuyan = nullptr;
    };

    Form_zhuchuangti(const ProgramFolder &programFolder, Shell &shell, const Windows &windows, QObject *parent = nullptr);

protected:
    QWidget *createWindow() override;
    void Form_Load() override;

private:
    void Command_guanfang_Click();
    void Command_wangyou_Click();
    void Command_fenxiang_Click();
    void Command_guanli_Click();
    void Label1_Click();

    void open(Form *target);
    void addCommand(QWidget *window, const char *name, const QString &caption, int left, bool enabled,
                    void (Form_zhuchuangti::*handler)());

    ProgramFolder m_programFolder;
    Shell &m_shell;
    Windows m_windows;
};

}  // namespace Quillmere
