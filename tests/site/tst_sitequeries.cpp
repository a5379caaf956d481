#include "support/HttpClient.h"
#include "support/LocalPostgres.h"
#include "support/ReferenceSite.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// 西游记, the title of one of the sample official resources.
const QString OfficialSearch = u"guanfang/admin_upload.php?page=1&q=%E8%A5%BF%E6%B8%B8%E8%AE%B0&t=1"_s;

QList<QStringList> rowsOf(const QString &listing)
{
    QList<QStringList> rows;
    for (const QString &line : listing.split(u'\n', Qt::SkipEmptyParts))
        rows.append(line.split(u'\t'));
    return rows;
}

} // namespace

// The site's own program on a real store while the operator changes the store from another
// process.
class TstSiteQueries : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void operatorsChangeShowsWithinASecond_data();
    void operatorsChangeShowsWithinASecond();

private:
    LocalPostgres m_postgres;
    HttpClient m_http;
};

void TstSiteQueries::initTestCase()
{
    QVERIFY2(m_postgres.start(), qPrintable(m_postgres.errorString()));
}

void TstSiteQueries::operatorsChangeShowsWithinASecond_data()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("SQLite, through the file's data version") << false;
    QTest::newRow("PostgreSQL, through a notification") << true;
}

// The page is cached before the change; the change empties the cache without the site being
// told by a request of its own.
void TstSiteQueries::operatorsChangeShowsWithinASecond()
{
    QFETCH(bool, postgres);
    QStringList store;
    if (postgres) {
        const QString database = m_postgres.createDatabase(u"operated"_s);
        QVERIFY2(!database.isEmpty(), qPrintable(m_postgres.errorString()));
        store = {u"--database"_s, database};
    }
    ReferenceSite site;
    site.setExtraArguments(store);
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    const QString title = u"西游记 全本"_s;
    QVERIFY(m_http.get(site.root() + OfficialSearch).text().contains(title));

    const QList<QStringList> found = rowsOf(site.command(QStringList{u"list"_s, u"resources"_s, u"--search"_s, title} + store).out);
    QCOMPARE(found.size(), 1);
    QCOMPARE(site.command(QStringList{u"hide"_s, u"resource"_s, found.first().value(0)} + store).exitCode, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_http.get(site.root() + OfficialSearch).text().contains(title), 1000);
}

QTEST_GUILESS_MAIN(TstSiteQueries)
#include "tst_sitequeries.moc"
