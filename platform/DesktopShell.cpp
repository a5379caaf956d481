#include "platform/DesktopShell.h"

#include <QDesktopServices>

void DesktopShell::openFolder(const QString &folder)
{
    // The file manager gets the path as one argument, so spaces need no quoting; a folder that
    // does not exist yet is the file manager's to report.
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void DesktopShell::openTarget(const QUrl &target)
{
    QDesktopServices::openUrl(target);
}
