#include "NetworkFolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QStorageInfo>
#include <QTcpServer>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

const QString SftpServer = u"/usr/lib/openssh/sftp-server"_s;

// Child processes go with the test, even when it dies.
void endWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

}  // namespace

NetworkFolder::~NetworkFolder()
{
    if (!m_folder)
        return;
    // Lazily, so that a file a test still holds open does not keep the mount.
    QProcess unmount;
    unmount.setStandardErrorFile(QProcess::nullDevice());
    unmount.start(u"fusermount3"_s, {u"-u"_s, u"-z"_s, path()});
    unmount.waitForFinished();
    for (QProcess *process : {&m_mount, &m_server}) {
        process->terminate();
        process->waitForFinished();
    }
}

QString NetworkFolder::path() const
{
    return m_folder->filePath(u"mounted"_s);
}

QString NetworkFolder::exportedPath() const
{
    return m_folder->filePath(u"exported"_s);
}

// True when what is made through the mount lands in the exported folder.
bool NetworkFolder::servesExport() const
{
    const QString probe = u".mounted"_s;
    const bool served = QDir(path()).mkdir(probe) && QFileInfo(exportedPath() + u'/' + probe).isDir();
    QDir(path()).rmdir(probe);
    return served;
}

bool NetworkFolder::start()
{
    if (!QFileInfo(SftpServer).isExecutable()) {
        m_error = u"needs OpenSSH's sftp-server, socat and sshfs (scripts/setup.sh)"_s;
        return false;
    }
    m_folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + u"/shared-XXXXXX"_s);
    if (!m_folder->isValid() || !QDir(m_folder->path()).mkdir(u"exported"_s)
        || !QDir(m_folder->path()).mkdir(u"mounted"_s)) {
        m_error = u"cannot make the folders of a network folder in %1"_s.arg(QDir::tempPath());
        return false;
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const QString port = QString::number(probe.serverPort());
    probe.close();

    m_server.setChildProcessModifier(endWithParent);
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(u"socat"_s, {u"TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork"_s.arg(port), u"EXEC:"_s + SftpServer});
    // sshfs gives up at once on a port nobody listens on yet, so it is asked again.
    m_mount.setChildProcessModifier(endWithParent);
    m_mount.setProcessChannelMode(QProcess::MergedChannels);
    const QDeadlineTimer deadline(10'000);
    while (!deadline.hasExpired() && m_server.state() != QProcess::NotRunning) {
        m_mount.start(u"sshfs"_s, {u"-f"_s, u"-o"_s, u"directport="_s + port, u"127.0.0.1:"_s + exportedPath(), path()});
        while (m_mount.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            if (QStorageInfo(path()).fileSystemType() == "fuse.sshfs" && servesExport())
                return true;
            m_mount.waitForFinished(50);
        }
        m_error = QString::fromLocal8Bit(m_mount.readAll()).trimmed();
        QThread::msleep(50);
    }
    m_error = u"sshfs did not mount %1: %2"_s.arg(exportedPath(), m_error);
    return false;
}
