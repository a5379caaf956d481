#include "site/log/AccessLog.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

class TstAccessLog : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
};

void TstAccessLog::line_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<int>("offsetSeconds");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("userAgent");
    QTest::addColumn<qint64>("bodyBytes");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << u"203.0.113.7"_s << 0 << "/a.zip"_ba
                           << "Mozilla/5.0"_ba << 2326LL
                           << "203.0.113.7 - - [08/Dec/2026:17:20:31 +0000] \"GET /a.zip HTTP/1.1\" 200 2326 "
                              "\"http://x/\" \"Mozilla/5.0\" 1520\n"_ba;
    QTest::newRow("no user agent") << u"203.0.113.7"_s << 0 << "/"_ba << QByteArray() << 2326LL
                                   << "203.0.113.7 - - [08/Dec/2026:17:20:31 +0000] \"GET / HTTP/1.1\" 200 2326 "
                                      "\"http://x/\" \"-\" 1520\n"_ba;
    QTest::newRow("IPv4 over IPv6") << u"::ffff:198.51.100.4"_s << 0 << "/"_ba
                                    << "a"_ba << 2326LL
                                    << "198.51.100.4 - - [08/Dec/2026:17:20:31 +0000] \"GET / HTTP/1.1\" 200 2326 "
                                       "\"http://x/\" \"a\" 1520\n"_ba;
    QTest::newRow("IPv6") << u"2001:db8::1"_s << 0 << "/"_ba
                          << "a"_ba << 2326LL
                          << "2001:db8::1 - - [08/Dec/2026:17:20:31 +0000] \"GET / HTTP/1.1\" 200 2326 "
                             "\"http://x/\" \"a\" 1520\n"_ba;
    QTest::newRow("east of UTC") << u"203.0.113.7"_s << 8 * 3600 << "/"_ba
                                 << "a"_ba << 2326LL
                                 << "203.0.113.7 - - [09/Dec/2026:01:20:31 +0800] \"GET / HTTP/1.1\" 200 2326 "
                                    "\"http://x/\" \"a\" 1520\n"_ba;
    QTest::newRow("west of UTC by a half hour") << u"203.0.113.7"_s << -(3 * 3600 + 1800) << "/"_ba
                                                << "a"_ba << 2326LL
                                                << "203.0.113.7 - - [08/Dec/2026:13:50:31 -0330] \"GET / HTTP/1.1\" "
                                                   "200 2326 \"http://x/\" \"a\" 1520\n"_ba;
    // A client must not end a line, or a field, early.
    QTest::newRow("quotes and backslashes") << u"203.0.113.7"_s << 0 << "/\"x\\"_ba
                                            << "a\" \"b"_ba << 2326LL
                                            << "203.0.113.7 - - [08/Dec/2026:17:20:31 +0000] \"GET /\\x22x\\x5c "
                                               "HTTP/1.1\" 200 2326 \"http://x/\" \"a\\x22 \\x22b\" 1520\n"_ba;
    QTest::newRow("line break and bytes past ASCII")
        << u"203.0.113.7"_s << 0 << "/a\nb"_ba
        << "\xe4\xb8\xad"_ba << 2326LL
        << "203.0.113.7 - - [08/Dec/2026:17:20:31 +0000] \"GET /a\\x0ab HTTP/1.1\" 200 2326 \"http://x/\" "
           "\"\\xe4\\xb8\\xad\" 1520\n"_ba;
    QTest::newRow("answer cut short") << u"203.0.113.7"_s << 0 << "/a.zip"_ba
                                      << "a"_ba << -1LL
                                      << "203.0.113.7 - - [08/Dec/2026:17:20:31 +0000] \"GET /a.zip HTTP/1.1\" 200 - "
                                         "\"http://x/\" \"a\" 1520\n"_ba;
}

void TstAccessLog::line()
{
    QFETCH(QString, peer);
    QFETCH(int, offsetSeconds);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, userAgent);
    QFETCH(qint64, bodyBytes);
    QFETCH(QByteArray, expected);

    const QDateTime utc(QDate(2026, 12, 8), QTime(17, 20, 31), Qt::UTC);
    AccessLog::Entry entry;
    entry.peer = QHostAddress(peer);
    entry.receivedAt = utc.toOffsetFromUtc(offsetSeconds);
    entry.method = "GET";
    entry.target = target;
    entry.status = 200;
    entry.bodyBytes = bodyBytes;
    entry.referrer = "http://x/";
    entry.userAgent = userAgent;
    entry.microseconds = 1520;
    QCOMPARE(AccessLog::line(entry), expected);
}

QTEST_GUILESS_MAIN(TstAccessLog)
#include "tst_accesslog.moc"
