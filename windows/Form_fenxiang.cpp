#include "windows/Form_fenxiang.h"

#include <QShortcut>

using namespace Qt::StringLiterals;

namespace Quillmere {

Form_fenxiang::Form_fenxiang(const QString &serverRoot, QObject *parent)
    : WebPaneForm({u"资源上传"_s, QSize(5040, 6225), QRect(0, 0, 5055, 6255)}, QUrl(serverRoot + u"wangyou/"_s), parent)
{
}

QWidget *Form_fenxiang::createWindow()
{
    QWidget *window = WebPaneForm::createWindow();
    connect(web(), &WebPane::DownloadBegin, this, &Form_fenxiang::web_DownloadBegin);
    web()->setFileChooserCaption(u"选择要分享的文件"_s);
    // F5 belongs to this window only while it is the active one; key presses meant for other
    // programs never reach it. The shortcut takes the key before the page sees it, so the
    // browser does not reload the page as well.
    auto *f5 = new QShortcut(QKeySequence(Qt::Key_F5), window);
    f5->setContext(Qt::WindowShortcut);
    connect(f5, &QShortcut::activated, this, &Form_fenxiang::ReloadOnF5);
    return window;
}

void Form_fenxiang::web_DownloadBegin()
{
    web()->setSilent(true);
}

void Form_fenxiang::web_DownloadComplete()
{
    WebPaneForm::web_DownloadComplete();
    web()->setSilent(true);
}

void Form_fenxiang::ReloadOnF5()
{
    web()->Navigate(startAddress());
}

}  // namespace Quillmere
