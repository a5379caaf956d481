#include "site/http/ConnectionTable.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

// Who comes in, who gives way to a newcomer and who is too slow to keep.
class TstConnectionTable : public QObject
{
    Q_OBJECT

private slots:
    void admits_data();
    void admits();
    void idleGoBeforeHeadsAndNeverBusy();
    void slowHeadsAndBodiesAreLate_data();
    void slowHeadsAndBodiesAreLate();
};

namespace {

const QHostAddress Client(u"203.0.113.7"_s);
const QHostAddress Other(u"198.51.100.9"_s);
const QHostAddress Proxy(u"127.0.0.1"_s);

ConnectionTable::Limits small()
{
    ConnectionTable::Limits limits;
    limits.maxConnections = 4;
    limits.maxPerClient = 2;
    limits.maxPerProxy = 3;
    return limits;
}

// Ids for the table: any distinct addresses do.
ConnectionTable::Id id(int n)
{
    static char ids[64];
    return &ids[n];
}

}  // namespace

void TstConnectionTable::admits_data()
{
    QTest::addColumn<QList<QHostAddress>>("held");  // busy connections, from these keys
    QTest::addColumn<QHostAddress>("newcomer");
    QTest::addColumn<bool>("proxy");
    QTest::addColumn<bool>("admitted");
    QTest::addColumn<ConnectionTable::Refusal>("refusal");
    using R = ConnectionTable::Refusal;

    QTest::newRow("room") << QList<QHostAddress>{Client} << Client << false << true << R::None;
    QTest::newRow("client at its cap") << QList<QHostAddress>{Client, Client} << Client << false << true << R::ClientCap;
    QTest::newRow("another client") << QList<QHostAddress>{Client, Client} << Other << false << true << R::None;
    QTest::newRow("proxy past a client's cap") << QList<QHostAddress>{Proxy, Proxy} << Proxy << true << true << R::None;
    QTest::newRow("proxy at its cap") << QList<QHostAddress>{Proxy, Proxy, Proxy} << Proxy << true << true << R::ProxyCap;
    QTest::newRow("table full of busy ones")
        << QList<QHostAddress>{Client, Client, Other, Other} << Proxy << true << true << R::TableFull;
    QList<QHostAddress> many(2 + ConnectionTable::RefusalRoom, Client);
    QTest::newRow("client past the room to refuse") << many << Client << false << false << R::ClientCap;
}

void TstConnectionTable::admits()
{
    QFETCH(QList<QHostAddress>, held);
    QFETCH(QHostAddress, newcomer);
    QFETCH(bool, proxy);
    ConnectionTable table(small());
    for (qsizetype i = 0; i < held.size(); ++i) {
        const bool heldByProxy = held.at(i) == Proxy;
        const ConnectionTable::Admission admission = table.admit(held.at(i), heldByProxy);
        table.add(id(int(i)), held.at(i), heldByProxy, admission.refusal, 0);
        table.headArrived(id(int(i)), std::nullopt);
    }
    const ConnectionTable::Admission admission = table.admit(newcomer, proxy);
    QTEST(admission.admitted, "admitted");
    QTEST(admission.refusal, "refusal");
    QCOMPARE(admission.givesWay, nullptr);
}

void TstConnectionTable::idleGoBeforeHeadsAndNeverBusy()
{
    ConnectionTable table(small());
    const QList<QHostAddress> keys{Client, Other, Proxy, QHostAddress(u"192.0.2.1"_s)};
    for (int i = 0; i < 4; ++i)
        table.add(id(i), keys.at(i), false, ConnectionTable::Refusal::None, 100 * i);
    // 0 is busy, 1 an old head, 2 idle since 500, 3 idle since 400.
    table.headArrived(id(0), std::nullopt);
    table.headArrived(id(2), std::nullopt);
    table.requestEnded(id(2), 500);
    table.headArrived(id(3), std::nullopt);
    table.requestEnded(id(3), 400);

    const QHostAddress newcomer(u"192.0.2.99"_s);
    QCOMPARE(table.admit(newcomer, false).givesWay, id(3));
    table.add(id(4), newcomer, false, ConnectionTable::Refusal::None, 600);
    QCOMPARE(table.admit(newcomer, false).givesWay, id(2));
    table.add(id(5), newcomer, false, ConnectionTable::Refusal::None, 700);
    // No idle one is left: the oldest head goes, never the busy one.
    QCOMPARE(table.admit(QHostAddress(u"192.0.2.98"_s), false).givesWay, id(1));
    table.add(id(6), QHostAddress(u"192.0.2.98"_s), false, ConnectionTable::Refusal::None, 800);
    table.headArrived(id(4), std::nullopt);
    table.headArrived(id(5), std::nullopt);
    table.headArrived(id(6), std::nullopt);
    QCOMPARE(table.admit(QHostAddress(u"192.0.2.97"_s), false).refusal, ConnectionTable::Refusal::TableFull);
    QCOMPARE(table.size(), 4);
}

void TstConnectionTable::slowHeadsAndBodiesAreLate_data()
{
    QTest::addColumn<bool>("idle");         // after an answer, not before the first head
    QTest::addColumn<qint64>("bodyBytes");  // received by then; -1: waiting for a head
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<bool>("late");

    QTest::newRow("head in time") << false << qint64(-1) << qint64(10'000) << false;
    QTest::newRow("head too slow") << false << qint64(-1) << qint64(10'001) << true;
    QTest::newRow("idle, then a head in time") << true << qint64(-1) << qint64(70'000) << false;
    QTest::newRow("idle too long") << true << qint64(-1) << qint64(70'001) << true;
    QTest::newRow("50 MB at 64 KiB a second") << false << qint64(50 * 1024 * 1024) << qint64(800'000) << false;
    QTest::newRow("an hour at the least rate") << false << qint64(2048 * 3600) << qint64(3'600'000) << false;
    QTest::newRow("a byte every 2 s") << false << qint64(5) << qint64(11'000) << true;
    QTest::newRow("slower than the least rate") << false << qint64(1024 * 30) << qint64(30'000) << true;
    QTest::newRow("stalled after a fast start") << false << qint64(4096) << qint64(12'001) << true;
}

void TstConnectionTable::slowHeadsAndBodiesAreLate()
{
    QFETCH(bool, idle);
    QFETCH(qint64, bodyBytes);
    QFETCH(qint64, elapsedMs);
    ConnectionTable table({});
    table.add(id(0), Client, false, ConnectionTable::Refusal::None, 0);
    if (idle) {
        table.headArrived(id(0), std::nullopt);
        table.requestEnded(id(0), 0);
    }
    if (bodyBytes >= 0) {
        table.headArrived(id(0), std::nullopt);
        table.bodyStarted(id(0), 0);
        table.bodyReceived(id(0), bodyBytes);
    }
    const auto late = table.late(elapsedMs);
    QTEST(!late.isEmpty(), "late");
    QVERIFY(table.late(elapsedMs).isEmpty());  // named once
}

QTEST_APPLESS_MAIN(TstConnectionTable)
#include "tst_connectiontable.moc"
