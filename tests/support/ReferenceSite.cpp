#include "support/ReferenceSite.h"

#include <QDeadlineTimer>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int StartTimeoutMs = 30000;
constexpr int StopTimeoutMs = 10000;

}  // namespace

ReferenceSite::ReferenceSite(const QString &dataPath)
    : m_dataPath(dataPath)
{
    if (m_dataPath.isEmpty()) {
        m_temporaryData = std::make_unique<QTemporaryDir>();
        m_dataPath = m_temporaryData->path();
    }
    // The site's warnings belong in the test's log.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that crashes must not leave the site behind, holding the test runner's output.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

ReferenceSite::~ReferenceSite()
{
    stop();
}

bool ReferenceSite::start()
{
    stop();
    m_error.clear();
    QStringList arguments = {u"--host"_s,
                             u"127.0.0.1"_s,
                             u"--port"_s,
                             u"0"_s,
                             u"--data"_s,
                             m_dataPath,
                             u"--rate"_s,
                             QString::number(m_fileRate),
                             u"--message-interval"_s,
                             u"0"_s,
                             u"--uploads-per-minute"_s,
                             u"0"_s};
    // Unread, the log would fill the pipe and stop the site.
    if (!m_accessLog)
        arguments.append(u"--no-access-log"_s);
    arguments.append(m_extraArguments);
    if (!m_errorFile.isEmpty()) {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setStandardErrorFile(m_errorFile, QIODevice::Append);
    }
    if (m_launcher.isEmpty())
        m_process.start(QStringLiteral(QUILLMERE_SITE_EXECUTABLE), arguments);
    else
        m_process.start(m_launcher.first(),
                        m_launcher.mid(1) + QStringList{QStringLiteral(QUILLMERE_SITE_EXECUTABLE)} + arguments);
    if (!m_process.waitForStarted(StartTimeoutMs)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!m_process.canReadLine()) {
        if (m_process.state() != QProcess::Running || !m_process.waitForReadyRead(deadline.remainingTime())) {
            m_error = u"the site did not start listening (exit code %1)"_s.arg(m_process.exitCode());
            stop();
            return false;
        }
    }
    static const QString Prefix = u"Listening on "_s;
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    if (!line.startsWith(Prefix)) {
        m_error = u"unexpected first line from the site: "_s + line;
        stop();
        return false;
    }
    m_root = line.sliced(Prefix.size());
    return true;
}

bool ReferenceSite::stop()
{
    m_root.clear();
    if (m_process.state() == QProcess::NotRunning)
        return false;
    m_process.terminate();
    if (!m_process.waitForFinished(StopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(StopTimeoutMs);
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

ReferenceSite::CommandRun ReferenceSite::runProgram(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(QUILLMERE_SITE_EXECUTABLE), arguments);
    process.closeWriteChannel();
    CommandRun run;
    if (!process.waitForFinished(StartTimeoutMs) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

ReferenceSite::CommandRun ReferenceSite::command(const QStringList &arguments) const
{
    return runProgram(arguments + QStringList({u"--data"_s, m_dataPath}));
}

quint16 ReferenceSite::port() const
{
    return quint16(QUrl(m_root).port());
}
