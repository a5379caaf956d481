#include "app/Form_zhuchuangti.h"

#include "app/ClickableLabel.h"
#include "platform/Shell.h"
#include "platform/Skin.h"
#include "windows/DownloadFolder.h"
#include "windows/Twips.h"

#include <QPushButton>

using namespace Qt::StringLiterals;

namespace Quillmere {

Form_zhuchuangti::Form_zhuchuangti(const ProgramFolder &programFolder, Shell &shell, const Windows &windows,
                                   QObject *parent)
    : Form(parent)
    , m_programFolder(programFolder)
    , m_shell(shell)
    , m_windows(windows)
{
    for (Form *target : {windows.guanfang, windows.wangyou, windows.fenxiang, windows.liuyan}) {
        if (target)
            connect(target, &Form::unloaded, this, &Form::show);
    }
}

QWidget *Form_zhuchuangti::createWindow()
{
    auto *window = new QWidget;
    window->setWindowTitle(u"Quillmere盒子共享版"_s);
    window->setFixedSize(twipsToPixels(5790), twipsToPixels(4305));

    auto *picture = new QLabel(window);
    picture->setObjectName(u"Picture"_s);
    picture->setPixmap(QPixmap(u":/background.jpg"_s));
    picture->setGeometry(0, 0, 386, 252);

    addCommand(window, "Command_guanfang", u"官方资源"_s, 8, m_windows.guanfang,
               &Form_zhuchuangti::Command_guanfang_Click);
    addCommand(window, "Command_wangyou", u"网友资源"_s, 1440, m_windows.wangyou,
               &Form_zhuchuangti::Command_wangyou_Click);
    addCommand(window, "Command_fenxiang", u"资源分享"_s, 2880, m_windows.fenxiang,
               &Form_zhuchuangti::Command_fenxiang_Click);
    addCommand(window, "Command_guanli", u"资源管理"_s, 4320, true, &Form_zhuchuangti::Command_guanli_Click);
    // Made after the buttons, so that Tab reaches it after them, but laid beneath them where
    // they overlap, like a label drawn on the window itself.
    auto *label = new ClickableLabel(u"点击留言"_s, window);
    label->setObjectName(u"Label1"_s);
    label->setGeometry(twipsRect(2740, 3540, 1455, 375));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont font(u"楷体"_s, 12, QFont::Bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(64, 64, 64));
    label->setPalette(palette);
    label->setEnabled(m_windows.liuyan);
    label->setCursor(Qt::PointingHandCursor);
    label->stackUnder(window->findChild<QWidget *>(u"Command_guanfang"_s));
    connect(label, &ClickableLabel::clicked, this, &Form_zhuchuangti::Label1_Click);
    return window;
}

void Form_zhuchuangti::addCommand(QWidget *window, const char *name, const QString &caption, int left, bool enabled,
                                  void (Form_zhuchuangti::*handler)())
{
    auto *button = new QPushButton(caption, window);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(twipsRect(left, 3800, 1455, 495));
    button->setEnabled(enabled);
    // Enter presses it as Space does.
    button->setAutoDefault(true);
    connect(button, &QPushButton::clicked, this, handler);
}

void Form_zhuchuangti::Form_Load()
{
    Skin::attach(m_programFolder.skinFile());
}

void Form_zhuchuangti::open(Form *target)
{
    // The target loads while this window is still on screen, then this one goes.
    target->show();
    unload();
}

void Form_zhuchuangti::Command_guanfang_Click()
{
    open(m_windows.guanfang);
}

void Form_zhuchuangti::Command_wangyou_Click()
{
    open(m_windows.wangyou);
}

void Form_zhuchuangti::Command_fenxiang_Click()
{
    open(m_windows.fenxiang);
}

void Form_zhuchuangti::Label1_Click()
{
    open(m_windows.liuyan);
}

void Form_zhuchuangti::Command_guanli_Click()
{
    DownloadFolder::open(m_programFolder, m_shell);
}

}  // namespace Quillmere
