#include "platform/DesktopShell.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace Quillmere {

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

void DesktopShell::showFile(const QString &file)
{
    const QString folder = QFileInfo(file).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.FileManager1"_s,
                                                       u"/org/freedesktop/FileManager1"_s,
                                                       u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
    // Asked without waiting: a file manager that is still starting must not freeze the window.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [this, watcher, folder] {
        if (watcher->isError())
            openFolder(folder);
        watcher->deleteLater();
    });
}

void DesktopShell::notify(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_s,
                                                       u"/org/freedesktop/Notifications"_s,
                                                       u"org.freedesktop.Notifications"_s, u"Notify"_s);
    // Application, id to replace (none), icon, summary, body, actions, hints, time-out (the
    // server's own).
    call << QCoreApplication::applicationName() << 0u << QString() << summary << body << QStringList() << QVariantMap()
         << -1;
    bus.asyncCall(call);
}

}  // namespace Quillmere
