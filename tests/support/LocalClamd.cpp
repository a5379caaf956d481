#include "support/LocalClamd.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int StartTimeoutMs = 60000;
constexpr int StopTimeoutMs = 10000;

bool writeText(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0 && file.flush();
}

}  // namespace

const QString LocalClamd::EicarSignature = u"Eicar-Signature"_s;

// Put together here, so that no scanner on a developer's machine takes this source for the file.
QByteArray LocalClamd::eicar()
{
    return QByteArray("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR-STANDARD-ANTIVIRUS-" + "TEST-FILE!$H+H*";
}

LocalClamd::LocalClamd()
    : m_folder(std::make_unique<QTemporaryDir>(QDir::tempPath() + u"/clamd-XXXXXX"_s))
{
    // The site scans uploads of up to 50 MB, which Debian's settings (25M) would refuse; a
    // part left unscanned is reported as a limit's heuristic, never passed as clean.
    m_settings = {{u"StreamMaxLength"_s, u"60M"_s},
                  {u"MaxFileSize"_s, u"60M"_s},
                  {u"MaxScanSize"_s, u"200M"_s},
                  {u"AlertExceedsMax"_s, u"yes"_s}};
    addSignature(EicarSignature, eicar());
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_folder->filePath(u"clamd.out"_s));
    // A test that crashes must not leave clamd behind.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

LocalClamd::~LocalClamd()
{
    stop();
}

void LocalClamd::addSignature(const QString &name, const QByteArray &bytes)
{
    m_signatures += u"%1:%2:%3\n"_s.arg(
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()),
        QString::number(bytes.size()), name);
}

QString LocalClamd::socketPath() const
{
    return m_folder->filePath(u"clamd.sock"_s);
}

bool LocalClamd::start()
{
    stop();
    m_error.clear();
    if (!m_folder->isValid()) {
        m_error = m_folder->errorString();
        return false;
    }
    const QString folder = m_folder->path();
    QString configuration = u"Foreground yes\nLocalSocket %1\nDatabaseDirectory %2/db\nTemporaryDirectory %2\n"
                            "LogFile %2/clamd.log\n"_s.arg(socketPath(), folder);
    for (auto it = m_settings.cbegin(); it != m_settings.cend(); ++it)
        configuration += it.key() + u' ' + it.value() + u'\n';
    if (!QDir(folder).mkpath(u"db"_s) || !writeText(folder + u"/db/test.hsb"_s, m_signatures)
        || !writeText(folder + u"/clamd.conf"_s, configuration)) {
        m_error = u"cannot write clamd's configuration into "_s + folder;
        return false;
    }
    QFile::remove(socketPath());
    m_process.start(u"clamd"_s, {u"--config-file"_s, folder + u"/clamd.conf"_s});
    if (!m_process.waitForStarted(StartTimeoutMs)) {
        m_error = u"cannot start clamd (Debian package clamav-daemon): "_s + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!answersPing()) {
        if (m_process.state() != QProcess::Running || deadline.hasExpired()) {
            QFile log(folder + u"/clamd.out"_s);
            m_error = u"clamd did not answer: "_s
                + (log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(2000)) : QString());
            stop();
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

void LocalClamd::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(StopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(StopTimeoutMs);
    }
}

bool LocalClamd::answersPing() const
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000) || socket.write("zPING", 6) != 6 || !socket.waitForBytesWritten(1000))
        return false;
    QByteArray answer;
    while (!answer.contains('\0') && socket.waitForReadyRead(1000))
        answer += socket.readAll();
    return answer.startsWith("PONG");
}
