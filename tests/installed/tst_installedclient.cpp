#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The account an installed client runs as when the check itself runs as root: root may write
// anywhere, an ordinary user may not write into the program folder.
constexpr uid_t NobodyId = 65534;

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

// Starts the client installed under $QUILLMERE_INSTALLED_ROOT through its `quillmere` command,
// as an ordinary user with an empty home on the offscreen platform, and checks what the
// preloaded probe saw.
class TstInstalledClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showsMainWindow();
    void readsSkinFromProgramFolder();
    void loadsWebEngineOnDemand();
    void downloadsIntoUsersDownloadFolder();

private:
    QString m_programFolder;
    QTemporaryDir m_home;
    QTemporaryDir m_reportFolder;
    QHash<QString, QString> m_report;
};

void TstInstalledClient::initTestCase()
{
    const QString root = qEnvironmentVariable("QUILLMERE_INSTALLED_ROOT");
    QVERIFY2(!root.isEmpty(), "QUILLMERE_INSTALLED_ROOT names no root with the package unpacked");
    m_programFolder = QDir(root).filePath(u"opt/quillmere"_s);
    // The command on the PATH links to the program folder by its installed, absolute path;
    // here that path lies in the unpacked root.
    const QString link = QFileInfo(QDir(root).filePath(u"usr/bin/quillmere"_s)).symLinkTarget();
    QCOMPARE(link, u"/opt/quillmere/quillmere"_s);
    const QString command = root + link;
    QVERIFY2(QFileInfo(command).isExecutable(), qPrintable(command));
    QVERIFY(m_home.isValid() && m_reportFolder.isValid());

    const QString probe = m_reportFolder.filePath(u"libprobe.so"_s);
    QVERIFY(QFile::copy(QStringLiteral(QUILLMERE_INSTALLED_PROBE), probe));

    QProcess client;
    const bool asRoot = geteuid() == 0;
    if (asRoot) {
        for (const QString &path : {m_home.path(), m_reportFolder.path()})
            QVERIFY(chown(QFile::encodeName(path).constData(), NobodyId, NobodyId) == 0);
        client.setChildProcessModifier([] {
            if (setgroups(0, nullptr) != 0 || setgid(NobodyId) != 0 || setuid(NobodyId) != 0)
                _exit(126);
        });
    } else {
        // Installed by root, the program folder is not the user's to write to.
        QVERIFY(QFile::setPermissions(m_programFolder,
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                          | QFile::ReadOther | QFile::ExeOther));
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : env.keys()) {
        if (name.startsWith(u"XDG_"_s) || name.startsWith(u"LD_"_s) || name.startsWith(u"QT_"_s))
            env.remove(name);
    }
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(QString::fromLatin1(name));
    env.insert(u"HOME"_s, m_home.path());
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"QTWEBENGINE_DISABLE_SANDBOX"_s, u"1"_s);
    env.insert(u"LD_PRELOAD"_s, probe);
    env.insert(u"QUILLMERE_PROBE_REPORT"_s, m_reportFolder.path());
    client.setProcessEnvironment(env);
    client.setWorkingDirectory(m_home.path());
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    client.start(command, {});
    QVERIFY2(client.waitForStarted(), qPrintable(client.errorString()));
    // Only a guard against a client that never gets there; a loaded machine may be slow.
    if (!client.waitForFinished(5 * 60 * 1000))
        client.kill();
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 0);

    const QList<QByteArray> lines = contents(m_reportFolder.filePath(u"report.txt"_s)).split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype tab = line.indexOf('\t');
        if (tab > 0)
            m_report.insert(QString::fromUtf8(line.left(tab)), QString::fromUtf8(line.mid(tab + 1)));
    }
    QCOMPARE(m_report.value(u"done"_s), u"yes"_s);
    if (asRoot)
        QCOMPARE(m_report.value(u"uid"_s), QString::number(NobodyId));
}

void TstInstalledClient::showsMainWindow()
{
    QCOMPARE(m_report.value(u"main-window"_s), u"Quillmere盒子共享版"_s);
}

void TstInstalledClient::readsSkinFromProgramFolder()
{
    // The client finds its folder from where its executable lies, not from the working folder.
    QCOMPARE(m_report.value(u"program-folder"_s), QFileInfo(m_programFolder).canonicalFilePath());
    const QByteArray skin = contents(QDir(m_programFolder).filePath(u"Skin/Skin.she"_s));
    QVERIFY(!skin.isEmpty());
    QCOMPARE(contents(m_reportFolder.filePath(u"stylesheet.qss"_s)), skin);
}

void TstInstalledClient::loadsWebEngineOnDemand()
{
    QCOMPARE(m_report.value(u"engine-at-start"_s), QString());
    QCOMPARE(m_report.value(u"engine-after-web-window"_s),
             QFileInfo(m_programFolder).canonicalFilePath() + u"/libquillmere_webengine.so"_s);
}

void TstInstalledClient::downloadsIntoUsersDownloadFolder()
{
    QCOMPARE(QDir::cleanPath(m_report.value(u"download-folder"_s)), m_home.path() + u"/Downloads/Xiazai"_s);
}

QTEST_GUILESS_MAIN(TstInstalledClient)
#include "tst_installedclient.moc"
