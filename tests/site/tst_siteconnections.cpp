#include "site/SiteServer.h"
#include "site/store/SiteStore.h"
#include "support/HttpClient.h"
#include "support/RawHttpConnection.h"
#include "support/ReferenceSite.h"
#include "support/TestFiles.h"
#include "support/UploadForm.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
using namespace Site;

using Answer = RawHttpConnection::Answer;

// How the site holds connections: when it ends them, the deadlines that free them from slow
// clients while others are served, and the caps on how many one client and all of them hold.
// Most run the site's server in this process with short time-outs; the caps run the program.
class TstSiteConnections : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void connectionEndsAsAsked_data();
    void connectionEndsAsAsked();
    void halfClosedKeepAliveIsAnswered();

    void slowClientsAreClosedWhileOthersAreServed_data();
    void slowClientsAreClosedWhileOthersAreServed();
    void headHasADeadlineOfItsOwn_data();
    void headHasADeadlineOfItsOwn();

    void clientsPastTheirShareAreTurnedAway();
    void fullTableGivesWay_data();
    void fullTableGivesWay();

private:
    void start(const SiteServer::Options &options = {});
    quint16 port() const { return m_server->serverPort(); }

    // One store for all, each test with a server of its own options.
    QTemporaryDir m_data;
    std::unique_ptr<SiteStore> m_store;
    std::unique_ptr<SiteServer> m_server;
};

void TstSiteConnections::initTestCase()
{
    m_store = std::make_unique<SiteStore>(m_data.path());
    QVERIFY(m_store->open());
}

void TstSiteConnections::cleanup()
{
    m_server.reset();
}

void TstSiteConnections::start(const SiteServer::Options &options)
{
    m_server = std::make_unique<SiteServer>(*m_store, options);
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
}

void TstSiteConnections::connectionEndsAsAsked_data()
{
    QTest::addColumn<QByteArray>("head");  // "<host>" stands for the site's own
    QTest::addColumn<bool>("closes");
    QTest::newRow("HTTP/1.0") << "GET /zorvik/ HTTP/1.0\r\n\r\n"_ba << true;
    QTest::newRow("HTTP/1.0 keep-alive") << "GET /zorvik/ HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"_ba << false;
    QTest::newRow("HTTP/1.1") << "GET /zorvik/ HTTP/1.1\r\nHost: <host>\r\n\r\n"_ba << false;
    QTest::newRow("HTTP/1.1 close") << "GET /zorvik/ HTTP/1.1\r\nHost: <host>\r\nConnection: close\r\n\r\n"_ba << true;
    QTest::newRow("not found, HTTP/1.0") << "GET /nothing HTTP/1.0\r\n\r\n"_ba << true;
}

void TstSiteConnections::connectionEndsAsAsked()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, closes);
    start();
    RawHttpConnection client(port());
    head.replace("<host>", client.host());
    client.send(head);
    const Answer first = client.answer();
    QVERIFY(first.status != 0);
    if (closes) {
        QVERIFY(client.waitClosed());
        QVERIFY(first.head.contains("\r\nConnection: close"));
        QCOMPARE(client.answer(0).status, 0);
        return;
    }
    // An open connection takes the next request and answers it as well.
    client.send(head);
    QCOMPARE(client.answer().body, first.body);
    QVERIFY(client.isOpen());
}

void TstSiteConnections::halfClosedKeepAliveIsAnswered()
{
    start();
    // A tool that sends its request and closes its half, as "nc -N" does, still reads the answer.
    for (int attempt = 0; attempt < 10; ++attempt) {
        RawHttpConnection connection(port());
        connection.send("GET /zorvik/ HTTP/1.1\r\nHost: " + connection.host() + "\r\n\r\n");
        QVERIFY(connection.finishSending());
        const Answer answer = connection.answer();
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.body.contains("</html>"));
    }
}

void TstSiteConnections::slowClientsAreClosedWhileOthersAreServed_data()
{
    QTest::addColumn<QByteArray>("sent");      // "<host>" stands for the site's own
    QTest::addColumn<QByteArray>("trickled");  // then sent a byte a tenth of a second
    QTest::newRow("half a head") << "GET /zorvik/ HTTP/1.1\r\nHost: 127"_ba << QByteArray();
    QTest::newRow("stalled body") << "POST /nds_wd-nds_wd.html HTTP/1.1\r\nHost: <host>\r\nContent-Length: 100\r\n\r\nname="_ba
                                  << QByteArray();
    QTest::newRow("idle after an answer") << "GET /zorvik/ HTTP/1.1\r\nHost: <host>\r\n\r\n"_ba << QByteArray();
    QTest::newRow("nothing at all") << QByteArray() << QByteArray();
    // Ten bytes a second are never quiet long enough for the idle time-out, and far below the
    // least rate a body must come at.
    const QByteArray promised = UploadForm::body(u"t"_s, "slow.bin", QByteArray(10 * 1000 * 1000, 's'));
    const QByteArray head = "POST /wangyou/ HTTP/1.1\r\nHost: <host>\r\nContent-Type: " + UploadForm::contentType()
        + "\r\nContent-Length: " + QByteArray::number(promised.size()) + "\r\n\r\n";
    QTest::newRow("trickled upload") << head + promised.first(200) << promised.sliced(200, 1000);
}

void TstSiteConnections::slowClientsAreClosedWhileOthersAreServed()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, trickled);
    SiteServer::Options options;
    options.limits.headTimeoutSeconds = 1;
    // The library's own time-out counts whole seconds: at one it could strike between two trickled bytes.
    options.limits.idleTimeoutSeconds = 2;
    options.uploadsPerWindow = 0;
    start(options);
    std::vector<std::unique_ptr<RawHttpConnection>> slow;
    for (int i = 0; i < 20; ++i) {
        slow.push_back(std::make_unique<RawHttpConnection>(port()));
        slow.back()->send(QByteArray(sent).replace("<host>", slow.back()->host()));
    }
    qsizetype at = 0;
    QTimer trickle;
    connect(&trickle, &QTimer::timeout, this, [&] {
        for (const auto &client : slow)
            client->send(trickled.sliced(at, 1));
        if (++at == trickled.size())
            trickle.stop();
    });
    if (!trickled.isEmpty())
        trickle.start(100);

    const QByteArray form = UploadForm::body(u"t"_s, "honest.bin", QByteArray(1024 * 1024, 'h'));
    const QString upload = u"http://127.0.0.1:%1/wangyou/"_s.arg(port());
    QCOMPARE(HttpClient().post(upload, UploadForm::contentType(), form).status, 303);
    for (const auto &client : slow)
        QVERIFY(client->waitClosed());
}

// The deadline is for the whole head: pieces that keep coming neither stretch it nor are cut
// off while the head arrives in time.
void TstSiteConnections::headHasADeadlineOfItsOwn_data()
{
    QTest::addColumn<QByteArray>("head");  // "<host>" stands for the site's own
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<int>("deadlineSeconds");
    QTest::addColumn<bool>("answered");

    QByteArray filled = "GET /zorvik/ HTTP/1.1\r\nHost: <host>\r\n";
    for (int i = 0; i < 60; ++i)
        filled += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(40, 'f') + "\r\n";
    QTest::newRow("in pieces, whole in time") << filled + "Connection: close\r\n\r\n" << 3 << 1 << 10 << true;
    // A byte every tenth of a second is never quiet long enough for a time-out between bytes.
    // The library's own time-out counts whole seconds: at one second it could strike between
    // two bytes, and this row would not tell it from the deadline.
    QTest::newRow("a byte every tenth of a second, never whole")
        << "GET /zorvik/ HTTP/1.1\r\nHost: <host>\r\nX-Slow: " + QByteArray(100, 'x') << 1 << 100 << 2 << false;
}

void TstSiteConnections::headHasADeadlineOfItsOwn()
{
    QFETCH(QByteArray, head);
    QFETCH(int, piece);
    QFETCH(int, pauseMs);
    QFETCH(int, deadlineSeconds);
    QFETCH(bool, answered);
    SiteServer::Options options;
    options.limits.headTimeoutSeconds = deadlineSeconds;
    start(options);
    RawHttpConnection client(port());
    client.sendSlowly(head.replace("<host>", client.host()), piece, pauseMs);
    if (!answered) {
        QVERIFY(!client.isOpen());
        QCOMPARE(client.answer(0).status, 0);
        return;
    }
    const Answer answer = client.answer();
    QCOMPARE(answer.status, 200);
    QVERIFY(answer.body.contains("</html>"));
}

// Past its share a client is told 503 with a time to come back, and its connection is closed;
// the first refusal leaves a line in the log at once, and its repeats one more.
void TstSiteConnections::clientsPastTheirShareAreTurnedAway()
{
    QTemporaryDir work;
    const QString errors = work.filePath(u"errors.log"_s);
    ReferenceSite site;
    site.setErrorFile(errors);
    site.setExtraArguments({u"--client-connections"_s, u"2"_s});
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    const QHostAddress flooder(u"127.0.0.6"_s);
    // One connection answered and kept open, and one that has sent nothing yet: both count.
    RawHttpConnection kept(site.port(), flooder);
    kept.send("GET /healthz HTTP/1.1\r\nHost: " + kept.host() + "\r\n\r\n");
    QCOMPARE(kept.answer().status, 200);
    RawHttpConnection silent(site.port(), flooder);
    for (int i = 0; i < 40; ++i) {
        RawHttpConnection refused(site.port(), flooder);
        refused.send("GET /zorvik/ HTTP/1.1\r\nHost: " + refused.host() + "\r\n\r\n");
        const Answer answer = refused.answer();
        QCOMPARE(answer.status, 503);
        QVERIFY(!answer.header("Retry-After").isEmpty());
        QVERIFY(refused.waitClosed());
    }
    const auto lines = [&] {
        QList<QByteArray> found = readFile(errors).split('\n');
        found.removeIf([](const QByteArray &line) { return !line.contains("127.0.0.6"); });
        return found;
    };
    QTRY_VERIFY_WITH_TIMEOUT(lines().size() == 2, RawHttpConnection::WaitMs);
    QCOMPARE(lines().first(), "warning: 127.0.0.6: refused a connection: the client holds 2 already"_ba);
    QCOMPARE(lines().last(),
             "warning: 127.0.0.6: refused a connection: the client holds 2 already, 39 more times in 10 s"_ba);
}

void TstSiteConnections::fullTableGivesWay_data()
{
    QTest::addColumn<bool>("idle");  // else unfinished heads
    QTest::newRow("idle keep-alive connections") << true;
    QTest::newRow("unfinished heads") << false;
}

// The table holds 24, filled from three addresses (as 16 x 63 would fill 1000): a newcomer
// is served, and a held connection gives way.
void TstSiteConnections::fullTableGivesWay()
{
    QFETCH(bool, idle);
    ReferenceSite site;
    site.setExtraArguments({u"--max-connections"_s, u"24"_s, u"--client-connections"_s, u"8"_s});
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    std::vector<std::unique_ptr<RawHttpConnection>> held;
    for (int i = 0; i < 24; ++i) {
        held.push_back(std::make_unique<RawHttpConnection>(site.port(), QHostAddress(u"127.0.0.%1"_s.arg(2 + i / 8))));
        if (idle) {
            held.back()->send("GET /healthz HTTP/1.1\r\nHost: " + held.back()->host() + "\r\n\r\n");
            QCOMPARE(held.back()->answer().status, 200);
        } else {
            held.back()->send("GET /zorvik/ HTTP/1.1\r\nHost: " + held.back()->host() + "\r\nX-Half: ");
        }
    }
    // Taken from the queue after all of them, the newcomer finds the table full.
    RawHttpConnection newcomer(site.port(), QHostAddress(u"127.0.0.5"_s));
    newcomer.send("GET /zorvik/ HTTP/1.1\r\nHost: " + newcomer.host() + "\r\nConnection: close\r\n\r\n");
    QCOMPARE(newcomer.answer().status, 200);
    // Which one goes is the table's rule, tested on its own; connections made within the same
    // millisecond wait equally long.
    const auto closed = [&held] {
        return std::count_if(held.begin(), held.end(), [](const auto &connection) { return !connection->isOpen(); });
    };
    QTRY_COMPARE_WITH_TIMEOUT(closed(), 1, RawHttpConnection::WaitMs);
}

QTEST_GUILESS_MAIN(TstSiteConnections)
#include "tst_siteconnections.moc"
