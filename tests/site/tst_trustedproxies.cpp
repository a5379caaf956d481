#include "site/http/TrustedProxies.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

// Which address a request is taken to come from when proxies stand in front of the site.
class TstTrustedProxies : public QObject
{
    Q_OBJECT

private slots:
    void findsTheClient_data();
    void findsTheClient();
    void refusesWhatIsNoAddress();
};

void TstTrustedProxies::findsTheClient_data()
{
    QTest::addColumn<QStringList>("trusted");
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QList<QByteArray>>("forwardedFor");
    QTest::addColumn<QString>("client");

    const QStringList proxies{u"127.0.0.1"_s, u"10.0.0.0/8"_s, u"fd00::/8"_s};
    QTest::newRow("no proxies: header ignored")
        << QStringList() << u"127.0.0.1"_s << QList<QByteArray>{"192.0.2.1"} << u"127.0.0.1"_s;
    QTest::newRow("untrusted peer: header ignored")
        << proxies << u"198.51.100.9"_s << QList<QByteArray>{"192.0.2.1"} << u"198.51.100.9"_s;
    QTest::newRow("one hop") << proxies << u"127.0.0.1"_s << QList<QByteArray>{"192.0.2.1"} << u"192.0.2.1"_s;
    QTest::newRow("right-most untrusted, forged left ignored")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"203.0.113.7, 192.0.2.1, 10.1.2.3"} << u"192.0.2.1"_s;
    QTest::newRow("spaces and no spaces")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"  192.0.2.1 ,10.0.0.2  "} << u"192.0.2.1"_s;
    QTest::newRow("several headers read as one list")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"192.0.2.1", "10.0.0.2"} << u"192.0.2.1"_s;
    QTest::newRow("all trusted: the left-most")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"10.0.0.3, 10.0.0.2"} << u"10.0.0.3"_s;
    QTest::newRow("no header: the proxy") << proxies << u"127.0.0.1"_s << QList<QByteArray>{} << u"127.0.0.1"_s;
    QTest::newRow("empty header: the proxy") << proxies << u"127.0.0.1"_s << QList<QByteArray>{""} << u"127.0.0.1"_s;
    QTest::newRow("malformed right-most: the proxy")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"192.0.2.1, unknown"} << u"127.0.0.1"_s;
    QTest::newRow("malformed behind a trusted hop: that hop")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"192.0.2.1, 192.0.2.300, 10.0.0.2"} << u"10.0.0.2"_s;
    QTest::newRow("with a port: malformed")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"192.0.2.1:4711"} << u"127.0.0.1"_s;
    QTest::newRow("empty entry: malformed")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"192.0.2.1,,"} << u"127.0.0.1"_s;
    QTest::newRow("ipv6 client") << proxies << u"127.0.0.1"_s << QList<QByteArray>{"2001:db8::1"} << u"2001:db8::1"_s;
    QTest::newRow("ipv6 trusted hop") << proxies << u"fd12::1"_s << QList<QByteArray>{"2001:db8::1, fd12::2"}
                                      << u"2001:db8::1"_s;
    QTest::newRow("v4-mapped peer is its v4 address")
        << proxies << u"::ffff:127.0.0.1"_s << QList<QByteArray>{"192.0.2.1"} << u"192.0.2.1"_s;
    QTest::newRow("v4-mapped client is its v4 address")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"::ffff:192.0.2.1"} << u"192.0.2.1"_s;
    QTest::newRow("shorthand: malformed") << proxies << u"127.0.0.1"_s << QList<QByteArray>{"198.51"} << u"127.0.0.1"_s;
    QTest::newRow("octal: malformed") << proxies << u"127.0.0.1"_s << QList<QByteArray>{"0300.0.2.1"} << u"127.0.0.1"_s;
    QTest::newRow("hexadecimal: malformed")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"0xc0.0.2.1"} << u"127.0.0.1"_s;
    QTest::newRow("shorthand v4 tail: malformed")
        << proxies << u"127.0.0.1"_s << QList<QByteArray>{"::ffff:192.1"} << u"127.0.0.1"_s;
    QTest::newRow("trusted v4-mapped network")
        << QStringList{u"::ffff:10.0.0.0/104"_s} << u"10.1.2.3"_s << QList<QByteArray>{"192.0.2.1"} << u"192.0.2.1"_s;
}

void TstTrustedProxies::findsTheClient()
{
    QFETCH(QStringList, trusted);
    QFETCH(QString, peer);
    QFETCH(QList<QByteArray>, forwardedFor);
    QFETCH(QString, client);
    const auto proxies = TrustedProxies::fromList(trusted);
    QVERIFY(proxies.ok());
    QCOMPARE(proxies->client(QHostAddress(peer), forwardedFor), QHostAddress(client));
}

void TstTrustedProxies::refusesWhatIsNoAddress()
{
    for (const QString &value :
         {u"localhost"_s, u"10.0.0.0/33"_s, u""_s, u"10.0.0.0/x"_s, u"127.1"_s, u"0177.0.0.1"_s, u"127.0.0.1/0"_s,
          u"::/0"_s, u"10.0.0.1/8"_s, u"10.0.0.0/08"_s, u"fe80::1%eth0"_s, u"[::1]"_s}) {
        const auto proxies = TrustedProxies::fromList({u"127.0.0.1"_s, value});
        QVERIFY2(!proxies.ok(), qPrintable(value));
        QVERIFY(proxies.error().contains(value));
    }
}

QTEST_APPLESS_MAIN(TstTrustedProxies)
#include "tst_trustedproxies.moc"
