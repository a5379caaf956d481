#include "site/PageCache.h"

#include <QTest>

// Kept answers are bounded in bytes, keys included, and the least recently used go first.
class TstPageCache : public QObject
{
    Q_OBJECT

private slots:
    void keepsWithinTheBound();
};

void TstPageCache::keepsWithinTheBound()
{
    PageCache cache(100);
    cache.insert("a", QByteArray(39, 'A'));  // 40 bytes with its key
    cache.insert("b", QByteArray(39, 'B'));
    QCOMPARE(cache.bytes(), 80);
    QCOMPARE(cache.find("a"), QByteArray(39, 'A'));  // now "b" is the least recently used
    cache.insert("c", QByteArray(39, 'C'));
    QCOMPARE(cache.bytes(), 80);
    QVERIFY(!cache.find("b"));
    QVERIFY(cache.find("a"));
    QVERIFY(cache.find("c"));
    cache.insert("d", QByteArray(100, 'D'));  // larger than the bound alone
    QVERIFY(!cache.find("d"));
    QVERIFY(cache.bytes() <= 100);
}

QTEST_GUILESS_MAIN(TstPageCache)
#include "tst_pagecache.moc"
