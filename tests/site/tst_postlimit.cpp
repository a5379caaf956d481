#include "site/PostLimit.h"

#include <QTest>

using namespace Qt::StringLiterals;

// How often one address may post: the limit holds within its window, per address, and lifts
// as the window moves on.
class TstPostLimit : public QObject
{
    Q_OBJECT

private slots:
    void holdsAndResets();
    void countsEachAddressApart();
    void zeroSetsNoLimit();
};

void TstPostLimit::holdsAndResets()
{
    PostLimit limit(2, 10'000);
    const QHostAddress address(u"192.0.2.1"_s);
    QVERIFY(limit.tryTake(address, 1'000));
    QVERIFY(limit.tryTake(address, 2'000));
    QVERIFY(!limit.tryTake(address, 2'500));
    QCOMPARE(limit.secondsToWait(address, 2'500), 9);  // until the first post is 10 s old
    QVERIFY(!limit.tryTake(address, 10'999));
    QVERIFY(limit.tryTake(address, 11'000));
    // A refused attempt does not count: the second post frees its place at 12 s.
    QVERIFY(!limit.tryTake(address, 11'500));
    QVERIFY(limit.tryTake(address, 12'000));
}

void TstPostLimit::countsEachAddressApart()
{
    PostLimit limit(1, 10'000);
    QVERIFY(limit.tryTake(QHostAddress(u"192.0.2.1"_s), 0));
    QVERIFY(limit.tryTake(QHostAddress(u"192.0.2.2"_s), 0));
    QVERIFY(!limit.tryTake(QHostAddress(u"192.0.2.1"_s), 5'000));
    // Forgetting quiet addresses must not forget a busy one.
    QVERIFY(limit.tryTake(QHostAddress(u"192.0.2.3"_s), 20'000));
    QVERIFY(!limit.tryTake(QHostAddress(u"192.0.2.3"_s), 29'000));
}

void TstPostLimit::zeroSetsNoLimit()
{
    PostLimit limit(0, 10'000);
    for (int i = 0; i < 100; ++i)
        QVERIFY(limit.tryTake(QHostAddress::LocalHost, 0));
}

QTEST_GUILESS_MAIN(TstPostLimit)
#include "tst_postlimit.moc"
