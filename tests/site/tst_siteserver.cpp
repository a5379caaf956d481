#include "site/SiteServer.h"
#include "site/store/SiteStore.h"
#include "support/HttpClient.h"
#include "support/RawHttpConnection.h"
#include "support/SiteDatabase.h"
#include "support/UploadForm.h"

#include <QMutex>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

constexpr int WaitMs = 30000;
const QByteArray UserPage = "/wangyou/users_upload.php?page=1";
const QByteArray FormType = "application/x-www-form-urlencoded";

// Larger than a connection's memory, so that the file comes in many reads.
const QByteArray UploadData(200 * 1024, 'x');

}  // namespace

// The site's server in this process, so that its answers to HEAD, its guards against foreign
// and hasty posts, and what it does when its store or its log fails can be watched at work.
class TstSiteServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void headAnswersLikeGetWithoutBody();
    void crossSitePostsAreRefused_data();
    void crossSitePostsAreRefused();
    void floodsAreRefusedWithAMessage();
    void newUploadShowsAtOnce();
    void storeFailuresAreLoggedAndReported();
    void unreadAccessLogNeverStopsTheSite();

private:
    // What a site whose standard output nobody reads did.
    struct UnreadOutput
    {
        int answered = 0;
        int warningsBeforeRead = 0;
        bool readAtLast = false;  // the log came once read, and a line after it
        QByteArray log;
        QStringList warnings;  // the site's, until it stopped
    };
    UnreadOutput withUnreadOutput(int requests);

    void start(const SiteServer::Options &options = {});
    QString url(const QByteArray &target) const;
    qint64 messageCount() const { return m_store->findMessages(1).value().total; }

    // One store for all, each test with a server of its own options.
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<SiteStore> m_store;
    std::unique_ptr<SiteServer> m_server;
    HttpClient m_http;
};

// A store of each test's own: the allowance of posts is counted there and outlives a server.
void TstSiteServer::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    m_store = std::make_unique<SiteStore>(m_data->path());
    QVERIFY(m_store->open());
}

void TstSiteServer::cleanup()
{
    m_server.reset();
    m_store.reset();
}

void TstSiteServer::start(const SiteServer::Options &options)
{
    m_server = std::make_unique<SiteServer>(*m_store, options);
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
}

QString TstSiteServer::url(const QByteArray &target) const
{
    return u"http://127.0.0.1:%1"_s.arg(m_server->serverPort()) + QString::fromLatin1(target);
}

void TstSiteServer::headAnswersLikeGetWithoutBody()
{
    start();
    const QString file = QDir(m_store->officialFilesFolder()).entryList(QDir::Files).value(0);
    QVERIFY(!file.isEmpty());
    for (const QByteArray &target : {UserPage, "/guanfang/files/" + file.toUtf8()}) {
        // Sent ahead on one connection: the GET's answer would be garbled if HEAD's had a body.
        RawHttpConnection client(m_server->serverPort());
        client.send("HEAD " + target + " HTTP/1.1\r\nHost: " + client.host() + "\r\n\r\nGET " + target
                    + " HTTP/1.1\r\nHost: " + client.host() + "\r\n\r\n");
        const RawHttpConnection::Answer head = client.answerToHead();
        const RawHttpConnection::Answer get = client.answer();
        QCOMPARE(head.head, get.head);
        QVERIFY(head.head.startsWith("HTTP/1.1 200 OK"));
        QVERIFY(!get.body.isEmpty());
    }
}

void TstSiteServer::crossSitePostsAreRefused_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("status");
    QTest::newRow("foreign origin") << "Origin"_ba
                                    << "http://evil.example"_ba << 403;
    QTest::newRow("foreign referer") << "Referer"_ba
                                     << "http://evil.example/form.html"_ba << 403;
    QTest::newRow("own origin") << "Origin"_ba
                                << "http://127.0.0.1:%1"_ba << 303;
    QTest::newRow("neither (a script)") << QByteArray() << QByteArray() << 303;
}

void TstSiteServer::crossSitePostsAreRefused()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, value);
    QFETCH(int, status);
    start();
    value.replace("%1", QByteArray::number(m_server->serverPort()));
    const qint64 messages = messageCount();
    const auto headers = header.isEmpty() ? QList<std::pair<QByteArray, QByteArray>>() : QList{std::pair{header, value}};
    QCOMPARE(m_http.post(url("/nds_wd-nds_wd.html"), FormType, "name=a&text=b", headers).status, status);
    QCOMPARE(messageCount(), messages + (status == 303 ? 1 : 0));
    const HttpClient::Reply upload = m_http.post(url("/wangyou/"), UploadForm::contentType(),
                                                 UploadForm::body(u"跨站"_s, "a.bin", UploadData), headers);
    QCOMPARE(upload.status, status);
}

void TstSiteServer::floodsAreRefusedWithAMessage()
{
    start();  // one message in 10 s, three uploads a minute
    const qint64 messages = messageCount();
    QCOMPARE(m_http.post(url("/nds_wd-nds_wd.html"), FormType, "name=a&text=first").status, 303);
    const HttpClient::Reply again = m_http.post(url("/nds_wd-nds_wd.html"), FormType, "name=a&text=second");
    QCOMPARE(again.status, 429);
    QVERIFY(again.text().contains(u"发言过于频繁，请稍后再试。"_s));
    QVERIFY(again.text().contains(u"second"_s));  // what was typed is kept
    QVERIFY(!again.header("Retry-After").isEmpty());
    QCOMPARE(messageCount(), messages + 1);

    for (int i = 0; i < 3; ++i)
        QCOMPARE(
            m_http.post(url("/wangyou/"), UploadForm::contentType(), UploadForm::body(u"一"_s, "a.bin", UploadData)).status,
            303);
    const HttpClient::Reply upload = m_http.post(url("/wangyou/"), UploadForm::contentType(),
                                                 UploadForm::body(u"四"_s, "a.bin", UploadData));
    QCOMPARE(upload.status, 429);
    QVERIFY(upload.text().contains(u"上传过于频繁，请稍后再试。"_s));
}

void TstSiteServer::newUploadShowsAtOnce()
{
    start();
    const QByteArray search = "/wangyou/users_upload.php?page=1&q=%E6%96%B0%E4%B8%8A%E4%BC%A0";
    const QByteArray before = m_http.get(url(UserPage)).body;
    QVERIFY(m_http.get(url(search)).body.startsWith("?TtbBa?0?"));
    QCOMPARE(m_http.get(url(UserPage)).body, before);  // from the cache

    QCOMPARE(
        m_http.post(url("/wangyou/"), UploadForm::contentType(), UploadForm::body(u"新上传"_s, "a.bin", UploadData)).status,
        303);
    QVERIFY(m_http.get(url(UserPage)).text().startsWith(u"软件\u0002新上传"_s));
    QVERIFY(m_http.get(url(search)).text().contains(u"?TtbBa?1?"_s));
}

// A database that stops answering turns the health check to 503, and every failure reaches
// the log in the database's own words.
void TstSiteServer::storeFailuresAreLoggedAndReported()
{
    start();
    QCOMPARE(m_http.get(url("/healthz")).status, 200);
    QCOMPARE(m_http.get(url(UserPage)).status, 200);
    const auto renamed = [this](const QString &from, const QString &to) {
        return execInDatabase(m_data->filePath(u"site.sqlite"_s), {u"ALTER TABLE %1 RENAME TO %2"_s.arg(from, to)});
    };
    QVERIFY(renamed(u"resources"_s, u"resources_away"_s));
    // The site reads the store's revision at most that often: a change shows once it is past.
    QTest::qWait(2 * CatalogueCache::RevisionMs);

    QTest::ignoreMessage(QtCriticalMsg,
                         QRegularExpression(u"^health check: the store failed: no such table: resources"_s));
    const HttpClient::Reply health = m_http.get(url("/healthz"));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^the store failed: no such table: resources"_s));
    const HttpClient::Reply catalogue = m_http.get(url(UserPage));
    QVERIFY(renamed(u"resources_away"_s, u"resources"_s));
    QCOMPARE(health.status, 503);
    QCOMPARE(catalogue.status, 500);  // not the cached page of a catalogue that may have changed
    QCOMPARE(m_http.get(url("/healthz")).status, 200);
}

namespace {

QMutex warningsMutex;
QStringList warnings;

void keepWarning(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    const QMutexLocker locker(&warningsMutex);
    if (type == QtWarningMsg)
        warnings.append(text);
}

QStringList warningsSoFar()
{
    const QMutexLocker locker(&warningsMutex);
    return warnings;
}

}  // namespace

// Standard output as a pipe nobody reads, as a service's output may be: it fills after some
// dozens of lines, and the site answers all the same. Once read, it gets the lines that were
// kept and the count of those that were not.
void TstSiteServer::unreadAccessLogNeverStopsTheSite()
{
    constexpr int Requests = 3000;
    UnreadOutput run = withUnreadOutput(Requests);
    run.warnings = warningsSoFar();
    QCOMPARE(run.answered, Requests);
    QVERIFY(run.readAtLast);
    QCOMPARE(run.warningsBeforeRead, 0);
    QCOMPARE(run.warnings.size(), 1);
    static const QRegularExpression dropped(u"^the access log dropped (\\d+) lines"_s);
    const QRegularExpressionMatch match = dropped.match(run.warnings.first());
    QVERIFY2(match.hasMatch(), qPrintable(run.warnings.first()));
    QVERIFY(match.captured(1).toInt() > 0);
    QCOMPARE(run.log.count("GET /nothing?aaa") + match.captured(1).toInt(), Requests);
}

TstSiteServer::UnreadOutput TstSiteServer::withUnreadOutput(int requests)
{
    UnreadOutput run;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return run;
    std::fflush(stdout);
    const int savedOutput = ::dup(STDOUT_FILENO);
    ::dup2(ends[1], STDOUT_FILENO);
    ::close(ends[1]);
    // QtTest writes its own lines on standard output: nothing may reach it while it is the pipe.
    warnings.clear();
    const QtMessageHandler testsHandler = qInstallMessageHandler(keepWarning);
    const auto restore = qScopeGuard([&] {
        m_server.reset();
        ::dup2(savedOutput, STDOUT_FILENO);
        ::close(savedOutput);
        ::close(ends[0]);
        qInstallMessageHandler(testsHandler);
    });

    m_server = std::make_unique<SiteServer>(*m_store, SiteServer::Options());
    m_server->setAccessLog(true);
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        return run;
    const QString padded = url("/nothing?" + QByteArray(1000, 'a'));
    for (int i = 0; i < requests; ++i)
        run.answered += m_http.get(padded).status == 404 ? 1 : 0;
    run.warningsBeforeRead = int(warningsSoFar().size());

    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    const auto read = [&] {
        char piece[65536];
        for (ssize_t got; (got = ::read(ends[0], piece, sizeof piece)) > 0;)
            run.log.append(piece, got);
    };
    // What comes after the dropped lines' count is written after it.
    run.readAtLast = QTest::qWaitFor(
                         [&] {
                             read();
                             return !warningsSoFar().isEmpty();
                         },
                         WaitMs)
        && m_http.get(url("/nothing?after")).status == 404
        && QTest::qWaitFor(
                         [&] {
                             read();
                             return run.log.contains("GET /nothing?after ");
                         },
                         WaitMs);
    return run;
}

QTEST_GUILESS_MAIN(TstSiteServer)
#include "tst_siteserver.moc"
