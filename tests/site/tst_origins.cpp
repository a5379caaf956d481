#include "site/http/Origins.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

// Which hosts and which pages the site takes requests and posts from.
class TstOrigins : public QObject
{
    Q_OBJECT

private slots:
    void readsTheList_data();
    void readsTheList();
    void acceptsOnlyItsHosts_data();
    void acceptsOnlyItsHosts();
    void postsFromItsOwnPages_data();
    void postsFromItsOwnPages();
    void takesPathsWithAndWithoutThePrefix_data();
    void takesPathsWithAndWithoutThePrefix();
};

void TstOrigins::readsTheList_data()
{
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QString>("root");  // empty when the list is refused

    QTest::newRow("one") << QStringList{u"http://example.org:8642"_s} << u"http://example.org:8642/"_s;
    QTest::newRow("first is the root") << QStringList{u"https://Example.ORG/"_s, u"http://10.0.0.5:8642"_s}
                                       << u"https://example.org/"_s;
    QTest::newRow("ipv6") << QStringList{u"http://[::1]:8642"_s} << u"http://[::1]:8642/"_s;
    QTest::newRow("under a path") << QStringList{u"https://example.org/share/"_s} << u"https://example.org/share/"_s;
    QTest::newRow("path without its last slash")
        << QStringList{u"https://example.org/a/b"_s} << u"https://example.org/a/b/"_s;
    QTest::newRow("path outside ASCII") << QStringList{u"https://example.org/分享/"_s}
                                        << u"https://example.org/%E5%88%86%E4%BA%AB/"_s;
    QTest::newRow("path with dot-dot") << QStringList{u"https://example.org/a/../b/"_s} << QString();
    QTest::newRow("path with an empty segment") << QStringList{u"https://example.org//a/"_s} << QString();
    QTest::newRow("query") << QStringList{u"https://example.org/share/?a=1"_s} << QString();
    QTest::newRow("other scheme") << QStringList{u"ftp://example.org"_s} << QString();
    QTest::newRow("user") << QStringList{u"http://me@example.org"_s} << QString();
    QTest::newRow("one bad of two") << QStringList{u"http://example.org"_s, u"http://"_s} << QString();
    QTest::newRow("none") << QStringList{} << QString();
}

void TstOrigins::readsTheList()
{
    QFETCH(QStringList, urls);
    QFETCH(QString, root);
    const auto origins = Origins::fromList(urls);
    QCOMPARE(origins.ok(), !root.isEmpty());
    if (origins)
        QCOMPARE(origins->root(), root);
    else
        QVERIFY(!origins.error().isEmpty());
}

void TstOrigins::acceptsOnlyItsHosts_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("byDefault");    // listening on 127.0.0.1:8642
    QTest::addColumn<bool>("withExample");  // https://example.org added to those

    QTest::newRow("listening address") << QByteArray("127.0.0.1:8642") << true << true;
    QTest::newRow("any case") << QByteArray("LocalHost:8642") << true << true;
    QTest::newRow("ipv6 loopback") << QByteArray("[::1]:8642") << true << true;
    QTest::newRow("ipv6 written long") << QByteArray("[0:0::1]:8642") << true << true;
    QTest::newRow("other port") << QByteArray("127.0.0.1:8643") << false << false;
    QTest::newRow("no port is 80") << QByteArray("127.0.0.1") << false << false;
    QTest::newRow("no port, https") << QByteArray("example.org") << false << true;
    QTest::newRow("other name") << QByteArray("evil.example:8642") << false << false;
    QTest::newRow("empty port") << QByteArray("localhost:") << false << false;
    QTest::newRow("port past 16 bits") << QByteArray("localhost:74178") << false << false;  // 8642 + 65536
    QTest::newRow("user part") << QByteArray("evil@localhost:8642") << false << false;
    QTest::newRow("path") << QByteArray("localhost:8642/x") << false << false;
    QTest::newRow("long") << QByteArray(60000, 'a') << false << false;
}

void TstOrigins::acceptsOnlyItsHosts()
{
    QFETCH(QByteArray, host);
    QTEST(Origins::forAddress(u"127.0.0.1"_s, 8642).acceptsHost(host), "byDefault");
    const auto origins = Origins::fromList(
        {u"http://127.0.0.1:8642"_s, u"http://localhost:8642"_s, u"http://[::1]:8642"_s, u"https://example.org"_s});
    QVERIFY(origins);
    QTEST(origins->acceptsHost(host), "withExample");
}

void TstOrigins::postsFromItsOwnPages_data()
{
    QTest::addColumn<QByteArray>("origin");
    QTest::addColumn<QByteArray>("referer");
    QTest::addColumn<bool>("same");

    QTest::newRow("own origin") << QByteArray("http://127.0.0.1:8642") << QByteArray() << true;
    QTest::newRow("own page as referer") << QByteArray() << QByteArray("http://localhost:8642/wangyou/") << true;
    QTest::newRow("neither: a script") << QByteArray() << QByteArray() << true;
    QTest::newRow("origin decides over referer")
        << QByteArray("http://evil.example") << QByteArray("http://127.0.0.1:8642/") << false;
    QTest::newRow("other scheme") << QByteArray("https://127.0.0.1:8642") << QByteArray() << false;
    QTest::newRow("other port") << QByteArray("http://127.0.0.1:8000") << QByteArray() << false;
    QTest::newRow("https default port") << QByteArray("https://example.org") << QByteArray() << true;
    QTest::newRow("opaque origin") << QByteArray("null") << QByteArray() << false;
}

void TstOrigins::postsFromItsOwnPages()
{
    QFETCH(QByteArray, origin);
    QFETCH(QByteArray, referer);
    const auto origins = Origins::fromList(
        {u"http://127.0.0.1:8642"_s, u"http://localhost:8642"_s, u"https://example.org"_s});
    QVERIFY(origins);
    QTEST(origins->isSameOrigin(origin, referer), "same");
}

void TstOrigins::takesPathsWithAndWithoutThePrefix_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("below");

    QTest::newRow("with the prefix") << u"/share/wangyou/"_s << u"/wangyou/"_s;
    QTest::newRow("the prefix alone") << u"/share/"_s << u"/"_s;
    QTest::newRow("stripped by the proxy") << u"/wangyou/"_s << u"/wangyou/"_s;
    QTest::newRow("the longer prefix") << u"/share/more/zorvik/"_s << u"/zorvik/"_s;
    QTest::newRow("a name that only starts like it") << u"/shared/zorvik/"_s << u"/shared/zorvik/"_s;
}

void TstOrigins::takesPathsWithAndWithoutThePrefix()
{
    QFETCH(QString, path);
    const auto origins = Origins::fromList(
        {u"https://example.org/share/"_s, u"http://10.0.0.5:8642/share/more/"_s, u"http://127.0.0.1:8642"_s});
    QVERIFY(origins);
    QTEST(origins->pathBelow(path), "below");
    QCOMPARE(origins->rootPath(), u"/share/"_s);
}

QTEST_GUILESS_MAIN(TstOrigins)
#include "tst_origins.moc"
