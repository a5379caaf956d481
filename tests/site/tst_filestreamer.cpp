#include "support/ReferenceSite.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// Byte ranges and versions of the site's file answers, plain and paced, as they go over the wire.
class TstFileStreamer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void ranges_data();
    void ranges();
    void ifRangeGivesTheWholeFileForAnotherVersion_data();
    void ifRangeGivesTheWholeFileForAnotherVersion();

private:
    struct Reply
    {
        int status = 0;
        QByteArray body;
        QHash<QByteArray, QByteArray> headers;
    };
    Reply get(const ReferenceSite &site, const QList<std::pair<QByteArray, QByteArray>> &headers);

    ReferenceSite m_site;
    ReferenceSite m_pacedSite;
    QByteArray m_file;
    QNetworkAccessManager m_network;
};

namespace {

const QString Address = u"wangyou/up/readme-first.txt"_s;

} // namespace

void TstFileStreamer::initTestCase()
{
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
    m_pacedSite.setFileRate(64);
    QVERIFY2(m_pacedSite.start(), qPrintable(m_pacedSite.errorString()));
    m_file = readFile(QDir(m_site.dataPath()).filePath(Address));
    QVERIFY(m_file.size() > 100);
}

TstFileStreamer::Reply TstFileStreamer::get(const ReferenceSite &site,
                                            const QList<std::pair<QByteArray, QByteArray>> &headers)
{
    QNetworkRequest request(QUrl(site.root() + Address));
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply *reply = m_network.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(30000);
    Reply result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(), {}};
    for (const auto &[name, value] : reply->rawHeaderPairs())
        result.headers.insert(name.toLower(), value);
    reply->deleteLater();
    return result;
}

void TstFileStreamer::ranges_data()
{
    QTest::addColumn<bool>("paced");
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("first");  // negative: counted from the end
    QTest::addColumn<qint64>("length");  // -2: to the end

    QTest::newRow("no range") << false << QByteArray() << 200 << qint64(0) << qint64(-2);
    QTest::newRow("10 to 19") << false << "bytes=10-19"_ba << 206 << qint64(10) << qint64(10);
    QTest::newRow("past the end") << false << "bytes=999999999-"_ba << 416 << qint64(-1) << qint64(0);
    QTest::newRow("paced, from 10 on") << true << "bytes=10-"_ba << 206 << qint64(10) << qint64(-2);
    QTest::newRow("paced, past the end") << true << "bytes=999999999-"_ba << 416 << qint64(-1) << qint64(0);
}

void TstFileStreamer::ranges()
{
    QFETCH(bool, paced);
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(qint64, first);
    QFETCH(qint64, length);

    QList<std::pair<QByteArray, QByteArray>> headers;
    if (!range.isEmpty())
        headers.append({"Range", range});
    const Reply reply = get(paced ? m_pacedSite : m_site, headers);

    QCOMPARE(reply.status, status);
    QCOMPARE(reply.headers.value("accept-ranges"), "bytes"_ba);
    QVERIFY(reply.headers.value("etag").startsWith('"'));
    QVERIFY(!reply.headers.value("last-modified").isEmpty());
    const qint64 size = m_file.size();
    if (status == 416) {
        QCOMPARE(reply.headers.value("content-range"), "bytes */" + QByteArray::number(size));
        QVERIFY(reply.body.isEmpty());
        return;
    }
    const qint64 start = first < 0 ? size + first : first;
    const QByteArray expected = m_file.mid(start, length == -2 ? -1 : length);
    QCOMPARE(reply.body, expected);
    QCOMPARE(reply.headers.value("content-length").toLongLong(), expected.size());
    if (status == 206) {
        QCOMPARE(reply.headers.value("content-range"),
                 "bytes %1-%2/%3"_ba.replace("%1", QByteArray::number(start))
                     .replace("%2", QByteArray::number(start + expected.size() - 1))
                     .replace("%3", QByteArray::number(size)));
    }
}

void TstFileStreamer::ifRangeGivesTheWholeFileForAnotherVersion_data()
{
    QTest::addColumn<QByteArray>("validatorHeader");  // which validator the client echoes
    QTest::addColumn<bool>("sameVersion");

    QTest::newRow("same ETag") << "etag"_ba << true;
    QTest::newRow("same Last-Modified") << "last-modified"_ba << true;
    QTest::newRow("other ETag") << QByteArray("\"0-0\"") << false;
    QTest::newRow("other date") << QByteArray("Thu, 01 Jan 2015 00:00:00 GMT") << false;
}

void TstFileStreamer::ifRangeGivesTheWholeFileForAnotherVersion()
{
    QFETCH(QByteArray, validatorHeader);
    QFETCH(bool, sameVersion);

    const Reply whole = get(m_site, {});
    const QByteArray validator = whole.headers.value(validatorHeader, validatorHeader);
    const Reply reply = get(m_site, {{"Range", "bytes=10-"}, {"If-Range", validator}});

    QCOMPARE(reply.status, sameVersion ? 206 : 200);
    QCOMPARE(reply.body, sameVersion ? m_file.mid(10) : m_file);
    QCOMPARE(reply.headers.value("etag"), whole.headers.value("etag"));
}

QTEST_GUILESS_MAIN(TstFileStreamer)
#include "tst_filestreamer.moc"
