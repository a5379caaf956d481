#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"
#include "support/HttpClient.h"
#include "support/RawHttpConnection.h"
#include "support/ReferenceSite.h"
#include "support/SiteDatabase.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

const QString Official = u"guanfang/admin_upload.php?"_s;
const QString User = u"wangyou/users_upload.php?"_s;

int fieldCountOf(const QString &endpoint)
{
    return endpoint == Official ? 7 : 6;
}

QByteArray reprDigest(const QByteArray &bytes)
{
    return "sha-256=:" + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toBase64() + ':';
}

}  // namespace

class TstSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void catalogueLayout_data();
    void catalogueLayout();
    void pagingReachesEveryRecord_data();
    void pagingReachesEveryRecord();
    void badPageShowsFirstPage_data();
    void badPageShowsFirstPage();
    void search_data();
    void search();

    void officialLinksAndPagesAreReachable();
    void linksFollowTheOrigin();
    void startPage();
    void userFilesDownloadWhole();
    void filesAnswerRanges_data();
    void filesAnswerRanges();
    void fileDigestFollowsTheFileOnDisk();
    void rejectedPaths_data();
    void rejectedPaths();
    void unknownRoutes_data();
    void unknownRoutes();
    void onlyGetIsAnswered();
    void databaseFailureIsAnError();

    void dataSurvivesRestart();

private:
    HttpClient::Reply get(const QString &url);
    CataloguePage catalogue(const QString &endpoint, const QString &query);
    QList<QStringList> allRecords(const QString &endpoint, const QString &search, qint64 *total);
    int rawStatus(const QByteArray &target);

    ReferenceSite m_site;
    HttpClient m_http;
};

void TstSite::initTestCase()
{
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
    QVERIFY(m_site.root().startsWith(u"http://127.0.0.1:"_s));
    QVERIFY(m_site.root().endsWith(u'/'));
}

void TstSite::cleanupTestCase()
{
    m_site.stop();
}

HttpClient::Reply TstSite::get(const QString &url)
{
    return m_http.get(url);
}

CataloguePage TstSite::catalogue(const QString &endpoint, const QString &query)
{
    const HttpClient::Reply reply = get(m_site.root() + endpoint + query);
    if (reply.status != 200 || reply.header("Content-Type") != "text/plain; charset=utf-8")
        return {};
    return ParseCataloguePage(Utf8ToUnicode(reply.body), fieldCountOf(endpoint));
}

// Every record of a listing, page by page, as the client would page through it.
QList<QStringList> TstSite::allRecords(const QString &endpoint, const QString &search, qint64 *total)
{
    QList<QStringList> records;
    CataloguePage page = catalogue(endpoint, u"page=1"_s + search);
    *total = page.resourceCount.value_or(u"-1"_s).toLongLong();
    for (qint32 number = 1; number <= page.pageCount; ++number) {
        if (number > 1)
            page = catalogue(endpoint, u"page=%1"_s.arg(number) + search);
        for (const ResourceRecord &record : page.records) {
            QStringList fields;
            for (int k = 0; k < fieldCountOf(endpoint); ++k)
                fields.append(record.field(k).toString());
            records.append(fields);
        }
    }
    return records;
}

// Sends the request target exactly as written, which a URL class would tidy up first.
int TstSite::rawStatus(const QByteArray &target)
{
    RawHttpConnection connection(m_site.port());
    connection.send("GET " + target + " HTTP/1.1\r\nHost: " + connection.host() + "\r\n\r\n");
    return connection.answer().status;
}

void TstSite::catalogueLayout_data()
{
    QTest::addColumn<QString>("endpoint");
    QTest::newRow("official") << Official;
    QTest::newRow("user") << User;
}

void TstSite::catalogueLayout()
{
    QFETCH(QString, endpoint);
    const int fieldCount = fieldCountOf(endpoint);
    const HttpClient::Reply reply = get(m_site.root() + endpoint + u"page=1"_s);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.header("Content-Type"), "text/plain; charset=utf-8");
    const QString text = Utf8ToUnicode(reply.body);

    // Records end with U+0001 and hold exactly their fields; the trailer closes the body.
    QStringList pieces = text.split(u'\x01');
    const QRegularExpressionMatch trailer = QRegularExpression(u"^\\?TtbBa\\?(\\d+)\\?(\\d+)$"_s).match(pieces.takeLast());
    QVERIFY(trailer.hasMatch());
    QCOMPARE(pieces.size(), 10);
    static const QRegularExpression time(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d$"_s);
    for (const QString &piece : pieces) {
        const QStringList fields = piece.split(u'\x02');
        QCOMPARE(fields.size(), fieldCount);
        QVERIFY(!fields[ResourceRecord::Category].isEmpty());
        QVERIFY(!fields[ResourceRecord::Title].isEmpty());
        QVERIFY2(time.match(fields[ResourceRecord::CollectedTime]).hasMatch(), qPrintable(piece));
        QVERIFY(fields[ResourceRecord::Id].toLongLong() > 0);
    }

    const CataloguePage page = ParseCataloguePage(text, fieldCount);
    QCOMPARE(page.records.size(), 10);
    const qint64 count = trailer.captured(1).toLongLong();
    QVERIFY(count >= 60);
    QCOMPARE(page.resourceCount, trailer.captured(1));
    QCOMPARE(page.pageCount, (count + 9) / 10);
}

void TstSite::pagingReachesEveryRecord_data()
{
    catalogueLayout_data();
}

void TstSite::pagingReachesEveryRecord()
{
    QFETCH(QString, endpoint);
    const CataloguePage first = catalogue(endpoint, u"page=1"_s);
    const qint64 count = first.resourceCount.value_or(QString()).toLongLong();
    QVERIFY(first.pageCount > 1);

    qint64 total = 0;
    const QList<QStringList> records = allRecords(endpoint, QString(), &total);
    QCOMPARE(total, count);
    QCOMPARE(records.size(), count);
    QSet<QString> ids;
    for (qsizetype i = 0; i < records.size(); ++i) {
        ids.insert(records[i][ResourceRecord::Id]);
        if (i > 0)  // newest first
            QVERIFY(records[i - 1][ResourceRecord::CollectedTime] >= records[i][ResourceRecord::CollectedTime]);
    }
    QCOMPARE(ids.size(), count);

    const CataloguePage last = catalogue(endpoint, u"page=%1"_s.arg(first.pageCount));
    QCOMPARE(last.records.size(), count - 10 * (first.pageCount - 1));

    const CataloguePage pastTheEnd = catalogue(endpoint, u"page=%1"_s.arg(first.pageCount + 1));
    QVERIFY(pastTheEnd.records.isEmpty());
    QCOMPARE(pastTheEnd.resourceCount, first.resourceCount);
    QCOMPARE(pastTheEnd.pageCount, first.pageCount);
}

void TstSite::badPageShowsFirstPage_data()
{
    QTest::addColumn<QString>("query");
    QTest::newRow("zero") << u"page=0"_s;
    QTest::newRow("negative") << u"page=-2"_s;
    QTest::newRow("letters") << u"page=abc"_s;
    QTest::newRow("empty") << u"page="_s;
    QTest::newRow("missing") << QString();
    QTest::newRow("beyond 32 bits") << u"page=99999999999"_s;
}

void TstSite::badPageShowsFirstPage()
{
    QFETCH(QString, query);
    const HttpClient::Reply first = get(m_site.root() + Official + u"page=1"_s);
    const HttpClient::Reply reply = get(m_site.root() + Official + query);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.body, first.body);
}

void TstSite::search_data()
{
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("field");  // the official field selector; empty for the user catalogue
    QTest::addColumn<bool>("found");

    QTest::newRow("official title, Chinese") << Official << u"播放器"_s << u"1"_s << true;
    QTest::newRow("official category, Chinese") << Official << u"游戏"_s << u"0"_s << true;
    QTest::newRow("official title, plus signs") << Official << u"C++"_s << u"1"_s << true;
    QTest::newRow("official title, other case and a space") << Official << u"qt 6"_s << u"1"_s << true;
    QTest::newRow("official title, percent sign") << Official << u"%"_s << u"1"_s << true;
    QTest::newRow("official title, underscore") << Official << u"_"_s << u"1"_s << true;
    QTest::newRow("official title, question mark") << Official << u"慢?"_s << u"1"_s << true;
    QTest::newRow("official category is not the title") << Official << u"游戏"_s << u"1"_s << false;
    QTest::newRow("official, nothing") << Official << u"没有这种资源"_s << u"1"_s << false;
    QTest::newRow("user, Chinese") << User << u"模板"_s << QString() << true;
    QTest::newRow("user, plus signs") << User << u"C++"_s << QString() << true;
    QTest::newRow("user, underscore") << User << u"_"_s << QString() << true;
    QTest::newRow("user, nothing") << User << u"没有这种资源"_s << QString() << false;
}

void TstSite::search()
{
    QFETCH(QString, endpoint);
    QFETCH(QString, keyword);
    QFETCH(QString, field);
    QFETCH(bool, found);

    QString search = u"&q="_s + GBtoUTF8(keyword);
    if (!field.isEmpty())
        search += u"&t="_s + field;
    qint64 total = 0;
    const QList<QStringList> records = allRecords(endpoint, search, &total);
    QCOMPARE(records.size(), total);
    QCOMPARE(total > 0, found);

    // Every match holds the keyword as typed, so % and _ were not taken as wildcards.
    for (const QStringList &fields : records) {
        const QString searched = field == u"0"_s ? fields[ResourceRecord::Category]
            : field == u"1"_s                    ? fields[ResourceRecord::Title]
                                                 : fields.first(ResourceRecord::CollectedTime).join(u'\n');
        QVERIFY2(searched.contains(keyword, Qt::CaseInsensitive), qPrintable(searched));
    }
}

void TstSite::officialLinksAndPagesAreReachable()
{
    qint64 total = 0;
    const QList<QStringList> records = allRecords(Official, QString(), &total);
    QVERIFY(!records.isEmpty());
    QSet<QString> schemes;
    bool someWithoutLinks = false;
    for (const QStringList &fields : records) {
        const QList<DownloadLink> links = ParseDownloadLinks(fields[ResourceRecord::DownloadAddress]);
        someWithoutLinks |= links.isEmpty();
        for (const DownloadLink &link : links) {
            QVERIFY(!link.label.isEmpty());
            const QUrl target(link.target);
            schemes.insert(target.scheme());
            if (target.scheme() != u"http"_s)
                continue;
            QVERIFY2(link.target.startsWith(m_site.root()), qPrintable(link.target));
            const HttpClient::Reply file = get(link.target);
            QCOMPARE(file.status, 200);
            QVERIFY(!file.body.isEmpty());
            QCOMPARE(file.header("Content-Length").toLongLong(), file.body.size());
        }

        const QString address = fields[ResourceRecord::BrowseAddress];
        QVERIFY2(address.startsWith(m_site.root()), qPrintable(address));
        const HttpClient::Reply page = get(address);
        QCOMPARE(page.status, 200);
        QCOMPARE(page.header("Content-Type"), "text/html; charset=utf-8");
        QVERIFY(QString::fromUtf8(page.body).contains(fields[ResourceRecord::Title].toHtmlEscaped()));
    }
    QCOMPARE(schemes, (QSet<QString>{u"http"_s, u"magnet"_s, u"ed2k"_s}));
    QVERIFY(someWithoutLinks);
}

void TstSite::linksFollowTheOrigin()
{
    // Asked by another name the site is reached by, pages still link from the first one.
    const HttpClient::Reply reply = m_http.get(m_site.root() + Official + u"page=1"_s,
                                               {{"Host", "localhost:" + QByteArray::number(m_site.port())}});
    const CataloguePage page = ParseCataloguePage(Utf8ToUnicode(reply.body), 7);
    QVERIFY(!page.records.isEmpty());
    for (const ResourceRecord &record : page.records)
        QVERIFY(record.field(ResourceRecord::BrowseAddress).startsWith(m_site.root()));
}

void TstSite::startPage()
{
    const HttpClient::Reply reply = get(m_site.root() + u"zorvik/"_s);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.header("Content-Type"), "text/html; charset=utf-8");
    const QString html = QString::fromUtf8(reply.body);
    QVERIFY(html.contains(u"Quillmere"_s));
    const CataloguePage newest = catalogue(Official, u"page=1"_s);
    QVERIFY(!newest.records.isEmpty());
    QVERIFY(html.contains(newest.records.first().field(ResourceRecord::Title).toString().toHtmlEscaped()));
}

void TstSite::userFilesDownloadWhole()
{
    qint64 total = 0;
    const QList<QStringList> records = allRecords(User, QString(), &total);
    QVERIFY(!records.isEmpty());
    const QDir uploads(m_site.dataPath() + u"/wangyou/up"_s);
    qint64 largest = 0;
    for (const QStringList &fields : records) {
        const QString address = fields[ResourceRecord::DownloadAddress];
        QFile file(uploads.filePath(address));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(address));
        const HttpClient::Reply reply = get(m_site.root() + u"wangyou/up/"_s + address);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.header("Content-Length").toLongLong(), file.size());
        QVERIFY2(reply.body == file.readAll(), qPrintable(address));
        largest = std::max(largest, file.size());
    }
    // One file large enough for a download to report progress many times.
    QVERIFY(largest >= 8 * 1024 * 1024);
}

void TstSite::filesAnswerRanges_data()
{
    QTest::addColumn<bool>("paced");
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<QByteArray>("ifRange");
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("length");  // -1: to the end

    QTest::newRow("no range") << false << QByteArray() << QByteArray() << 200 << qint64(0) << qint64(-1);
    QTest::newRow("10 to 19") << false << "bytes=10-19"_ba << QByteArray() << 206 << qint64(10) << qint64(10);
    QTest::newRow("past the end") << false << "bytes=999999999-"_ba << QByteArray() << 416 << qint64(0) << qint64(0);
    QTest::newRow("another version") << false << "bytes=10-"_ba
                                     << "\"0-0\""_ba << 200 << qint64(0) << qint64(-1);
    QTest::newRow("paced, from 10 on") << true << "bytes=10-"_ba << QByteArray() << 206 << qint64(10) << qint64(-1);
    QTest::newRow("paced, past the end") << true << "bytes=999999999-"_ba << QByteArray() << 416 << qint64(0)
                                         << qint64(0);
}

// Files go out straight from disk, or paced by the rate through another path; both send the
// same bytes for the same range.
void TstSite::filesAnswerRanges()
{
    QFETCH(bool, paced);
    QFETCH(QByteArray, range);
    QFETCH(QByteArray, ifRange);
    QFETCH(int, status);
    QFETCH(qint64, first);
    QFETCH(qint64, length);

    ReferenceSite pacedSite(m_site.dataPath());
    if (paced) {
        pacedSite.setFileRate(64);
        QVERIFY2(pacedSite.start(), qPrintable(pacedSite.errorString()));
    }
    const QDir files(m_site.dataPath() + u"/guanfang/files"_s);
    const QString name = files.entryList(QDir::Files).value(0);
    QFile file(files.filePath(name));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();

    QList<std::pair<QByteArray, QByteArray>> headers;
    if (!range.isEmpty())
        headers.append({"Range", range});
    if (!ifRange.isEmpty())
        headers.append({"If-Range", ifRange});
    const HttpClient::Reply reply = m_http.get((paced ? pacedSite.root() : m_site.root()) + u"guanfang/files/"_s + name,
                                               headers);
    QCOMPARE(reply.status, status);
    QVERIFY(reply.header("ETag").startsWith('"'));
    QCOMPARE(reply.header("Accept-Ranges"), "bytes");
    // Of the whole file, whatever part the answer carries.
    QCOMPARE(reply.header("Repr-Digest"), reprDigest(whole));
    const QByteArray expected = status == 416 ? QByteArray()
                                              : whole.sliced(first, length < 0 ? whole.size() - first : length);
    QCOMPARE(reply.body, expected);
    if (status == 206) {
        QCOMPARE(reply.header("Content-Range"),
                 "bytes " + QByteArray::number(first) + '-' + QByteArray::number(first + expected.size() - 1) + '/'
                     + QByteArray::number(whole.size()));
    }
}

// A file the store holds no digest for gets one on its first download, and a file replaced
// by another of the same size a new one.
void TstSite::fileDigestFollowsTheFileOnDisk()
{
    const QString path = m_site.dataPath() + u"/guanfang/files/added.bin"_s;
    QVERIFY(writeFile(path, "the first bytes"));
    // Served only while an official resource links it.
    QVERIFY(execInDatabase(m_site.dataPath() + u"/site.sqlite"_s,
                           {u"INSERT INTO resource_links (resource_id, position, label, target) SELECT id, 99, 'added',"
                            " 'guanfang/files/added.bin' FROM resources WHERE catalogue = 'official' AND hidden = 0"
                            " LIMIT 1"_s}));
    const QString url = m_site.root() + u"guanfang/files/added.bin"_s;
    QCOMPARE(get(url).header("Repr-Digest"), reprDigest("the first bytes"));
    QCOMPARE(get(url).header("Repr-Digest"), reprDigest("the first bytes"));

    QVERIFY(writeFile(path, "THE FIRST BYTES"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(get(url).header("Repr-Digest"), reprDigest("THE FIRST BYTES"));
}

void TstSite::rejectedPaths_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("dot-dot") << "/wangyou/up/../site.sqlite"_ba;
    QTest::newRow("encoded dot-dot") << "/wangyou/up/%2e%2e/site.sqlite"_ba;
    QTest::newRow("encoded slash") << "/wangyou/up/..%2Fsite.sqlite"_ba;
    QTest::newRow("all encoded") << "/wangyou/up/%2E%2E%2F%2E%2E%2F%2E%2E%2Fetc%2Fpasswd"_ba;
    QTest::newRow("backslashes") << "/wangyou/up/2024/..%5C..%5Csite.sqlite"_ba;
    QTest::newRow("absolute") << "/wangyou/up//etc/passwd"_ba;
    QTest::newRow("encoded absolute") << "/wangyou/up/%2Fetc%2Fpasswd"_ba;
    QTest::newRow("link to a folder outside") << "/wangyou/up/outside/passwd"_ba;
    QTest::newRow("link to a file outside") << "/wangyou/up/database.sqlite"_ba;
    QTest::newRow("folder") << "/wangyou/up/2024"_ba;
    QTest::newRow("missing file") << "/wangyou/up/2024/01/missing.zip"_ba;
    QTest::newRow("official dot-dot") << "/guanfang/files/../../site.sqlite"_ba;
    QTest::newRow("official encoded dot-dot") << "/guanfang/files/%2e%2e/%2e%2e/site.sqlite"_ba;
}

void TstSite::rejectedPaths()
{
    QFETCH(QByteArray, target);
    const QDir uploads(m_site.dataPath() + u"/wangyou/up"_s);
    if (!uploads.exists(u"outside"_s)) {
        QVERIFY(QFile::link(u"/etc"_s, uploads.filePath(u"outside"_s)));
        QVERIFY(QFile::link(m_site.dataPath() + u"/site.sqlite"_s, uploads.filePath(u"database.sqlite"_s)));
    }
    QCOMPARE(rawStatus(target), 404);
}

void TstSite::unknownRoutes_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("no such page") << u"no/such/page.html"_s;
    QTest::newRow("catalogue folder") << u"guanfang/"_s;
    QTest::newRow("start page without slash") << u"zorvik"_s;
    QTest::newRow("no such resource") << u"guanfang/view.php?id=999999"_s;
    QTest::newRow("id not a number") << u"guanfang/view.php?id=abc"_s;
    QTest::newRow("no id") << u"guanfang/view.php"_s;
}

void TstSite::unknownRoutes()
{
    QFETCH(QString, path);
    const HttpClient::Reply reply = get(m_site.root() + path);
    QCOMPARE(reply.status, 404);
    QCOMPARE(reply.header("Content-Type"), "text/html; charset=utf-8");
    QVERIFY(QString::fromUtf8(reply.body).contains(u"页面不存在"_s));
}

void TstSite::onlyGetIsAnswered()
{
    const HttpClient::Reply reply = m_http.post(m_site.root() + Official + u"page=1"_s,
                                                "application/x-www-form-urlencoded", "q=x");
    QCOMPARE(reply.status, 405);
    QCOMPARE(reply.header("Allow"), "GET, HEAD");
}

// An empty catalogue or a missing page would be taken for the truth; a failing database must be an error.
void TstSite::databaseFailureIsAnError()
{
    ReferenceSite site;
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    QVERIFY(execInDatabase(site.dataPath() + u"/site.sqlite"_s, {u"DROP TABLE resource_links"_s}));

    const QStringList paths = {Official + u"page=1"_s, User + u"page=1"_s, u"zorvik/"_s, u"guanfang/view.php?id=1"_s};
    for (const QString &path : paths) {
        const HttpClient::Reply reply = get(site.root() + path);
        QCOMPARE(reply.status, 500);
        QCOMPARE(reply.header("Content-Type"), "text/plain; charset=utf-8");
    }
}

// Runs last: it adds a row to the shared site's database.
void TstSite::dataSurvivesRestart()
{
    const QString oldRoot = m_site.root();
    const QByteArray official = get(oldRoot + Official + u"page=3"_s).body;
    const CataloguePage user = catalogue(User, u"page=1"_s);
    QVERIFY(user.resourceCount);
    m_site.stop();

    // A row that only the database holds, with text that would break the page layout.
    QVERIFY(execInDatabase(m_site.dataPath() + u"/site.sqlite"_s,
                           {u"INSERT INTO resources (catalogue, category, title, remark, collected_at, file_path)"
                            " VALUES ('user', '软件', '坏?Ttb?TtbBa?Ba?标' || char(1) || '题' || char(2),"
                            " '一个?问号', '2030-01-01 08:00', 'late.zip')"_s}));

    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
    // The port may differ; everything else is as it was.
    QCOMPARE(get(m_site.root() + Official + u"page=3"_s).body,
             QString::fromUtf8(official).replace(oldRoot, m_site.root()).toUtf8());

    const CataloguePage after = catalogue(User, u"page=1"_s);
    QCOMPARE(after.records.size(), 10);
    QCOMPARE(after.records.first().field(ResourceRecord::Title), u"坏标题"_s);
    QCOMPARE(after.records.first().field(ResourceRecord::Remark), u"一个?问号"_s);
    QCOMPARE(after.resourceCount, QString::number(user.resourceCount->toLongLong() + 1));
}

QTEST_GUILESS_MAIN(TstSite)
#include "tst_site.moc"
