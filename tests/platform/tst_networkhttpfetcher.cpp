#include "platform/NetworkHttpFetcher.h"

#include "support/ScriptedHttpServer.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace Quillmere;

class TstNetworkHttpFetcher : public QObject
{
    Q_OBJECT

private slots:
    void returnsTheWholeBodyUnchanged();
    void failsWithoutUsingAPartialBody_data();
    void failsWithoutUsingAPartialBody();
    void stalledTransferTimesOut();
    void bodyAboveTheLimitFails_data();
    void bodyAboveTheLimitFails();
    void tricklingAnswerFailsAtTheDeadline();
    void unreachableServerFails();
};

void TstNetworkHttpFetcher::returnsTheWholeBodyUnchanged()
{
    ScriptedHttpServer server;
    QByteArray body("\xEF\xBB\xBF\xE4\xB8\xAD\x00\x01\x02?TtbBa?1?1", 17);
    body += QByteArray(300000, 'x');
    server.setAnswer(u"/guanfang/admin_upload.php"_s, ScriptedHttpServer::reply(200, body));

    NetworkHttpFetcher fetcher;
    const QString url = server.root() + u"guanfang/admin_upload.php?page=2&q=%E4%B8%AD%2B&t=1"_s;
    const Result<QByteArray, HttpFetcher::Error> got = fetcher.get(url);
    QVERIFY(got);
    QCOMPARE(*got, body);
    // The encoded keyword reaches the server exactly as it was built.
    QCOMPARE(server.requestedTargets, QStringList(u"/guanfang/admin_upload.php?page=2&q=%E4%B8%AD%2B&t=1"_s));
}

void TstNetworkHttpFetcher::failsWithoutUsingAPartialBody_data()
{
    QTest::addColumn<ScriptedHttpServer::Answer>("answer");

    QTest::newRow("404") << ScriptedHttpServer::reply(404, "not here");
    QTest::newRow("500") << ScriptedHttpServer::reply(500, "?TtbBa?1?1");
    QTest::newRow("cut short of its Content-Length")
        << ScriptedHttpServer::Answer{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n?TtbBa?1?1", true};
    QTest::newRow("connection closed before any answer") << ScriptedHttpServer::Answer{QByteArray(), true};
    QTest::newRow("garbage instead of HTTP") << ScriptedHttpServer::Answer{"hello\r\n\r\n", true};
}

void TstNetworkHttpFetcher::failsWithoutUsingAPartialBody()
{
    QFETCH(ScriptedHttpServer::Answer, answer);
    ScriptedHttpServer server;
    server.setAnswer(u"/page"_s, answer);

    NetworkHttpFetcher fetcher;
    QVERIFY(!fetcher.get(server.root() + u"page"_s));
}

void TstNetworkHttpFetcher::stalledTransferTimesOut()
{
    ScriptedHttpServer server;
    server.setAnswer(u"/slow"_s, {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", false});

    NetworkHttpFetcher fetcher(200ms);
    QVERIFY(!fetcher.get(server.root() + u"slow"_s));
    QVERIFY(!fetcher.get(server.root() + u"never-answered"_s));
}

void TstNetworkHttpFetcher::bodyAboveTheLimitFails_data()
{
    QTest::addColumn<ScriptedHttpServer::Answer>("answer");
    QTest::addColumn<bool>("fetched");

    const QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    QTest::newRow("unstated length, body above the limit")
        << ScriptedHttpServer::Answer{head + "\r\n", true, false, 5000} << false;
    QTest::newRow("exactly the limit") << ScriptedHttpServer::Answer{head + "\r\n", true, false, 1000} << true;
}

void TstNetworkHttpFetcher::bodyAboveTheLimitFails()
{
    QFETCH(ScriptedHttpServer::Answer, answer);
    QFETCH(bool, fetched);
    ScriptedHttpServer server;
    server.setAnswer(u"/page"_s, answer);

    NetworkHttpFetcher fetcher(5s, 60s, 1000);
    const Result<QByteArray, HttpFetcher::Error> body = fetcher.get(server.root() + u"page"_s);
    QCOMPARE(body.ok(), fetched);
    if (fetched)
        QCOMPARE(body->size(), 1000);
}

// Every byte arrives well within the transfer time-out, but the whole never does.
void TstNetworkHttpFetcher::tricklingAnswerFailsAtTheDeadline()
{
    ScriptedHttpServer server;
    server.setAnswer(u"/page"_s, {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", true, false, 1000, 20ms});

    NetworkHttpFetcher fetcher(5s, 300ms);
    QVERIFY(!fetcher.get(server.root() + u"page"_s));
    QVERIFY(server.fillerSent < 1000);
}

void TstNetworkHttpFetcher::unreachableServerFails()
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    NetworkHttpFetcher fetcher;
    QVERIFY(!fetcher.get(u"http://127.0.0.1:%1/x"_s.arg(closedPort)));
    QVERIFY(!fetcher.get(u"not a url"_s));
}

QTEST_GUILESS_MAIN(TstNetworkHttpFetcher)
#include "tst_networkhttpfetcher.moc"
