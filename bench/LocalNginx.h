#pragma once

#include <QList>
#include <QProcess>
#include <QString>

// nginx on a free loopback port, serving the files below <work>/www as they are, for the
// benchmarks to measure against. Stopped when the object goes.
class LocalNginx
{
public:
    // BytesSent logs "<uri> <status> <bytes sent>" a request to <work>/access.log, Combined
    // a line in the combined format, as nginx does unless told otherwise.
    enum class Log { Off, BytesSent, Combined };

    ~LocalNginx();

    // Starts nginx with its configuration, logs and temporary files in work; false, with a
    // message on stderr, when it cannot be found or does not start.
    bool start(const QString &work, Log log = Log::Off);
    // From the next start on, passes every request to the site processes on these loopback
    // ports, as the site's own nginx site does, instead of serving <work>/www.
    void proxyTo(const QList<quint16> &ports) { m_upstreams = ports; }
    // From the next start on, also serves the file <work>/www/<file> as uri, with these nginx
    // directives (a header field to add, a rate to keep to).
    void alsoServe(const QString &uri, const QString &file, const QString &directives)
    {
        m_extraLocations.append({uri, file, directives});
    }
    void stop();
    QString url(const QString &path) const;

    static quint16 freeLoopbackPort();
    static bool waitUntilListening(quint16 port);
    // A field of /proc/<pid>/status ("self" for this process) in bytes, e.g. "VmHWM:".
    static qint64 statusField(const QString &pid, const QByteArray &field);

private:
    QProcess m_process;
    quint16 m_port = 0;
    QList<quint16> m_upstreams;
    struct ExtraLocation
    {
        QString uri;
        QString file;
        QString directives;
    };
    QList<ExtraLocation> m_extraLocations;
};
