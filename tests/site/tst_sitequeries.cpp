#include "site/store/StoreLocation.h"
#include "support/HttpClient.h"
#include "support/LocalPostgres.h"
#include "support/ReferenceSite.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

constexpr int WaitMs = 30000;
const QString UserCatalogue = u"wangyou/users_upload.php?page=1"_s;
// 教程, a category of the sample catalogue, searched in the user catalogue: no page of it is kept yet.
const QString UserSearch = u"wangyou/users_upload.php?page=1&q=%E6%95%99%E7%A8%8B"_s;
// 西游记, the title of one of the sample official resources.
const QString OfficialSearch = u"guanfang/admin_upload.php?page=1&q=%E8%A5%BF%E6%B8%B8%E8%AE%B0&t=1"_s;

}  // namespace

// The site's own program on a real store, while a query of one visitor is held up and while
// the operator changes the store from another process.
class TstSiteQueries : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void othersAreAnsweredWhileAQueryIsHeld();
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

// Another session holds the catalogue's table, as a long transaction or a schema change of an
// operator would: a search that reads it waits, and the cached page and the health check are
// answered meanwhile; once the table is free, the search is answered as it would have been.
void TstSiteQueries::othersAreAnsweredWhileAQueryIsHeld()
{
    const QString database = m_postgres.createDatabase(u"held"_s);
    QVERIFY2(!database.isEmpty(), qPrintable(m_postgres.errorString()));
    ReferenceSite site;
    site.setExtraArguments({u"--database"_s, database});
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    const HttpClient::Reply page = m_http.get(site.root() + UserCatalogue);
    QCOMPARE(page.status, 200);

    QSqlDatabase holder = QSqlDatabase::addDatabase(u"QPSQL"_s, u"holder"_s);
    StoreLocation::parse(database)->configure(holder);
    QVERIFY2(holder.open(), qPrintable(holder.lastError().text()));
    QSqlQuery hold(holder);
    QVERIFY(hold.exec(u"BEGIN"_s));
    QVERIFY(hold.exec(u"LOCK TABLE resources IN ACCESS EXCLUSIVE MODE"_s));
    QNetworkAccessManager network;
    QNetworkReply *search = network.get(QNetworkRequest(QUrl(site.root() + UserSearch)));
    QSignalSpy searched(search, &QNetworkReply::finished);
    // The search's query is at the database, waiting for the table.
    const auto waitingForTheLock = [&] {
        QSqlQuery waiting(holder);
        return waiting.exec(u"SELECT COUNT(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' "
                            "AND datname = current_database()"_s)
            && waiting.next() && waiting.value(0).toInt() == 1;
    };
    QVERIFY(QTest::qWaitFor(waitingForTheLock, WaitMs));

    const HttpClient::Reply cached = m_http.get(site.root() + UserCatalogue);
    QCOMPARE(cached.status, 200);
    QCOMPARE(cached.body, page.body);
    const HttpClient::Reply health = m_http.get(site.root() + u"healthz"_s);
    QCOMPARE(health.status, 200);
    QCOMPARE(searched.size(), 0);
    QVERIFY(waitingForTheLock());

    QVERIFY(hold.exec(u"COMMIT"_s));
    QVERIFY(searched.size() == 1 || searched.wait(WaitMs));
    QCOMPARE(search->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    const QByteArray found = search->readAll();
    QVERIFY(found.contains(u"Word 排版 论文格式"_s.toUtf8()));
    QCOMPARE(found, m_http.get(site.root() + UserSearch).body);
    search->deleteLater();
    hold = QSqlQuery();
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"holder"_s);
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

    const QList<QStringList> found =
        site.command(QStringList{u"list"_s, u"resources"_s, u"--search"_s, title} + store).rows();
    QCOMPARE(found.size(), 1);
    QCOMPARE(site.command(QStringList{u"hide"_s, u"resource"_s, found.first().value(0)} + store).exitCode, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_http.get(site.root() + OfficialSearch).text().contains(title), 1000);
}

QTEST_GUILESS_MAIN(TstSiteQueries)
#include "tst_sitequeries.moc"
