#include "catalogue/CatalogueProtocol.h"

#include "support/CatalogueText.h"
#include "support/FakeHttpFetcher.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

const QString Sep = QString(QChar(2));

QStringList fieldsOf(const ResourceRecord &r)
{
    QStringList out;
    for (QStringView f : r.fields)
        out.append(f.toString());
    return out;
}

}  // namespace

class TstCatalogueProtocol : public QObject
{
    Q_OBJECT

private slots:
    void buildsUrl_data();
    void buildsUrl();
    void readsTrailer_data();
    void readsTrailer();
    void splitsRecords();
    void fieldsBeyondTheCallersAreIgnored();
    void recordWithoutTerminatorIsLost();
    void fieldsKeepQueryCharactersAndByteOrderMark();
    void parsesDownloadLinks_data();
    void parsesDownloadLinks();
    void fetchReplacesStoredBodyOnlyOnSuccess();
};

void TstCatalogueProtocol::buildsUrl_data()
{
    QTest::addColumn<CatalogueQuery>("query");
    QTest::addColumn<QString>("url");

    const QString root = u"http://h/"_s;
    QTest::newRow("first page") << CatalogueQuery{root + u"guanfang/"_s, u"admin_upload.php?"_s, 1, {}, {}}
                                << u"http://h/guanfang/admin_upload.php?page=1"_s;
    QTest::newRow("plain page") << CatalogueQuery{root + u"wangyou/"_s, u"users_upload.php?"_s, 12, {}, {}}
                                << u"http://h/wangyou/users_upload.php?page=12"_s;
    QTest::newRow("official search, page 3 by title")
        << CatalogueQuery{root + u"guanfang/"_s, u"admin_upload.php?"_s, 3, u"%E4%B8%AD"_s, qint16(1)}
        << u"http://h/guanfang/admin_upload.php?page=3&q=%E4%B8%AD&t=1"_s;
    QTest::newRow("official search, empty keyword keeps &q=")
        << CatalogueQuery{root + u"guanfang/"_s, u"admin_upload.php?"_s, 1, QString(), qint16(1)}
        << u"http://h/guanfang/admin_upload.php?page=1&q=&t=1"_s;
    QTest::newRow("user search") << CatalogueQuery{root + u"wangyou/"_s, u"users_upload.php?"_s, 1, u"abc"_s, {}}
                                 << u"http://h/wangyou/users_upload.php?page=1&q=abc"_s;
}

void TstCatalogueProtocol::buildsUrl()
{
    QFETCH(CatalogueQuery, query);
    QFETCH(QString, url);
    QCOMPARE(BuildCatalogueUrl(query), url);
}

void TstCatalogueProtocol::readsTrailer_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hasCount");
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("pageCount");

    QTest::newRow("empty body") << QString() << false << QString() << 0;
    QTest::newRow("only the trailer, zero") << u"?TtbBa?0?0"_s << true << u"0"_s << 0;
    QTest::newRow("count and last page") << u"?TtbBa?125?7"_s << true << u"125"_s << 7;
    QTest::newRow("anything after a further ? is ignored") << u"?TtbBa?125?7?x?y"_s << true << u"125"_s << 7;
    QTest::newRow("count is verbatim text") << u"?TtbBa?abc?2"_s << true << u"abc"_s << 2;
    QTest::newRow("last page not a number") << u"?TtbBa?9?x1"_s << true << u"9"_s << 0;
    QTest::newRow("last page missing") << u"?TtbBa?9"_s << true << u"9"_s << 0;
    QTest::newRow("last page with a trailing newline") << u"?TtbBa?9?3\n"_s << true << u"9"_s << 3;
    QTest::newRow("negative last page") << u"?TtbBa?9?-3"_s << true << u"9"_s << 0;
    QTest::newRow("last page beyond 32 bits") << u"?TtbBa?9?4294967296"_s << true << u"9"_s << 0;
    QTest::newRow("first marker counts") << u"?TtbBa?5?1?TtbBa?6?2"_s << true << u"5"_s << 1;
    QTest::newRow("non-empty body without marker has no trailer")
        << u"<html>Bad gateway? try again?2</html>"_s << false << QString() << 0;
}

void TstCatalogueProtocol::readsTrailer()
{
    QFETCH(QString, text);
    QFETCH(bool, hasCount);
    QFETCH(QString, count);
    QFETCH(int, pageCount);

    const CataloguePage page = ParseCataloguePage(text, 7);
    QCOMPARE(page.resourceCount.has_value(), hasCount);
    if (hasCount)
        QCOMPARE(*page.resourceCount, count);
    QCOMPARE(page.pageCount, pageCount);
    QVERIFY(page.records.isEmpty());
}

void TstCatalogueProtocol::splitsRecords()
{
    const QString text = catalogueRecordText(
                             {u"软件"_s, u"标题一"_s, u"备注"_s, u"2024-01-02"_s, u"a.zip"_s, u"17"_s, u"http://x/"_s})
        + catalogueRecordText({u"游戏"_s, u"标题二"_s, u"只有三个字段"_s}) + catalogueRecordText({}) + u"?TtbBa?3?1"_s;

    const CataloguePage page = ParseCataloguePage(text, 7);
    QCOMPARE(page.records.size(), 3);
    QCOMPARE(fieldsOf(page.records[0]),
             QStringList({u"软件"_s, u"标题一"_s, u"备注"_s, u"2024-01-02"_s, u"a.zip"_s, u"17"_s, u"http://x/"_s}));
    QCOMPARE(fieldsOf(page.records[1]), QStringList({u"游戏"_s, u"标题二"_s, u"只有三个字段"_s, {}, {}, {}, {}}));
    QCOMPARE(fieldsOf(page.records[2]), QStringList(7));
    QCOMPARE(page.records[1].field(ResourceRecord::Title), u"标题二");
}

void TstCatalogueProtocol::fieldsBeyondTheCallersAreIgnored()
{
    const QString text = catalogueRecordText(
        {u"c"_s, u"t"_s, u"r"_s, u"d"_s, u"x.rar"_s, u"5"_s, u"browse"_s, u"extra"_s});
    const ResourceRecord r = ParseCataloguePage(text, 6).records.value(0);
    QCOMPARE(fieldsOf(r), QStringList({u"c"_s, u"t"_s, u"r"_s, u"d"_s, u"x.rar"_s, u"5"_s, {}}));
}

void TstCatalogueProtocol::recordWithoutTerminatorIsLost()
{
    const QString text = catalogueRecordText({u"a"_s, u"1"_s}) + catalogueRecordText({u"b"_s, u"2"_s}) + u"c"_s + Sep
        + u"3?TtbBa?3?1"_s;
    const CataloguePage page = ParseCataloguePage(text, 7);
    QCOMPARE(page.records.size(), 2);
    QCOMPARE(page.records[1].field(ResourceRecord::Title), u"2");
    QCOMPARE(page.resourceCount, std::optional<QString>(u"3"_s));
}

void TstCatalogueProtocol::fieldsKeepQueryCharactersAndByteOrderMark()
{
    const QString url = u"http://h/guanfang/view.php?id=3&from=list#top"_s;
    const QString text = u"\uFEFF"_s + catalogueRecordText({u"分类"_s, u"t"_s, {}, {}, {}, {}, url}) + u"?TtbBa?1?1"_s;
    const CataloguePage page = ParseCataloguePage(text, 7);
    QCOMPARE(page.records.value(0).field(ResourceRecord::Category), u"\uFEFF分类");
    QCOMPARE(page.records.value(0).field(ResourceRecord::BrowseAddress), url);
}

void TstCatalogueProtocol::parsesDownloadLinks_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QList<DownloadLink>>("links");

    QTest::newRow("two links") << u"A/*/B/**/C/*/D/**/"_s << QList<DownloadLink>{{u"A"_s, u"B"_s}, {u"C"_s, u"D"_s}};
    QTest::newRow("no closing mark, no link") << u"A/*/B"_s << QList<DownloadLink>{};
    QTest::newRow("empty") << QString() << QList<DownloadLink>{};
    QTest::newRow("text after the last entry is ignored")
        << u"L/*/http://h/a?x=1&y=2/**/rest/*/ignored"_s << QList<DownloadLink>{{u"L"_s, u"http://h/a?x=1&y=2"_s}};
    QTest::newRow("missing target is empty") << u"only label/**/"_s << QList<DownloadLink>{{u"only label"_s, {}}};
    QTest::newRow("further pieces are ignored") << u"L/*/T/*/more/**/"_s << QList<DownloadLink>{{u"L"_s, u"T"_s}};
    QTest::newRow("magnet target") << u"磁力链接/*/magnet:?xt=urn:btih:abc/**/"_s
                                   << QList<DownloadLink>{{u"磁力链接"_s, u"magnet:?xt=urn:btih:abc"_s}};
}

void TstCatalogueProtocol::parsesDownloadLinks()
{
    QFETCH(QString, address);
    QFETCH(QList<DownloadLink>, links);
    QCOMPARE(ParseDownloadLinks(address), links);
}

void TstCatalogueProtocol::fetchReplacesStoredBodyOnlyOnSuccess()
{
    FakeHttpFetcher fetcher;
    fetcher.bodies.insert(u"http://h/ok"_s, QByteArray("\xE4\xB8\xAD?TtbBa?1?1"));
    QByteArray stored;

    QVERIFY(!FetchCatalogue(fetcher, u"http://h/down"_s, stored));
    QVERIFY(stored.isEmpty());

    QVERIFY(FetchCatalogue(fetcher, u"http://h/ok"_s, stored));
    QCOMPARE(stored, QByteArray("\xE4\xB8\xAD?TtbBa?1?1"));

    QVERIFY(!FetchCatalogue(fetcher, u"http://h/down"_s, stored));
    QCOMPARE(stored, QByteArray("\xE4\xB8\xAD?TtbBa?1?1"));
    QCOMPARE(fetcher.requests.size(), 3);
}

QTEST_APPLESS_MAIN(TstCatalogueProtocol)
#include "tst_catalogueprotocol.moc"
