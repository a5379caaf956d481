#include "support/NginxEdge.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

// Free loopback ports, held until the object goes, so that no two of them and no site started
// meanwhile can be given the same one.
class ReservedPorts
{
public:
    quint16 take()
    {
        auto &probe = m_probes.emplace_back(std::make_unique<QTcpServer>());
        probe->listen(QHostAddress::LocalHost);
        return probe->serverPort();
    }

private:
    std::vector<std::unique_ptr<QTcpServer>> m_probes;
};

}  // namespace

NginxEdge::~NginxEdge()
{
    stop();
}

void NginxEdge::stop()
{
    m_nginx.terminate();
    m_nginx.waitForFinished();
    m_sites.clear();
}

QString NginxEdge::url(const QString &path) const
{
    return u"https://127.0.0.1:%1/"_s.arg(m_port) + path;
}

QString NginxEdge::start(const QString &work, const QStringList &siteArguments, int processes,
                         const QString &filesFolder, const Certificate &certificate)
{
    m_work = work;
    m_files = filesFolder.isEmpty() ? work + u"/files"_s : filesFolder;
    m_certificate = certificate;
    // Held until nginx is about to take them.
    auto reserved = std::make_unique<ReservedPorts>();
    m_port = reserved->take();
    m_plainPort = reserved->take();
    m_upstreams.clear();
    for (int process = 0; process < 2; ++process) {
        if (process >= processes) {
            m_upstreams.append(reserved->take());
            continue;
        }
        auto &site = m_sites.emplace_back(std::make_unique<ReferenceSite>(work + u"/data%1"_s.arg(process)));
        site->setAccessLog(processes == 1);
        site->setExtraArguments(QStringList{u"--files"_s, m_files, u"--accel-redirect"_s, u"/_quillmere-files"_s,
                                            u"--origin"_s, m_underPath ? url(u"share/"_s) : url(QString()).chopped(1)}
                                + siteArguments);
        if (!site->start())
            return site->errorString();
        m_upstreams.append(QUrl(site->root()).port());
    }
    if (m_certificate.certificate.isEmpty()) {
        m_certificate = {work + u"/tls.pem"_s, work + u"/tls.key"_s};
        QProcess openssl;
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start(u"openssl"_s,
                      {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s, u"1"_s, u"-subj"_s,
                       u"/CN=127.0.0.1"_s, u"-keyout"_s, m_certificate.key, u"-out"_s, m_certificate.certificate});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            return u"openssl made no certificate"_s;
    }
    reserved.reset();
    return startNginx();
}

QString NginxEdge::restartWith(const Certificate &certificate)
{
    m_nginx.terminate();
    m_nginx.waitForFinished();
    m_certificate = certificate;
    return startNginx();
}

QString NginxEdge::startNginx()
{
    const QString nginx = QStandardPaths::findExecutable(u"nginx"_s, {u"/usr/sbin"_s, u"/usr/bin"_s});
    if (nginx.isEmpty())
        return u"needs nginx (scripts/setup.sh)"_s;
    // The shipped site as it is, but for the addresses, the certificate and the files folder.
    QFile shipped(QStringLiteral(QUILLMERE_NGINX_SITE));
    if (!shipped.open(QIODevice::ReadOnly))
        return shipped.errorString();
    QString site = QString::fromUtf8(shipped.readAll());
    const QList<std::pair<QString, QString>> replacements{
        {u"127.0.0.1:8642 "_s, u"127.0.0.1:%1 "_s.arg(m_upstreams[0])},
        {u"127.0.0.1:8643 "_s, u"127.0.0.1:%1 "_s.arg(m_upstreams[1])},
        {u"listen 80;"_s, u"listen 127.0.0.1:%1;"_s.arg(m_plainPort)},
        {u"listen [::]:80;"_s, QString()},
        {u"listen 443 ssl http2;"_s, u"listen 127.0.0.1:%1 ssl http2;"_s.arg(m_port)},
        {u"listen [::]:443 ssl http2;"_s, QString()},
        {u"/etc/ssl/certs/quillmere-site.pem"_s, m_certificate.certificate},
        {u"/etc/ssl/private/quillmere-site.key"_s, m_certificate.key},
        {u"/srv/quillmere-site/files/"_s, m_files + u'/'},
    };
    for (const auto &[from, to] : replacements) {
        if (!site.contains(from))
            return u"the nginx site has no "_s + from;
        site.replace(from, to);
    }
    if (m_underPath) {
        static const QRegularExpression commented(u"(?m)^    #(?=location |    |\\})"_s);
        if (!site.contains(commented))
            return u"the nginx site shows no locations under a path"_s;
        site.replace(commented, u"    "_s);
    }
    const QString config = uR"(daemon off;
master_process off;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path %1/client_body;
    proxy_temp_path %1/proxy;
    fastcgi_temp_path %1/fastcgi;
    uwsgi_temp_path %1/uwsgi;
    scgi_temp_path %1/scgi;
%2
}
)"_s.arg(m_work, site);
    QFile file(m_work + u"/nginx.conf"_s);
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return file.errorString();
    file.close();
    m_nginx.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_nginx.start(nginx, {u"-p"_s, m_work, u"-e"_s, m_work + u"/error.log"_s, u"-c"_s, file.fileName()});
    m_nginx.waitForStarted();
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (m_nginx.state() != QProcess::Running)
            break;
        // Listening, whoever signed its certificate.
        if (QProcess::execute(u"curl"_s, {u"--silent"_s, u"--insecure"_s, u"-o"_s, u"/dev/null"_s, url(u"healthz"_s)})
            == 0)
            return {};
        QTest::qWait(50);
    }
    QFile log(m_work + u"/error.log"_s);
    log.open(QIODevice::ReadOnly);
    return u"nginx did not start: "_s + QString::fromUtf8(log.readAll());
}
