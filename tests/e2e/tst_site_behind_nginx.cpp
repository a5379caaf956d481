#include "support/LocalPostgres.h"
#include "support/NetworkFolder.h"
#include "support/NginxEdge.h"
#include "support/RawHttpConnection.h"
#include "support/ReferenceSite.h"
#include "support/TestFiles.h"
#include "support/UploadForm.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct CurlRun
{
    int exitCode = -1;
    QByteArray out;  // the head with -D -, then the body unless written to a file
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator rng(7);
    for (char &byte : bytes)
        byte = char(rng.bounded(256));
    return bytes;
}

}  // namespace

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
    void slowUploadsStayWithNginx();
    void servedUnderAPath();
    void twoProcessesShareOneStore();

private:
    // The edge of NginxEdge::start, in a work folder of the test's own.
    QString startEdge(const QStringList &siteArguments, int processes = 1, const QString &filesFolder = {});
    CurlRun curl(const QStringList &arguments) const;
    std::unique_ptr<QProcess> startCurl(const QStringList &arguments) const;
    QString url(const QString &path) const { return m_edge.url(path); }
    // Posts a file to the upload page below root, nginx's unless given.
    CurlRun upload(const QByteArray &fileName, const QString &localFile, const QByteArray &forwardedFor,
                   const QString &title = u"经 nginx 上传"_s, const QString &root = QString());

    std::unique_ptr<QTemporaryDir> m_work;
    NginxEdge m_edge;
};

void TstSiteBehindNginx::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(u"nginx"_s, {u"/usr/sbin"_s, u"/usr/bin"_s}).isEmpty(),
             "needs nginx (scripts/setup.sh)");
    QVERIFY2(!QStandardPaths::findExecutable(u"curl"_s).isEmpty(), "needs curl (scripts/setup.sh)");
    QVERIFY2(!QStandardPaths::findExecutable(u"openssl"_s).isEmpty(), "needs openssl (scripts/setup.sh)");
}

void TstSiteBehindNginx::cleanup()
{
    m_edge.stop();
    m_edge.setServedUnderPath(false);
    m_work.reset();
}

QString TstSiteBehindNginx::startEdge(const QStringList &siteArguments, int processes, const QString &filesFolder)
{
    m_work = std::make_unique<QTemporaryDir>();
    return m_edge.start(m_work->path(), siteArguments, processes, filesFolder);
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

CurlRun TstSiteBehindNginx::upload(const QByteArray &fileName, const QString &localFile, const QByteArray &forwardedFor,
                                   const QString &title, const QString &root)
{
    return curl({u"--max-time"_s, u"20"_s, u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, u"-H"_s,
                 u"Host: 127.0.0.1:%1"_s.arg(m_edge.port()), u"-H"_s,
                 u"X-Forwarded-For: "_s + QString::fromLatin1(forwardedFor), u"-F"_s, u"category=软件"_s, u"-F"_s,
                 u"title="_s + title, u"-F"_s, u"remark=e2e"_s, u"-F"_s,
                 u"file=@%1;filename=\"%2\""_s.arg(localFile, QString::fromUtf8(fileName)),
                 (root.isEmpty() ? url(QString()) : root) + u"wangyou/"_s});
}

void TstSiteBehindNginx::believesOnlyTrustedProxies_data()
{
    QTest::addColumn<QStringList>("siteArguments");
    QTest::addColumn<QString>("client");

    // The client claims to come from 198.51.100.7 by way of 203.0.113.9; nginx adds the
    // address it saw, 127.0.0.1.
    QTest::newRow("trusted nginx") << QStringList{u"--trusted-proxy"_s, u"127.0.0.1"_s} << u"203.0.113.9"_s;
    QTest::newRow("trusted network, not nginx") << QStringList{u"--trusted-proxy"_s, u"10.0.0.0/8"_s} << u"127.0.0.1"_s;
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

    const ReferenceSite::CommandRun listed = m_edge.sites().front()->command(
        {u"list"_s, u"resources"_s, u"--recent"_s, u"1"_s});
    QCOMPARE(listed.exitCode, 0);
    QVERIFY2(listed.out.contains(u'\t' + client + u'\t'), qPrintable(listed.out));
    QByteArray log;
    QTRY_VERIFY((log += m_edge.sites().front()->readOutput()).contains("POST /wangyou/"));
    const QByteArray line = log.sliced(log.lastIndexOf('\n', log.indexOf("POST /wangyou/")) + 1);
    QVERIFY2(line.startsWith(client.toLatin1() + ' '), line.constData());
}

// Posts that state a megabyte and stop after a kilobyte: 72 from 9 addresses, 8 each, then
// 70 from one address more.
void TstSiteBehindNginx::slowUploadsStayWithNginx()
{
    const QString started = startEdge({u"--trusted-proxy"_s, u"127.0.0.1"_s});
    QVERIFY2(started.isEmpty(), qPrintable(started));
    // A TLS connection to nginx from a loopback address, its post sent.
    const auto slowPost = [&](const QHostAddress &from, const QByteArray &path) {
        auto post = std::make_unique<RawHttpConnection>(m_edge.port(), from, RawHttpConnection::Transport::Tls);
        post->send("POST " + path + " HTTP/1.1\r\nHost: " + post->host() + "\r\nContent-Type: "
                   + UploadForm::contentType() + "\r\nContent-Length: 1000000\r\n\r\n" + QByteArray(1000, 'x'));
        return post;
    };
    std::vector<std::unique_ptr<RawHttpConnection>> slow;
    for (int i = 0; i < 72; ++i) {
        slow.push_back(slowPost(QHostAddress(u"127.0.0.%1"_s.arg(2 + i / 8)), "/wangyou/"));
        QVERIFY(slow.back()->isOpen() && slow.back()->waitSent());
    }
    // nginx holds the bodies until they are whole: the site has none of them, and serves everyone.
    for (int visitor = 0; visitor < 5; ++visitor)
        QVERIFY(curl({u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, url(u"zorvik/"_s)}).out.startsWith("HTTP/2 200"));

    // One address past its 64 connections at nginx is told so at once.
    std::vector<std::unique_ptr<RawHttpConnection>> greedy;
    for (int i = 0; i < 70; ++i) {
        greedy.push_back(slowPost(QHostAddress(u"127.0.0.20"_s), "/zorvik/"));
        QVERIFY(greedy.back()->isOpen() && greedy.back()->waitSent());
    }
    const auto refused = [&] {
        return std::count_if(greedy.begin(), greedy.end(),
                             [](const auto &connection) { return connection->statusSoFar() == 503; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(refused() == 6, 30000);
    QVERIFY(curl({u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, url(u"zorvik/"_s)}).out.startsWith("HTTP/2 200"));
}

// Every link the site writes, and the redirect after an upload, go below /share/; the site
// also answers paths nginx has passed without the prefix.
void TstSiteBehindNginx::servedUnderAPath()
{
    m_edge.setServedUnderPath(true);
    const QString started = startEdge({u"--trusted-proxy"_s, u"127.0.0.1"_s});
    QVERIFY2(started.isEmpty(), qPrintable(started));
    const QByteArray share = url(u"share/"_s).toLatin1();
    const QByteArray start = curl({url(u"share/zorvik/"_s)}).out;
    QVERIFY2(start.contains("href=\"" + share + "zorvik/\""), start.constData());
    QVERIFY(curl({url(u"share/wangyou/"_s)}).out.contains("action=\"" + share + "wangyou/\""));

    QFile data(m_work->filePath(u"small.txt"_s));
    QVERIFY(data.open(QIODevice::WriteOnly) && data.write("hello\n") == 6);
    data.close();
    const CurlRun posted = upload("small.txt", data.fileName(), {}, u"路径下上传"_s, url(u"share/"_s));
    static const QRegularExpression location(u"(?i)\r\nlocation: (\\S+)\r\n"_s);
    const QString done = location.match(QString::fromLatin1(posted.out)).captured(1);
    QVERIFY2(done.startsWith(QString::fromLatin1(share) + u"wangyou/?done="_s), posted.out.constData());
    const QByteArray donePage = curl({done}).out;
    static const QRegularExpression fileLink(u"href=\"([^\"]+/wangyou/up/[^\"]+small\\.txt)\""_s);
    const QString uploaded = fileLink.match(QString::fromUtf8(donePage)).captured(1);
    QVERIFY2(uploaded.startsWith(QString::fromLatin1(share)), donePage.constData());
    QCOMPARE(curl({uploaded}).out, "hello\n"_ba);

    const QByteArray catalogue = curl({url(u"share/guanfang/admin_upload.php"_s)}).out;
    static const QRegularExpression officialLink(u"/\\*/(https://[^/]+/share/guanfang/files/[^/?]+)"_s);
    const QString official = officialLink.match(QString::fromUtf8(catalogue)).captured(1);
    QVERIFY2(!official.isEmpty(), catalogue.constData());
    QVERIFY(curl({u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, official}).out.startsWith("HTTP/2 200"));

    // As nginx passes it when its location takes the prefix off.
    const CurlRun stripped = curl({u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, u"-H"_s,
                                   u"Host: 127.0.0.1:%1"_s.arg(m_edge.port()),
                                   m_edge.sites().front()->root() + u"zorvik/"_s});
    QVERIFY2(stripped.out.startsWith("HTTP/1.1 200"), stripped.out.constData());
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
    // The digest was taken as the upload streamed in, and nginx passes it on, ranged answers too.
    const QByteArray digest = "repr-digest: sha-256=:"
        + QCryptographicHash::hash(content, QCryptographicHash::Sha256).toBase64().toLower();
    QVERIFY2(head.startsWith("http/2 200") && head.contains("content-security-policy: sandbox")
                 && head.contains("content-disposition: attachment") && !head.contains("x-accel-redirect")
                 && head.contains(digest),
             head.constData());
    const QByteArray ranged =
        curl({u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, u"--range"_s, u"5-9"_s, fileUrl}).out.toLower();
    QVERIFY2(ranged.startsWith("http/2 206") && ranged.contains(digest), ranged.constData());
    QVERIFY(whole.out.sliced(headEnd) == content);
    // The site answered with no byte of the file: nginx sent it.
    QByteArray log;
    QTRY_VERIFY((log += m_edge.sites().front()->readOutput()).contains("GET /wangyou/up/"));
    QVERIFY2(log.contains("HTTP/1.1\" 200 0 "), log.constData());
    // Only the site's answers reach the files folder.
    QVERIFY(
        curl({u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, url(u"_quillmere-files/"_s + below)}).out.startsWith("HTTP/2 404"));

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

// Two site processes on one PostgreSQL store and one files folder on a network file system,
// behind nginx.
void TstSiteBehindNginx::twoProcessesShareOneStore()
{
    LocalPostgres postgres;
    QVERIFY2(postgres.start(), qPrintable(postgres.errorString()));
    const QString database = postgres.createDatabase(u"site"_s);
    QVERIFY2(!database.isEmpty(), qPrintable(postgres.errorString()));
    NetworkFolder shared;
    QVERIFY2(shared.start(), qPrintable(shared.errorString()));
    // As on NFS, an upload cannot be received without a name there.
    const int unnamed = ::open(QFile::encodeName(shared.path()).constData(), O_TMPFILE | O_WRONLY, 0600);
    QVERIFY2(unnamed < 0 && errno == EOPNOTSUPP,
             qPrintable(u"made an unnamed file on "_s + QStorageInfo(shared.path()).fileSystemType()));
    const QStringList arguments{u"--database"_s,         database, u"--trusted-proxy"_s, u"127.0.0.1"_s,
                                u"--message-interval"_s, u"600"_s};
    const QString started = startEdge(arguments, 2, shared.path());
    QVERIFY2(started.isEmpty(), qPrintable(started));
    const auto uploadedFiles = [&] { return filesBelow(shared.exportedPath() + u"/wangyou/up"_s); };
    const qsizetype sampleFiles = uploadedFiles().size();
    ReferenceSite &a = *m_edge.sites()[0];
    ReferenceSite &b = *m_edge.sites()[1];
    QFile data(m_work->filePath(u"small.txt"_s));
    QVERIFY(data.open(QIODevice::WriteOnly) && data.write("hello\n") == 6);
    data.close();
    const auto status = [](const CurlRun &run) { return run.out.split(' ').value(1).toInt(); };
    // Straight to one process, past nginx, with the Host nginx would pass on.
    const QStringList nginxHost{u"-H"_s, u"Host: 127.0.0.1:%1"_s.arg(m_edge.port())};
    const QStringList asNginx = QStringList{u"-D"_s, u"-"_s} + nginxHost;
    const auto get = [&](const ReferenceSite &site, const QString &path) {
        return curl(asNginx + QStringList{u"--max-time"_s, u"20"_s, site.root() + path});
    };
    const auto catalogue = [&](const ReferenceSite &site) { return get(site, u"wangyou/users_upload.php"_s); };

    // What one process takes, the other shows as soon as the news comes, its cached page
    // notwithstanding.
    QVERIFY(status(catalogue(b)) == 200 && !catalogue(b).out.contains("through-a"));
    QCOMPARE(status(upload("a.txt", data.fileName(), {}, u"through-a"_s, a.root())), 303);
    QTRY_VERIFY(catalogue(b).out.contains("through-a"));
    // nginx sends it from the shared folder.
    const QStringList kept = uploadedFiles().filter(u"/a.txt"_s);
    QCOMPARE(kept.size(), 1);
    const QString below = u"wangyou/up/"_s + kept.first();
    QCOMPARE(curl({url(QString::fromLatin1(QUrl::toPercentEncoding(below, "/")))}).out, "hello\n");

    // One address, one message for both processes.
    const auto post = [&](const ReferenceSite &site, const QString &text) {
        return status(curl(asNginx
                           + QStringList{u"-o"_s, u"/dev/null"_s, u"-H"_s, u"X-Forwarded-For: 198.51.100.20"_s, u"-d"_s,
                                         u"name=a&text="_s + text, site.root() + u"nds_wd-nds_wd.html"_s}));
    };
    QCOMPARE(post(a, u"first"_s), 303);
    QCOMPARE(post(b, u"second"_s), 429);

    // A dies under load; nginx answers from the other.
    QProcess load;
    load.start(u"wrk"_s, {u"-t1"_s, u"-c4"_s, u"-d3s"_s, url(u"wangyou/users_upload.php"_s)});
    QVERIFY2(load.waitForStarted(), "needs wrk (scripts/setup.sh)");
    QTest::qWait(1000);
    const int portA = QUrl(a.root()).port();
    QCOMPARE(::kill(pid_t(a.processId()), SIGKILL), 0);
    QVERIFY(load.waitForFinished(30000));
    const QString report = QString::fromUtf8(load.readAllStandardOutput());
    const auto counted = [&](const QString &pattern) {
        qint64 sum = 0;
        for (QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(report); it.hasNext();)
            sum += it.next().captured(1).toLongLong();
        return sum;
    };
    const qint64 requests = counted(u"(\\d+) requests in"_s);
    const qint64 failed = counted(u"Non-2xx or 3xx responses: (\\d+)"_s)
        + counted(u"(?:connect|read|write|timeout) (\\d+)"_s);
    qInfo("%lld of %lld requests failed while a process was killed", failed, requests);
    QVERIFY2(requests > 0, qPrintable(report));
    for (int request = 0; request < 4; ++request)
        QVERIFY(curl({u"-D"_s, u"-"_s, u"-o"_s, u"/dev/null"_s, url(u"healthz"_s)}).out.startsWith("HTTP/2 200"));
    a.setExtraArguments(a.extraArguments() + QStringList{u"--port"_s, QString::number(portA)});
    QVERIFY2(a.start(), qPrintable(a.errorString()));
    QCOMPARE(QUrl(a.root()).port(), portA);
    QCOMPARE(status(get(a, u"healthz"_s)), 200);
    QCOMPARE(status(get(b, u"healthz"_s)), 200);

    // PostgreSQL restarts while both take uploads, paced to outlast the restart; each comes
    // back by itself, and every upload answered as taken is kept.
    qsizetype uploads = 1;
    std::vector<std::unique_ptr<QProcess>> uploaders;
    for (const ReferenceSite *site : {&a, &b}) {
        uploaders.push_back(
            startCurl(nginxHost
                      + QStringList{u"--rate"_s, u"40/s"_s, u"--max-time"_s, u"20"_s, u"-o"_s, u"/dev/null"_s, u"-w"_s,
                                    u"%{http_code}\n"_s, u"-F"_s, u"category=软件"_s, u"-F"_s,
                                    u"title=restart-%1"_s.arg(site == &a ? 'a' : 'b'), u"-F"_s, u"remark=e2e"_s,
                                    u"-F"_s, u"file=@"_s + data.fileName(), site->root() + u"wangyou/?n=[1-120]"_s}));
        QVERIFY(uploaders.back()->waitForStarted());
    }
    postgres.stop();
    QVERIFY2(postgres.start(), qPrintable(postgres.errorString()));
    for (std::size_t i = 0; i < uploaders.size(); ++i) {
        ReferenceSite &site = i == 0 ? a : b;
        const QString title = u"restart-%1"_s.arg(i == 0 ? 'a' : 'b');
        QVERIFY(uploaders[i]->waitForFinished(60000));
        const QList<QByteArray> codes = uploaders[i]->readAllStandardOutput().split('\n');
        QCOMPARE(codes.size() - 1, 120);
        qsizetype taken = codes.count("303");
        qInfo("%lld of 120 uploads taken by %c across the restart", qint64(taken), i == 0 ? 'a' : 'b');
        // Some were turned away while the store was gone.
        QVERIFY(taken < 120);
        QTRY_COMPARE_WITH_TIMEOUT(status(get(site, u"healthz"_s)), 200, 30000);
        QCOMPARE(status(catalogue(site)), 200);
        QCOMPARE(status(upload("r.txt", data.fileName(), {}, title, site.root())), 303);
        ++taken;
        const ReferenceSite::CommandRun listed = ReferenceSite::runProgram(
            {u"list"_s, u"resources"_s, u"--recent"_s, u"1000"_s, u"--database"_s, database});
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out.count(title), taken);
        uploads += taken;
    }
    // Each upload kept has its own file, all the same name, and those turned away left none.
    QCOMPARE(uploadedFiles().size() - sampleFiles, uploads);
}

QTEST_GUILESS_MAIN(TstSiteBehindNginx)
#include "tst_site_behind_nginx.moc"
