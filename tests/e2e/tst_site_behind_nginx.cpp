#include "support/ReferenceSite.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <memory>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

struct CurlRun
{
    int exitCode = -1;
    QByteArray out;  // the head with -D -, then the body unless written to a file
};

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator rng(7);
    for (char &byte : bytes)
        byte = char(rng.bounded(256));
    return bytes;
}

} // namespace

// The site as it runs on several machines: the shipped nginx site in front (TLS, HTTP/2, files
// sent by nginx itself from the files folder), the site process behind it.
class TstSiteBehindNginx : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void believesOnlyTrustedProxies_data();
    void believesOnlyTrustedProxies();
    void nginxSendsTheFiles();

private:
    // Starts the site with these options behind nginx; empty, or why it did not start.
    QString startEdge(const QStringList &siteArguments);
    CurlRun curl(const QStringList &arguments) const;
    std::unique_ptr<QProcess> startCurl(const QStringList &arguments) const;
    QString url(const QString &path) const { return u"https://127.0.0.1:%1/"_s.arg(m_port) + path; }
    CurlRun upload(const QByteArray &fileName, const QString &localFile, const QByteArray &forwardedFor);

    QString m_nginxProgram;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<ReferenceSite> m_site;
    QProcess m_nginx;
    quint16 m_port = 0;
};

void TstSiteBehindNginx::initTestCase()
{
    m_nginxProgram = QStandardPaths::findExecutable(u"nginx"_s, {u"/usr/sbin"_s, u"/usr/bin"_s});
    QVERIFY2(!m_nginxProgram.isEmpty(), "needs nginx (scripts/setup.sh)");
    QVERIFY2(!QStandardPaths::findExecutable(u"curl"_s).isEmpty(), "needs curl (scripts/setup.sh)");
    QVERIFY2(!QStandardPaths::findExecutable(u"openssl"_s).isEmpty(), "needs openssl (scripts/setup.sh)");
}

void TstSiteBehindNginx::cleanup()
{
    m_nginx.terminate();
    m_nginx.waitForFinished();
    m_site.reset();
    m_work.reset();
}

QString TstSiteBehindNginx::startEdge(const QStringList &siteArguments)
{
    m_work = std::make_unique<QTemporaryDir>();
    const QString work = m_work->path();
    const QString files = work + u"/files"_s;
    m_port = freeLoopbackPort();

    m_site = std::make_unique<ReferenceSite>(work + u"/data"_s);
    m_site->setAccessLog(true);
    m_site->setExtraArguments(QStringList{u"--files"_s, files, u"--accel-redirect"_s, u"/_quillmere-files"_s,
                                          u"--origin"_s, url(QString()).chopped(1)}
                              + siteArguments);
    if (!m_site->start())
        return m_site->errorString();

    QProcess openssl;
    openssl.setStandardErrorFile(QProcess::nullDevice());
    openssl.start(u"openssl"_s, {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s, u"1"_s,
                                 u"-subj"_s, u"/CN=127.0.0.1"_s, u"-keyout"_s, work + u"/tls.key"_s, u"-out"_s,
                                 work + u"/tls.pem"_s});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        return u"openssl made no certificate"_s;

    // The shipped site as it is, but for the addresses, the certificate and the files folder.
    QFile shipped(QStringLiteral(QUILLMERE_NGINX_SITE));
    if (!shipped.open(QIODevice::ReadOnly))
        return shipped.errorString();
    QString site = QString::fromUtf8(shipped.readAll());
    const QList<std::pair<QString, QString>> replacements{
        {u"127.0.0.1:8642 "_s, u"127.0.0.1:%1 "_s.arg(QUrl(m_site->root()).port())},
        // The second process is down: nginx passes over it.
        {u"127.0.0.1:8643 "_s, u"127.0.0.1:%1 "_s.arg(freeLoopbackPort())},
        {u"listen 80;"_s, u"listen 127.0.0.1:%1;"_s.arg(freeLoopbackPort())},
        {u"listen [::]:80;"_s, QString()},
        {u"listen 443 ssl http2;"_s, u"listen 127.0.0.1:%1 ssl http2;"_s.arg(m_port)},
        {u"listen [::]:443 ssl http2;"_s, QString()},
        {u"/etc/ssl/certs/quillmere-site.pem"_s, work + u"/tls.pem"_s},
        {u"/etc/ssl/private/quillmere-site.key"_s, work + u"/tls.key"_s},
        {u"/srv/quillmere-site/files/"_s, files + u'/'},
    };
    for (const auto &[from, to] : replacements) {
        if (!site.contains(from))
            return u"the nginx site has no "_s + from;
        site.replace(from, to);
    }
    const QString config = uR"(daemon off;
master_process off;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 256; }
http {
    access_log off;
    client_body_temp_path %1/client_body;
    proxy_temp_path %1/proxy;
    fastcgi_temp_path %1/fastcgi;
    uwsgi_temp_path %1/uwsgi;
    scgi_temp_path %1/scgi;
%2
}
)"_s.arg(work, site);
    QFile file(work + u"/nginx.conf"_s);
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return file.errorString();
    file.close();
    m_nginx.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_nginx.start(m_nginxProgram, {u"-p"_s, work, u"-e"_s, work + u"/error.log"_s, u"-c"_s, file.fileName()});
    m_nginx.waitForStarted();
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (m_nginx.state() != QProcess::Running)
            break;
        if (curl({u"-o"_s, u"/dev/null"_s, url(u"healthz"_s)}).exitCode == 0)
            return {};
        QTest::qWait(50);
    }
    QFile log(work + u"/error.log"_s);
    log.open(QIODevice::ReadOnly);
    return u"nginx did not start: "_s + QString::fromUtf8(log.readAll());
}

std::unique_ptr<QProcess> TstSiteBehindNginx::startCurl(const QStringList &arguments) const
{
    auto process = std::make_unique<QProcess>();
    process->start(u"curl"_s, QStringList{u"--silent"_s, u"--insecure"_s, u"--http2"_s} + arguments);
    return process;
}

CurlRun TstSiteBehindNginx::curl(const QStringList &arguments) const
{
    const auto process = startCurl(arguments);
    process->waitForFinished(60000);
    return {process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1, process->readAllStandardOutput()};
}

CurlRun TstSiteBehindNginx::upload(const QByteArray &fileName, const QString &localFile,
                                   const QByteArray &forwardedFor)
{
    return curl({u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, u"-H"_s,
                 u"X-Forwarded-For: "_s + QString::fromLatin1(forwardedFor), u"-F"_s, u"category=软件"_s, u"-F"_s,
                 u"title=经 nginx 上传"_s, u"-F"_s, u"remark=e2e"_s, u"-F"_s,
                 u"file=@%1;filename=\"%2\""_s.arg(localFile, QString::fromUtf8(fileName)), url(u"wangyou/"_s)});
}

void TstSiteBehindNginx::believesOnlyTrustedProxies_data()
{
    QTest::addColumn<QStringList>("siteArguments");
    QTest::addColumn<QString>("client");

    // The client claims to come from 198.51.100.7 by way of 203.0.113.9; nginx adds the
    // address it saw, 127.0.0.1.
    QTest::newRow("trusted nginx") << QStringList{u"--trusted-proxy"_s, u"127.0.0.1"_s} << u"203.0.113.9"_s;
    QTest::newRow("trusted network, not nginx")
        << QStringList{u"--trusted-proxy"_s, u"10.0.0.0/8"_s} << u"127.0.0.1"_s;
    QTest::newRow("no trusted proxy") << QStringList{} << u"127.0.0.1"_s;
}

void TstSiteBehindNginx::believesOnlyTrustedProxies()
{
    QFETCH(QStringList, siteArguments);
    QFETCH(QString, client);
    const QString started = startEdge(siteArguments);
    QVERIFY2(started.isEmpty(), qPrintable(started));
    QFile data(m_work->filePath(u"small.txt"_s));
    QVERIFY(data.open(QIODevice::WriteOnly) && data.write("hello\n") == 6);
    data.close();

    const CurlRun posted = upload("small.txt", data.fileName(), "198.51.100.7, 203.0.113.9");
    QCOMPARE(posted.exitCode, 0);
    QVERIFY2(posted.out.startsWith("HTTP/2 303"), posted.out.constData());

    const ReferenceSite::CommandRun listed = m_site->command({u"list"_s, u"resources"_s, u"--recent"_s, u"1"_s});
    QCOMPARE(listed.exitCode, 0);
    QVERIFY2(listed.out.contains(u'\t' + client + u'\t'), qPrintable(listed.out));
    QByteArray log;
    QTRY_VERIFY((log += m_site->readOutput()).contains("POST /wangyou/"));
    const QByteArray line = log.sliced(log.lastIndexOf('\n', log.indexOf("POST /wangyou/")) + 1);
    QVERIFY2(line.startsWith(client.toLatin1() + ' '), line.constData());
}

void TstSiteBehindNginx::nginxSendsTheFiles()
{
    const QString started = startEdge({u"--trusted-proxy"_s, u"127.0.0.1"_s});
    QVERIFY2(started.isEmpty(), qPrintable(started));
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 17);
    QFile data(m_work->filePath(u"upload.bin"_s));
    QVERIFY(data.open(QIODevice::WriteOnly) && data.write(content) == content.size());
    data.close();
    // A name outside ASCII, escaped on its way through X-Accel-Redirect.
    const QByteArray name = u"测试 文件#1.bin"_s.toUtf8();
    QVERIFY(upload(name, data.fileName(), {}).out.startsWith("HTTP/2 303"));
    QDirIterator stored(m_work->filePath(u"files/wangyou/up"_s), QDir::Files, QDirIterator::Subdirectories);
    QString below;
    while (stored.hasNext() && below.isEmpty()) {
        if (stored.nextFileInfo().size() == content.size())
            below = QDir(m_work->filePath(u"files"_s)).relativeFilePath(stored.filePath());
    }
    QVERIFY2(below.contains(u"测试_文件"_s), qPrintable(below));
    const QString fileUrl = url(QString::fromLatin1(QUrl::toPercentEncoding(below, "/")));

    const CurlRun whole = curl({u"-D"_s, u"-"_s, fileUrl});
    QCOMPARE(whole.exitCode, 0);
    const qsizetype headEnd = whole.out.indexOf("\r\n\r\n") + 4;
    const QByteArray head = whole.out.first(headEnd).toLower();
    QVERIFY2(head.startsWith("http/2 200") && head.contains("content-security-policy: sandbox")
                 && head.contains("content-disposition: attachment") && !head.contains("x-accel-redirect"),
             head.constData());
    QVERIFY(whole.out.sliced(headEnd) == content);
    // The site answered with no byte of the file: nginx sent it.
    QByteArray log;
    QTRY_VERIFY((log += m_site->readOutput()).contains("GET /wangyou/up/"));
    QVERIFY2(log.contains("HTTP/1.1\" 200 0 "), log.constData());
    // Only the site's answers reach the files folder.
    QVERIFY(curl({u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, url(u"_quillmere-files/"_s + below)})
                .out.startsWith("HTTP/2 404"));

    // Four ranges at once, as a download accelerator fetches.
    const qsizetype quarter = content.size() / 4;
    std::vector<std::unique_ptr<QProcess>> parts;
    for (int part = 0; part < 4; ++part) {
        const qsizetype last = part == 3 ? content.size() - 1 : (part + 1) * quarter - 1;
        parts.push_back(startCurl({u"--range"_s, u"%1-%2"_s.arg(part * quarter).arg(last), fileUrl}));
    }
    QByteArray joined;
    for (const auto &part : parts) {
        QVERIFY(part->waitForFinished(60000));
        QCOMPARE(part->exitCode(), 0);
        joined += part->readAllStandardOutput();
    }
    QVERIFY(joined == content);

    // Cut after a third, then resumed from what is on disk.
    const QString partial = m_work->filePath(u"partial.bin"_s);
    QCOMPARE(curl({u"--range"_s, u"0-%1"_s.arg(content.size() / 3 - 1), u"-o"_s, partial, fileUrl}).exitCode, 0);
    QCOMPARE(QFileInfo(partial).size(), content.size() / 3);
    QCOMPARE(curl({u"--continue-at"_s, u"-"_s, u"-o"_s, partial, fileUrl}).exitCode, 0);
    QFile resumed(partial);
    QVERIFY(resumed.open(QIODevice::ReadOnly));
    QVERIFY(resumed.readAll() == content);
}

QTEST_GUILESS_MAIN(TstSiteBehindNginx)
#include "tst_site_behind_nginx.moc"
