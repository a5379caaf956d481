#include "site/log/RefusalLog.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

// A flood of refusals makes a few lines, never one each.
class TstRefusalLog : public QObject
{
    Q_OBJECT

private slots:
    void floodsMakeAFewLines();
};

void TstRefusalLog::floodsMakeAFewLines()
{
    QStringList lines;
    RefusalLog log([&](const QString &line) { lines.append(line); });
    const QString full = u"refused a connection: all 1000 connections are busy"_s;
    for (int i = 0; i < 500; ++i)
        log.note(full, u"203.0.113.7"_s);
    log.note(u"refused a connection: the client holds 64 already"_s, u"203.0.113.7"_s);
    for (int client = 0; client < 1000; ++client)
        log.note(full, u"2001:db8:%1::/64"_s.arg(client));
    QCOMPARE(lines.size(), RefusalLog::ClientsPerInterval);
    QCOMPARE(lines.first(), u"203.0.113.7: "_s + full);

    log.flush();
    QCOMPARE(lines.size(), RefusalLog::ClientsPerInterval + 2);
    QCOMPARE(lines.at(lines.size() - 2), u"203.0.113.7: %1, 499 more times in 10 s"_s.arg(full));
    QCOMPARE(lines.last(),
             u"other clients: %1, %2 times in 10 s"_s.arg(full).arg(1000 - RefusalLog::ClientsPerInterval + 2));

    // A new interval starts afresh.
    log.note(full, u"203.0.113.7"_s);
    QCOMPARE(lines.last(), u"203.0.113.7: "_s + full);
}

QTEST_APPLESS_MAIN(TstRefusalLog)
#include "tst_refusallog.moc"
