#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"
#include "support/CatalogueText.h"
#include "support/HttpClient.h"
#include "support/RawHttpConnection.h"
#include "support/ReferenceSite.h"
#include "support/SiteDatabase.h"
#include "support/TestFiles.h"
#include "support/UploadForm.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

constexpr qint64 MaxFileBytes = 50 * 1024 * 1024;
const QByteArray MultipartType = UploadForm::contentType();
const QString Remark = u"备注"_s;

}  // namespace

// The upload page of the reference site: what it stores, what it refuses, and that a refusal
// leaves nothing behind.
class TstSiteUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void uploadPageOffersTheCategories();
    void storesTheFileAndTheRecord_data();
    void storesTheFileAndTheRecord();
    void sameNameKeepsTheEarlierFile();
    void refusals_data();
    void refusals();
    void requestTooLargeIsRefusedBeforeItsBody_data();
    void requestTooLargeIsRefusedBeforeItsBody();
    void otherMethodsAreNotAllowed();
    void nothingIsWrittenThroughALinkOut();
    void uploadsSurviveARestart();

private:
    QStringList newest();
    qint64 userCount();

    ReferenceSite m_site;
    HttpClient m_http;
    QString m_uploads;
};

void TstSiteUpload::initTestCase()
{
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
    m_uploads = m_site.dataPath() + u"/wangyou/up"_s;
}

// The fields of the newest entry of the user catalogue, read the way the client reads them.
QStringList TstSiteUpload::newest()
{
    return catalogueEntries(m_http.get(m_site.root() + u"wangyou/users_upload.php?page=1"_s).body, 6).value(0);
}

qint64 TstSiteUpload::userCount()
{
    const HttpClient::Reply reply = m_http.get(m_site.root() + u"wangyou/users_upload.php?page=1"_s);
    return ParseCataloguePage(Utf8ToUnicode(reply.body), 6).resourceCount.value_or(u"-1"_s).toLongLong();
}

void TstSiteUpload::uploadPageOffersTheCategories()
{
    const HttpClient::Reply reply = m_http.get(m_site.root() + u"wangyou/"_s);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.header("Content-Type"), "text/html; charset=utf-8");
    const QString html = reply.text();
    for (const QString &category : {u"软件"_s, u"教程"_s, u"工具"_s, u"电子书"_s, u"音乐"_s, u"游戏"_s, u"视频"_s})
        QVERIFY2(html.contains(u"<option>"_s + category + u"</option>"_s), qPrintable(category));
    QVERIFY(html.contains(u"enctype=\"multipart/form-data\""_s));
    QVERIFY(html.contains(u"50 MB"_s));
}

void TstSiteUpload::storesTheFileAndTheRecord_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("title");  // as stored
    QTest::addColumn<QString>("remark");
    QTest::addColumn<QString>("fileName");  // as stored
    QTest::addColumn<QByteArray>("data");

    const QByteArray text = u"第一行\n第二行\n"_s.toUtf8();
    QTest::newRow("as a browser sends it")
        << MultipartType << UploadForm::body(u"输入法 词库"_s, "词库.txt", text, u"软件"_s, Remark) << u"输入法 词库"_s
        << u"备注"_s << u"词库.txt"_s << text;

    const QByteArray quoted = "a b:c";
    QTest::newRow("quoted boundary, tricky bytes")
        << "Multipart/Form-Data; charset=utf-8; boundary=\"" + quoted + "\""
        << UploadForm::body(u"tool"_s, "t.bin", UploadForm::trickyBytes(quoted), u"工具"_s, Remark, quoted) << u"tool"_s
        << u"备注"_s << u"t.bin"_s << UploadForm::trickyBytes(quoted);

    QTest::newRow("preamble, fields in another order") << MultipartType
                                                       << "ignored preamble\r\n"
            + UploadForm::multipart({UploadForm::filePart("notes.md", "# hi"),
                                     UploadForm::textPart("title", "  两个   空格 "),
                                     UploadForm::textPart("category", "教程")})
                                                       << u"两个 空格"_s << QString() << u"notes.md"_s << "# hi"_ba;
}

void TstSiteUpload::storesTheFileAndTheRecord()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, title);
    QFETCH(QString, remark);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, data);

    const HttpClient::Reply posted = m_http.post(m_site.root() + u"wangyou/"_s, contentType, body);
    QCOMPARE(posted.status, 303);
    const QString done = QString::fromUtf8(posted.header("Location"));
    QVERIFY2(done.startsWith(m_site.root() + u"wangyou/?done="_s), qPrintable(done));

    // The page after the upload confirms it, and reloading it stores nothing again.
    const qint64 count = userCount();
    const HttpClient::Reply page = m_http.get(done);
    QCOMPARE(page.status, 200);
    QVERIFY(page.text().contains(u"上传成功"_s));
    QVERIFY(page.text().contains(title.toHtmlEscaped()));
    QCOMPARE(userCount(), count);

    const QStringList record = newest();
    QVERIFY(!record.isEmpty());
    QCOMPARE(u"?done="_s + record[ResourceRecord::Id], done.section(u'/', -1));
    QCOMPARE(record[ResourceRecord::Title], title);
    QCOMPARE(record[ResourceRecord::Remark], remark);
    const QString address = record[ResourceRecord::DownloadAddress];
    QVERIFY2(
        QRegularExpression(u"^\\d{4}/\\d\\d/"_s + QRegularExpression::escape(fileName) + u'$').match(address).hasMatch(),
        qPrintable(address));

    QFile stored(m_uploads + u'/' + address);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), data);
    // Its digest was kept as it came in, before anyone asked for the file, in hex to look it up by.
    const QByteArray sha256 = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    const QStringList kept = queryDatabase(
        m_site.dataPath() + u"/site.sqlite"_s,
        u"SELECT file_path FROM file_digests WHERE sha256 = '%1'"_s.arg(QString::fromLatin1(sha256.toHex())));
    QVERIFY(!kept.isEmpty());
    QCOMPARE(kept.first(), u"wangyou/up/"_s + address);
    const HttpClient::Reply download = m_http.get(m_site.root() + u"wangyou/up/"_s + address);
    QCOMPARE(download.status, 200);
    QCOMPARE(download.body, data);
    QCOMPARE(download.header("Repr-Digest"), "sha-256=:" + sha256.toBase64() + ':');
}

void TstSiteUpload::sameNameKeepsTheEarlierFile()
{
    QStringList addresses;
    for (const QByteArray &data : {"first"_ba, "second"_ba, "third"_ba}) {
        QCOMPARE(m_http
                     .post(m_site.root() + u"wangyou/"_s, MultipartType,
                           UploadForm::body(QString::fromLatin1(data), "same.tar.gz", data))
                     .status,
                 303);
        const QStringList record = newest();
        QVERIFY(!record.isEmpty());
        addresses.append(record[ResourceRecord::DownloadAddress]);
        QFile stored(m_uploads + u'/' + addresses.last());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), data);
    }
    QVERIFY(addresses[0].endsWith(u"/same.tar.gz"_s));
    QVERIFY(addresses[1].endsWith(u"/same.tar-2.gz"_s));
    QVERIFY(addresses[2].endsWith(u"/same.tar-3.gz"_s));
    QFile first(m_uploads + u'/' + addresses[0]);
    QVERIFY(first.open(QIODevice::ReadOnly));
    QCOMPARE(first.readAll(), "first");
}

void TstSiteUpload::refusals_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    const QString markup = u"<script>alert(1)</script>"_s;
    const QString malformed = u"不完整或格式不对"_s;
    const QString unsafe = u"文件名不安全"_s;
    const QByteArray complete = UploadForm::body(markup, "a.txt", "data");

    QTest::newRow("empty title") << MultipartType << UploadForm::body(u" \t "_s, "a.txt", "data") << 400
                                 << u"请填写标题"_s;
    QTest::newRow("title too long") << MultipartType << UploadForm::body(QString(61, u'x'), "a.txt", "data") << 400
                                    << u"标题不能超过 60 个字"_s;
    QTest::newRow("remark too long") << MultipartType
                                     << UploadForm::body(markup, "a.txt", "data", u"软件"_s, QString(201, u'r')) << 400
                                     << u"备注不能超过 200 个字"_s;
    QTest::newRow("unknown category") << MultipartType << UploadForm::body(markup, "a.txt", "data", u"木马"_s) << 400
                                      << u"请选择一个分类"_s;
    QTest::newRow("no file field") << MultipartType
                                   << UploadForm::multipart({UploadForm::textPart("category", "软件"),
                                                             UploadForm::textPart("title", markup.toUtf8())})
                                   << 400 << u"请选择要上传的文件"_s;
    QTest::newRow("no file chosen") << MultipartType << UploadForm::body(markup, "", "") << 400
                                    << u"请选择要上传的文件"_s;
    QTest::newRow("empty file") << MultipartType << UploadForm::body(markup, "a.txt", "") << 400 << u"是空的"_s;
    QTest::newRow("file too large") << MultipartType
                                    << UploadForm::body(markup, "big.bin", QByteArray(MaxFileBytes + 1, 'b')) << 413
                                    << u"不能超过 50 MB"_s;

    QTest::newRow("parent folder") << MultipartType << UploadForm::body(markup, "../../site.sqlite", "x") << 400
                                   << unsafe;
    QTest::newRow("backslash path") << MultipartType << UploadForm::body(markup, "..\\..\\evil.exe", "x") << 400
                                    << unsafe;
    QTest::newRow("tab") << MultipartType << UploadForm::body(markup, "a\t.txt", "x") << 400 << unsafe;
    QTest::newRow("name too long") << MultipartType << UploadForm::body(markup, QByteArray(101, 'n'), "x") << 400
                                   << u"文件名太长"_s;

    QTest::newRow("cut short") << MultipartType << complete.left(complete.size() - 30) << 400 << malformed;
    QTest::newRow("no closing delimiter")
        << MultipartType << complete.left(complete.indexOf("--" + UploadForm::boundary() + "--")) << 400 << malformed;
    QTest::newRow("no boundary given") << "multipart/form-data"_ba << complete << 400 << malformed;
    QTest::newRow("other boundary") << "multipart/form-data; boundary=other"_ba << complete << 400 << malformed;
    QTest::newRow("unclosed quote") << "multipart/form-data; boundary=\"" + UploadForm::boundary() << complete << 400
                                    << malformed;
    QTest::newRow("bare line feeds") << MultipartType << QByteArray(complete).replace("\r\n", "\n") << 400 << malformed;
    QTest::newRow("not a form") << "text/plain"_ba << complete << 400 << malformed;
    QTest::newRow("empty body") << MultipartType << QByteArray() << 400 << malformed;
}

void TstSiteUpload::refusals()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, message);

    const QStringList filesBefore = filesBelow(m_site.dataPath());
    const qint64 countBefore = userCount();
    const HttpClient::Reply reply = m_http.post(m_site.root() + u"wangyou/"_s, contentType, body);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.header("Content-Type"), "text/html; charset=utf-8");
    const QString html = reply.text();
    QVERIFY2(html.contains(u"<p class=\"error\" id=\"error\">"_s) && html.contains(message),
             qPrintable(html.right(2000)));
    // The form comes back for another try, with what was typed, shown as text.
    QVERIFY(html.contains(u"<form"_s));
    QVERIFY(!html.contains(u"<script>alert"_s));
    const bool parsed = !message.contains(u"格式不对"_s);
    if (parsed && body.contains("<script>alert(1)</script>"))
        QVERIFY(html.contains(u"value=\"&lt;script&gt;alert(1)&lt;/script&gt;\""_s));

    QCOMPARE(filesBelow(m_site.dataPath()), filesBefore);
    QCOMPARE(userCount(), countBefore);
}

void TstSiteUpload::requestTooLargeIsRefusedBeforeItsBody_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");

    const QByteArray head = "POST /wangyou/ HTTP/1.1\r\nHost: " + QUrl(m_site.root()).authority().toLatin1()
        + "\r\nContent-Type: " + MultipartType + "\r\n";
    QTest::newRow("declared body too large")
        << head + "Content-Length: " + QByteArray::number(MaxFileBytes + 64 * 1024 + 1) + "\r\n\r\n"
        << "HTTP/1.1 413"_ba;
    QTest::newRow("two lengths") << head + "Content-Length: 10\r\nContent-Length: 99999999999\r\n\r\n"
                                 << "HTTP/1.1 400 Bad Request"_ba;
    QTest::newRow("length not stated") << head + "Transfer-Encoding: chunked\r\n\r\n10\r\n0123456789abcdef\r\n"
                                       << "HTTP/1.1 411 Length Required"_ba;
    QTest::newRow("endless head") << head + "X-Padding: " + QByteArray(70 * 1024, 'p')
                                  << "HTTP/1.1 431 Request Header Fields Too Large"_ba;
}

void TstSiteUpload::requestTooLargeIsRefusedBeforeItsBody()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);

    RawHttpConnection connection(m_site.port());
    connection.send(request);
    const RawHttpConnection::Answer answer = connection.answer();
    QVERIFY2((answer.head + "\r\n").startsWith(statusLine + (statusLine.endsWith("413") ? " " : "\r\n")),
             answer.head.constData());
    QVERIFY(connection.waitClosed());
    if (statusLine.contains("413"))
        QVERIFY(answer.text().contains(u"不能超过 50 MB"_s));

    // The site goes on serving.
    QCOMPARE(m_http.get(m_site.root() + u"wangyou/"_s).status, 200);
}

void TstSiteUpload::otherMethodsAreNotAllowed()
{
    const HttpClient::Reply reply = m_http.send("PUT", m_site.root() + u"wangyou/"_s);
    QCOMPARE(reply.status, 405);
    QCOMPARE(reply.header("Allow"), "GET, HEAD, POST");
}

// A folder of the upload folder that is a link to elsewhere is not written through.
void TstSiteUpload::nothingIsWrittenThroughALinkOut()
{
    ReferenceSite site;
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    QTemporaryDir outside;
    const QString year = QDate::currentDate().toString(u"yyyy"_s);
    QVERIFY(QFile::link(outside.path(), site.dataPath() + u"/wangyou/up/"_s + year));

    const HttpClient::Reply reply = m_http.post(site.root() + u"wangyou/"_s, MultipartType,
                                                UploadForm::body(u"外面"_s, "out.txt", "x"));
    QCOMPARE(reply.status, 500);
    QVERIFY(reply.text().contains(u"服务器保存文件失败"_s));
    QCOMPARE(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TstSiteUpload::uploadsSurviveARestart()
{
    QCOMPARE(m_http
                 .post(m_site.root() + u"wangyou/"_s, MultipartType,
                       UploadForm::body(u"留得住"_s, "keep.mp4", "frames", u"视频"_s))
                 .status,
             303);
    const QStringList before = newest();
    QCOMPARE(before.value(ResourceRecord::Title), u"留得住"_s);
    m_site.stop();
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));

    QCOMPARE(newest(), before);
    QCOMPARE(m_http.get(m_site.root() + u"wangyou/up/"_s + before[ResourceRecord::DownloadAddress]).body, "frames");
}

QTEST_GUILESS_MAIN(TstSiteUpload)
#include "tst_siteupload.moc"
