#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"
#include "platform/NetworkHttpFetcher.h"

#include "support/ReferenceSite.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

// Real pages of both catalogues, fetched from the reference site over HTTP.
class TstCatalogueFetch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fetchesAndParsesBothCatalogues_data();
    void fetchesAndParsesBothCatalogues();
    void searchesWithChineseAndAsciiKeywords_data();
    void searchesWithChineseAndAsciiKeywords();
    void failedFetchKeepsTheStoredResponse();

private:
    CataloguePage fetch(const CatalogueQuery &query, int fieldCount);

    ReferenceSite m_site;
    NetworkHttpFetcher m_fetcher;
    QByteArray m_stored;
};

void TstCatalogueFetch::initTestCase()
{
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
}

CataloguePage TstCatalogueFetch::fetch(const CatalogueQuery &query, int fieldCount)
{
    const Result<void, HttpFetcher::Error> fetched = FetchCatalogue(m_fetcher, BuildCatalogueUrl(query), m_stored);
    [&] { QVERIFY(fetched); }();
    return ParseCataloguePage(Utf8ToUnicode(m_stored), fieldCount);
}

void TstCatalogueFetch::fetchesAndParsesBothCatalogues_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<int>("fieldCount");

    QTest::newRow("official") << u"guanfang/"_s << u"admin_upload.php?"_s << 7;
    QTest::newRow("user") << u"wangyou/"_s << u"users_upload.php?"_s << 6;
}

void TstCatalogueFetch::fetchesAndParsesBothCatalogues()
{
    QFETCH(QString, path);
    QFETCH(QString, endpoint);
    QFETCH(int, fieldCount);

    const CataloguePage first = fetch({m_site.root() + path, endpoint, 1, {}, {}}, fieldCount);
    QVERIFY(first.resourceCount);
    const int count = first.resourceCount->toInt();
    QVERIFY(count >= 60);
    QCOMPARE(first.pageCount, (count + 9) / 10);
    QCOMPARE(first.records.size(), 10);
    for (const ResourceRecord &record : first.records) {
        QVERIFY(!record.field(ResourceRecord::Title).isEmpty());
        QVERIFY(!record.field(ResourceRecord::Id).isEmpty());
    }
    if (fieldCount == 7)
        QVERIFY(first.records[0].field(ResourceRecord::BrowseAddress).startsWith(m_site.root()));

    const CataloguePage last = fetch({m_site.root() + path, endpoint, first.pageCount, {}, {}}, fieldCount);
    QCOMPARE(last.records.size(), count - 10 * (first.pageCount - 1));
    QCOMPARE(last.pageCount, first.pageCount);
}

void TstCatalogueFetch::searchesWithChineseAndAsciiKeywords_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<std::optional<qint16>>("field");
    QTest::addColumn<int>("checkedField");

    QTest::newRow("official title, Chinese") << u"guanfang/"_s << u"admin_upload.php?"_s << u"象棋"_s
                                             << std::optional<qint16>(1) << int(ResourceRecord::Title);
    QTest::newRow("official title, ASCII with plus signs") << u"guanfang/"_s << u"admin_upload.php?"_s << u"C++"_s
                                                           << std::optional<qint16>(1) << int(ResourceRecord::Title);
    QTest::newRow("official category") << u"guanfang/"_s << u"admin_upload.php?"_s << u"电子书"_s
                                       << std::optional<qint16>(0) << int(ResourceRecord::Category);
    QTest::newRow("user, Chinese") << u"wangyou/"_s << u"users_upload.php?"_s << u"音乐"_s << std::optional<qint16>()
                                   << -1;
}

void TstCatalogueFetch::searchesWithChineseAndAsciiKeywords()
{
    QFETCH(QString, path);
    QFETCH(QString, endpoint);
    QFETCH(QString, keyword);
    QFETCH(std::optional<qint16>, field);
    QFETCH(int, checkedField);

    const int fieldCount = field ? 7 : 6;
    const CataloguePage page = fetch({m_site.root() + path, endpoint, 1, GBtoUTF8(keyword), field}, fieldCount);
    QVERIFY(!page.records.isEmpty());
    for (const ResourceRecord &record : page.records) {
        if (checkedField >= 0) {
            QVERIFY2(record.field(checkedField).contains(keyword, Qt::CaseInsensitive),
                     qPrintable(record.field(checkedField).toString()));
        } else {
            const QString text = record.field(ResourceRecord::Title).toString()
                + record.field(ResourceRecord::Category).toString() + record.field(ResourceRecord::Remark).toString();
            QVERIFY(text.contains(keyword));
        }
    }
}

void TstCatalogueFetch::failedFetchKeepsTheStoredResponse()
{
    const CataloguePage page = fetch({m_site.root() + u"wangyou/"_s, u"users_upload.php?"_s, 1, {}, {}}, 6);
    const QByteArray stored = m_stored;
    QVERIFY(!FetchCatalogue(m_fetcher, m_site.root() + u"no/such/page"_s, m_stored));
    QCOMPARE(m_stored, stored);
    QCOMPARE(Utf8ToUnicode(m_stored), page.text());
}

QTEST_GUILESS_MAIN(TstCatalogueFetch)
#include "tst_cataloguefetch.moc"
