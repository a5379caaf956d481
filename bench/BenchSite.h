#pragma once

#include "LocalNginx.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>

// The site's own program on a data folder, nothing held back: no rate for files, no allowance
// of uploads or posts. Its access log goes to <data folder>.access.log. Stopped when the object goes.
class SiteProcess
{
public:
    bool start(const QString &dataPath, const QStringList &extraArguments = {})
    {
        m_port = LocalNginx::freeLoopbackPort();
        m_process.setStandardOutputFile(dataPath + QStringLiteral(".access.log"));
        m_process.start(QStringLiteral(QUILLMERE_SITE_EXECUTABLE),
                        QStringList{QStringLiteral("--port"), QString::number(m_port), QStringLiteral("--data"), dataPath,
                                    QStringLiteral("--rate"), QStringLiteral("0"), QStringLiteral("--uploads-per-minute"),
                                    QStringLiteral("0"), QStringLiteral("--message-interval"), QStringLiteral("0")}
                            + extraArguments);
        return m_process.waitForStarted() && LocalNginx::waitUntilListening(m_port);
    }
    ~SiteProcess()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }
    // From the next start on, the site's standard error goes to this file.
    void setErrorFile(const QString &path) { m_process.setStandardErrorFile(path); }
    QString root() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }  // no slash at its end
    quint16 port() const { return m_port; }
    qint64 peak() const { return LocalNginx::statusField(QString::number(m_process.processId()), "VmHWM:"); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// Runs a program to its end and returns what it printed; empty when it failed.
inline QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

inline double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}
