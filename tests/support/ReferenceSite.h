#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The reference community site in a child process on a free loopback port, for tests that
// want real HTTP. Stopped when the object goes.
class ReferenceSite
{
public:
    // What one run of the site program as a command left.
    struct CommandRun
    {
        int exitCode = -1;
        QString out;
        QString err;

        // The lines of out, each split at its tabs, as the listing commands write them.
        QList<QStringList> rows() const
        {
            QList<QStringList> rows;
            for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts))
                rows.append(line.split(u'\t'));
            return rows;
        }
    };

    // Without a data folder the site gets a fresh temporary one, removed with this object.
    explicit ReferenceSite(const QString &dataPath = QString());
    ~ReferenceSite();

    // Starts the site and waits until it listens; false, with errorString(), when it does not.
    bool start();
    // True when the site, asked to stop, ended by itself with exit code 0.
    bool stop();
    // Files are sent at most this many KiB a second from the next start on; 0 for no limit.
    void setFileRate(int kibPerSecond) { m_fileRate = kibPerSecond; }
    // The site program is started through this command from the next start on, such as
    // NetworkNamespace::launcher().
    void setLauncher(const QStringList &command) { m_launcher = command; }
    // Passed to the site program from the next start on, after the test's own.
    void setExtraArguments(const QStringList &arguments) { m_extraArguments = arguments; }
    QStringList extraArguments() const { return m_extraArguments; }
    // The site writes its access log from the next start on; readOutput() takes it.
    void setAccessLog(bool on) { m_accessLog = on; }
    // What the site wrote on standard output since the last call, past its first line.
    QByteArray readOutput() { return m_process.readAllStandardOutput(); }
    // From the next start on, the site's standard error goes to this file, appended, instead
    // of the test's own.
    void setErrorFile(const QString &path) { m_errorFile = path; }

    // Runs the site program with these arguments, standard input closed, and waits for it.
    static CommandRun runProgram(const QStringList &arguments);
    // Runs one of the operator's commands on this site's data folder.
    CommandRun command(const QStringList &arguments) const;

    QString root() const { return m_root; }  // "http://127.0.0.1:<port>/" while running
    quint16 port() const;
    qint64 processId() const { return m_process.processId(); }
    QString dataPath() const { return m_dataPath; }
    QString errorString() const { return m_error; }

private:
    std::unique_ptr<QTemporaryDir> m_temporaryData;
    QString m_dataPath;
    QProcess m_process;
    QString m_root;
    QString m_error;
    int m_fileRate = 0;
    QStringList m_extraArguments;
    QStringList m_launcher;
    bool m_accessLog = false;
    QString m_errorFile;
};
