#include "LocalNginx.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The site processes as one upstream, kept-alive connections and the Host the sites take.
QString proxy(const QList<quint16> &ports, quint16 port)
{
    QString servers;
    for (const quint16 upstream : ports)
        servers += u"server 127.0.0.1:%1;"_s.arg(upstream);
    return uR"(upstream sites { %1 keepalive 32; }
    server {
        listen 127.0.0.1:%2;
        location / {
            proxy_pass http://sites;
            proxy_http_version 1.1;
            proxy_set_header Connection "";
            proxy_set_header Host 127.0.0.1;
        }
    }
)"_s.arg(servers, QString::number(port));
}

QString config(const QString &root, quint16 port, LocalNginx::Log log, const QList<quint16> &upstreams,
               const QString &extraLocations)
{
    const QString logging = log == LocalNginx::Log::BytesSent ? u"access_log %1/access.log sent;"_s.arg(root)
        : log == LocalNginx::Log::Combined                    ? u"access_log %1/access.log combined;"_s.arg(root)
                                                              : u"access_log off;"_s;
    const QString server = upstreams.isEmpty()
        ? u"server { listen 127.0.0.1:%1; root %2/www; %3 }"_s.arg(QString::number(port), root, extraLocations)
        : proxy(upstreams, port);
    return uR"(daemon off;
master_process off;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 1024; }
http {
    log_format sent "$request_uri $status $bytes_sent";
    %2
    client_body_temp_path %1/client_body;
    proxy_temp_path %1/proxy;
    fastcgi_temp_path %1/fastcgi;
    uwsgi_temp_path %1/uwsgi;
    scgi_temp_path %1/scgi;
    default_type text/plain;
    sendfile on;
    tcp_nopush on;
    %3
}
)"_s.arg(root, logging, server);
}

}  // namespace

LocalNginx::~LocalNginx()
{
    stop();
}

void LocalNginx::stop()
{
    m_process.terminate();
    m_process.waitForFinished();
}

bool LocalNginx::start(const QString &work, Log log)
{
    const QString nginx = QStandardPaths::findExecutable(u"nginx"_s,
                                                         {u"/usr/sbin"_s, u"/usr/bin"_s, u"/sbin"_s, u"/bin"_s});
    if (nginx.isEmpty()) {
        std::fprintf(stderr, "needs nginx (scripts/setup.sh --bench)\n");
        return false;
    }
    m_port = freeLoopbackPort();
    QFile file(work + u"/nginx.conf"_s);
    QString locations;
    for (const ExtraLocation &location : std::as_const(m_extraLocations))
        locations += u"location = %1 { alias %2/www/%3; %4 }"_s.arg(location.uri, work, location.file,
                                                                    location.directives);
    if (!file.open(QIODevice::WriteOnly) || file.write(config(work, m_port, log, m_upstreams, locations).toUtf8()) < 0)
        return false;
    file.close();
    m_process.start(nginx, {u"-p"_s, work, u"-e"_s, work + u"/error.log"_s, u"-c"_s, file.fileName()});
    if (!m_process.waitForStarted() || !waitUntilListening(m_port)) {
        std::fprintf(stderr, "nginx did not start; see %s/error.log\n", qPrintable(work));
        return false;
    }
    return true;
}

QString LocalNginx::url(const QString &path) const
{
    return u"http://127.0.0.1:%1/"_s.arg(m_port) + path;
}

quint16 LocalNginx::freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

bool LocalNginx::waitUntilListening(quint16 port)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100))
            return true;
        QThread::msleep(50);
    }
    return false;
}

qint64 LocalNginx::statusField(const QString &pid, const QByteArray &field)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}
