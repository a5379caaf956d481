#include "platform/DesktopShell.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

using namespace Qt::StringLiterals;

void DesktopShell::openFolder(const QString &folder)
{
    // The file manager gets the path as one argument, so spaces need no quoting; a folder that
    // does not exist yet is the file manager's to report.
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void DesktopShell::openTarget(const QString &target)
{
    const QUrl url(target, QUrl::TolerantMode);
    if (url.isValid()) {
        QDesktopServices::openUrl(url);
        return;
    }
    // Links such as ed2k://|file|...|/ are no valid URL to Qt; the desktop's opener still
    // knows their scheme. The link is one argument, never a command line.
    QProcess::startDetached(u"xdg-open"_s, {target});
}
