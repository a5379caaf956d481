#include "platform/DesktopShell.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QTest>
#include <QUrl>
#include <QVariantMap>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

// Stand-ins for the desktop's services, registered on the session bus by their real names.
class FileManagerService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public Q_SLOTS:
    void ShowItems(const QStringList &uris, const QString &) { shown.append(uris); }

public:
    QStringList shown;
};

class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        notes.append(summary + u'|' + body);
        return uint(notes.size());
    }

public:
    QStringList notes;
};

// Takes the file: URLs that QDesktopServices would hand to the file manager.
class OpenedUrls : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

}  // namespace

// The desktop asked over a real session bus (the test runs under dbus-run-session).
class TstDesktopShell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void withoutAFileManagerServiceTheFolderOpens();
    void fileManagerServiceShowsTheFileAndNotificationsArrive();

private:
    OpenedUrls m_opened;
    DesktopShell m_shell;
};

void TstDesktopShell::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("no session bus");
    QDesktopServices::setUrlHandler(u"file"_s, &m_opened, "open");
}

void TstDesktopShell::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(u"file"_s);
}

void TstDesktopShell::init()
{
    m_opened.urls.clear();
}

void TstDesktopShell::withoutAFileManagerServiceTheFolderOpens()
{
    m_shell.showFile(u"/srv/Xiazai/资源/2024/01/x.zip"_s);
    QTRY_COMPARE(m_opened.urls, QList<QUrl>{QUrl::fromLocalFile(u"/srv/Xiazai/资源/2024/01"_s)});
}

void TstDesktopShell::fileManagerServiceShowsTheFileAndNotificationsArrive()
{
    // Nobody listens yet: this notification goes nowhere, and is not delivered later either.
    m_shell.notify(u"下载完成"_s, u"无人接收"_s);

    QDBusConnection desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"desktop"_s);
    FileManagerService fileManager;
    NotificationService notifications;
    QVERIFY(desktop.registerObject(u"/org/freedesktop/FileManager1"_s, &fileManager, QDBusConnection::ExportAllSlots));
    QVERIFY(desktop.registerObject(u"/org/freedesktop/Notifications"_s, &notifications, QDBusConnection::ExportAllSlots));
    QVERIFY(desktop.registerService(u"org.freedesktop.FileManager1"_s));
    QVERIFY(desktop.registerService(u"org.freedesktop.Notifications"_s));

    m_shell.showFile(u"/srv/Xiazai/a b/x.zip"_s);
    m_shell.notify(u"下载完成"_s, u"a b"_s);

    QTRY_COMPARE(fileManager.shown, QStringList(u"file:///srv/Xiazai/a b/x.zip"_s));
    QTRY_COMPARE(notifications.notes, QStringList(u"下载完成|a b"_s));
    QVERIFY(m_opened.urls.isEmpty());
    QDBusConnection::disconnectFromBus(u"desktop"_s);
}

QTEST_MAIN(TstDesktopShell)
#include "tst_desktopshell.moc"
