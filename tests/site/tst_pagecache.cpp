#include "site/cache/PageCache.h"

#include <QTest>

#include <malloc.h>

using namespace Site;

// Kept answers are bounded in what they cost in memory, and the least recently used go first.
class TstPageCache : public QObject
{
    Q_OBJECT

private slots:
    void keepsWithinTheBound();
    void chargesWhatEntriesCost_data();
    void chargesWhatEntriesCost();
};

void TstPageCache::keepsWithinTheBound()
{
    PageCache probe;
    probe.insert("a", QByteArray(39, 'A'));
    const qsizetype entry = probe.bytes();
    PageCache cache(2 * entry + entry / 2);  // room for two such entries
    cache.insert("a", QByteArray(39, 'A'));
    cache.insert("b", QByteArray(39, 'B'));
    QCOMPARE(cache.bytes(), 2 * entry);
    QCOMPARE(cache.find("a"), QByteArray(39, 'A'));  // now "b" is the least recently used
    cache.insert("c", QByteArray(39, 'C'));
    QCOMPARE(cache.bytes(), 2 * entry);
    QVERIFY(!cache.find("b"));
    QVERIFY(cache.find("a"));
    QVERIFY(cache.find("c"));
    cache.insert("d", QByteArray(3 * entry, 'D'));  // larger than the bound alone
    QVERIFY(!cache.find("d"));
    QVERIFY(cache.bytes() <= 2 * entry + entry / 2);
}

void TstPageCache::chargesWhatEntriesCost_data()
{
    QTest::addColumn<int>("bodyBytes");
    QTest::newRow("empty search page") << 11;
    QTest::newRow("short page") << 200;
    QTest::newRow("catalogue page") << 5000;
}

// What the heap grows by is at most what the cache counts, and not far below it.
void TstPageCache::chargesWhatEntriesCost()
{
#ifdef __SANITIZE_ADDRESS__
    QSKIP("the heap is the sanitizer's, with chunks of other sizes than the C library's");
#endif
    QFETCH(int, bodyBytes);
    constexpr int Entries = 20000;
    PageCache cache(qsizetype(1) << 40);
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < Entries; ++i)
        cache.insert("u 2 1 keyword" + QByteArray::number(i), QByteArray(bodyBytes, 'x'));
    const auto grown = qsizetype(mallinfo2().uordblks - before);
    QVERIFY2(grown <= cache.bytes(), qPrintable(QString::number(grown) + u" > "_qs + QString::number(cache.bytes())));
    QVERIFY2(cache.bytes() < grown * 5 / 4, qPrintable(QString::number(cache.bytes())));
}

QTEST_GUILESS_MAIN(TstPageCache)
#include "tst_pagecache.moc"
