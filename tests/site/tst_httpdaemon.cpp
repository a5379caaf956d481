#include "site/http/HttpDaemon.h"
#include "support/HttpClient.h"
#include "support/RawHttpConnection.h"

#include <QTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

constexpr int WaitMs = 30000;
const QByteArray TextType = "text/plain";

// Answers "/now" at once and everything else later, when the test says: a GET with "later",
// "/form" by reading its form (then echoing its name field), "/refuse" with a 403.
class LaterHandler : public HttpDaemon::Handler
{
public:
    HttpDaemon *daemon = nullptr;
    QList<std::function<void()>> decisions;  // to be given, in the order asked
    QList<PendingAnswer> pending;
    int answeredCount = 0;

    HttpDaemon::HeadDecision headArrived(const HttpRequest &request) override
    {
        const QString path = request.url().path();
        if (path == u"/now"_s)
            return HttpAnswer::text("now", TextType);
        const PendingAnswer later = daemon->answerLater(request);
        pending.append(later);
        if (path == u"/form"_s)
            decisions.append([later] { later.readForm({}); });
        else if (path == u"/refuse"_s)
            decisions.append([later] { later.answer(HttpAnswer::text("refused", TextType, HttpAnswer::Forbidden)); });
        else
            decisions.append([later] { later.answer(HttpAnswer::text("later", TextType)); });
        return later;
    }
    HttpDaemon::FormDecision formArrived(const HttpRequest &request, ReceivedForm &form,
                                         std::optional<FormReader::Error>) override
    {
        const PendingAnswer later = daemon->answerLater(request);
        const QByteArray name = form.value(u"name").toUtf8();
        decisions.append([later, name] { later.answer(HttpAnswer::text("got " + name, TextType)); });
        return later;
    }
    HttpAnswer busy() override { return HttpAnswer::text("busy", TextType, HttpAnswer::ServiceUnavailable); }
    HttpAnswer framingRefused(int status) override { return HttpAnswer::text("framing", TextType, status); }
    void answered(const HttpRequest &, const AccessLog::Entry &) override { ++answeredCount; }

    void decideAll()
    {
        const QList<std::function<void()>> now = std::exchange(decisions, {});
        for (const auto &decide : now)
            decide();
    }
};

}  // namespace

// Requests answered later, their connections suspended meanwhile: others are served in the
// meantime, and neither a client that leaves nor a daemon that stops leaves an answer behind
// that could reach a request gone.
class TstHttpDaemon : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void othersAreServedMeanwhile_data();
    void othersAreServedMeanwhile();
    void clientLeavesWhileWaiting();
    void daemonStopsWithRequestsWaiting();

private:
    QString url(const QString &path) const { return u"http://127.0.0.1:%1%2"_s.arg(m_daemon->serverPort()).arg(path); }
    bool waitForPending(int count)
    {
        return QTest::qWaitFor([&] { return m_handler.decisions.size() >= count; }, WaitMs);
    }

    LaterHandler m_handler;
    std::unique_ptr<HttpDaemon> m_daemon;
    HttpClient m_http;
};

void TstHttpDaemon::init()
{
    m_handler = LaterHandler();
    m_daemon = std::make_unique<HttpDaemon>(HttpDaemon::Limits{}, m_handler);
    m_handler.daemon = m_daemon.get();
    QVERIFY(m_daemon->listen(QHostAddress::LocalHost, 0));
}

void TstHttpDaemon::cleanup()
{
    m_daemon.reset();
}

void TstHttpDaemon::othersAreServedMeanwhile_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("decisions");  // given before the answer
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("answer");
    const QByteArray form = "Content-Type: application/x-www-form-urlencoded\r\n";
    QTest::newRow("a page") << "GET /later HTTP/1.1\r\nHost: x\r\n\r\n"_ba << 1 << "HTTP/1.1 200 OK"_ba
                            << "later"_ba;
    QTest::newRow("a form read after its head is decided, answered after it is in")
        << "POST /form HTTP/1.1\r\nHost: x\r\n" + form + "Content-Length: 18\r\n\r\nname=%E5%90%8D&x=1" << 2
        << "HTTP/1.1 200 OK"_ba
        << "got 名"_ba;
    QTest::newRow("a post refused from its head, its body dropped")
        << "POST /refuse HTTP/1.1\r\nHost: x\r\n" + form + "Content-Length: 20000\r\n\r\n" + QByteArray(20000, 'a') << 1
        << "HTTP/1.1 403 Forbidden"_ba
        << "refused"_ba;
}

void TstHttpDaemon::othersAreServedMeanwhile()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, decisions);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, answer);
    RawHttpConnection client(m_daemon->serverPort());
    client.send(sent);
    for (int given = 0; given < decisions; ++given) {
        QVERIFY(waitForPending(1));
        // Each time it waits, another client is served.
        QCOMPARE(m_http.get(url(u"/now"_s)).body, "now"_ba);
        QCOMPARE(client.receivedBytes(), 0);
        m_handler.decideAll();
    }
    const RawHttpConnection::Answer received = client.answer();
    QCOMPARE(received.body, answer);
    QVERIFY2(received.head.startsWith(status + "\r\n"), received.head.constData());
    QCOMPARE(m_handler.decisions.size(), 0);
    // The connection stays open for the next request.
    QVERIFY(!received.head.contains("Connection: close"));
    client.send("GET /now HTTP/1.1\r\nHost: x\r\n\r\n");
    QCOMPARE(client.answer().body, "now"_ba);
    QTRY_COMPARE(m_handler.answeredCount, decisions + 2);
}

// A suspended connection is not watched: its client's leaving is found once the answer is
// given, which then goes nowhere.
void TstHttpDaemon::clientLeavesWhileWaiting()
{
    RawHttpConnection client(m_daemon->serverPort());
    client.send("GET /later HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(waitForPending(1));
    client.socket().abort();
    m_handler.decideAll();
    QVERIFY(!m_handler.pending.first().isWaiting());
    QCOMPARE(m_http.get(url(u"/now"_s)).body, "now"_ba);
}

void TstHttpDaemon::daemonStopsWithRequestsWaiting()
{
    RawHttpConnection client(m_daemon->serverPort());
    client.send("GET /later HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(waitForPending(1));
    QVERIFY(m_handler.pending.first().isWaiting());
    m_daemon.reset();
    QVERIFY(!m_handler.pending.first().isWaiting());
    m_handler.decideAll();
    QVERIFY(client.waitClosed());
    QCOMPARE(client.receivedBytes(), 0);
}

QTEST_GUILESS_MAIN(TstHttpDaemon)
#include "tst_httpdaemon.moc"
