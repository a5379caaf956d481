#include "support/ProcessFigures.h"
#include "support/RawHttpConnection.h"
#include "support/ReferenceSite.h"
#include "support/SiteDatabase.h"
#include "support/TestFiles.h"
#include "support/UploadForm.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

// What a stranger can do to the site over plain sockets, each tried against the real program:
// floods, unread downloads, stored pages, odd heads, and a hard kill in the middle of uploads.
class TstSiteAttacks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void floodedFormsAreRefusedCheaply_data();
    void floodedFormsAreRefusedCheaply();
    void catalogueCacheStaysBounded();
    void pagesPastTheEndAreNotKept();
    void forwardedClientsAreCountedAsThemselves();
    void trustedProxiesAreWrittenInFull_data();
    void trustedProxiesAreWrittenInFull();
    void fieldsAreCleanedAtInput_data();
    void fieldsAreCleanedAtInput();
    void uploadedPagesAreDownloads_data();
    void uploadedPagesAreDownloads();
    void unreadDownloadsStayBounded();
    void protocolRules_data();
    void protocolRules();
    void continueIsAnswered();
    void killedDuringUploadsLeavesAConsistentStore();

private:
    ReferenceSite m_site;
};

namespace {

constexpr int WaitMs = 30000;
constexpr qint64 MiB = 1024 * 1024;

using Answer = RawHttpConnection::Answer;

QByteArray hostOf(const ReferenceSite &site)
{
    return "127.0.0.1:" + QByteArray::number(site.port());
}

// One request on a connection of its own.
Answer exchange(const ReferenceSite &site, const QByteArray &head, const QByteArray &body = {})
{
    RawHttpConnection connection(site.port());
    connection.send(head);
    connection.sendBody(body);
    return connection.answer();
}

QByteArray getHead(const QByteArray &target, const QByteArray &host)
{
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
}

QByteArray postHead(const ReferenceSite &site, const QByteArray &target, const QByteArray &type, qint64 length)
{
    return "POST " + target + " HTTP/1.1\r\nHost: " + hostOf(site) + "\r\nContent-Type: " + type
        + "\r\nContent-Length: " + QByteArray::number(length) + "\r\nConnection: close\r\n\r\n";
}

// The site's peak resident memory so far, or with "VmRSS" what it holds now.
qint64 peakBytes(const ReferenceSite &site, const QByteArray &figure = "VmHWM")
{
    return processFigure(figure, site.processId());
}

// Where an upload of fileName made today is stored, below the upload folder.
QString uploadedPath(const QString &fileName)
{
    return QDate::currentDate().toString(u"yyyy/MM/"_s) + fileName;
}

}  // namespace

void TstSiteAttacks::initTestCase()
{
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
}

void TstSiteAttacks::floodedFormsAreRefusedCheaply_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("message board") << "/nds_wd-nds_wd.html"_ba;
    QTest::newRow("upload page") << "/wangyou/"_ba;
}

void TstSiteAttacks::floodedFormsAreRefusedCheaply()
{
    QFETCH(QByteArray, target);
    ReferenceSite site;
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    QCOMPARE(exchange(site, getHead("/zorvik/", hostOf(site))).status, 200);
    const qint64 before = peakBytes(site);
    QVERIFY(before > 0);

    const QByteArray flood = QByteArray("a&").repeated(5 * 1000 * 1000 / 2);
    const Answer answer = exchange(site, postHead(site, target, "application/x-www-form-urlencoded", flood.size()),
                                   flood);
    QCOMPARE(answer.status, 400);
    const qint64 growth = peakBytes(site) - before;
    QVERIFY2(growth < 8 * MiB, qPrintable(u"grew by %1 bytes"_s.arg(growth)));
}

void TstSiteAttacks::catalogueCacheStaysBounded()
{
    ReferenceSite site;
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    const QByteArray port = QByteArray::number(site.port());
    QCOMPARE(exchange(site, getHead("/zorvik/", hostOf(site))).status, 200);
    const qint64 before = peakBytes(site);

    // A long Host that no origin names: each page would carry it twenty times over.
    const QByteArray longHost = QByteArray(60000 - 6, 'h') + ':' + port;
    for (int i = 0; i < 1000; ++i) {
        const QByteArray target = "/guanfang/admin_upload.php?page=" + QByteArray::number(i);
        QCOMPARE(exchange(site, getHead(target, longHost)).status, 421);
    }

    // Long keywords under the site's own Host: every answer is kept, so only the bound in
    // bytes holds them, keys included, to what the cache may use.
    const QByteArray keyword = QByteArray(30000, 'k');
    for (int i = 0; i < 4000; ++i) {
        const QByteArray target = "/wangyou/users_upload.php?q=" + keyword + QByteArray::number(i);
        QCOMPARE(exchange(site, getHead(target, hostOf(site))).status, 200);
    }
    const qint64 growth = peakBytes(site) - before;
    QVERIFY2(growth < 64 * MiB + 8 * MiB, qPrintable(u"grew by %1 bytes"_s.arg(growth)));
}

// Behind a trusted proxy each forwarded client has its own share, an IPv6 client its /64's: of
// requests in progress, counted while they last, and of posts.
void TstSiteAttacks::forwardedClientsAreCountedAsThemselves()
{
    ReferenceSite site;
    site.setExtraArguments(
        {u"--trusted-proxy"_s, u"127.0.0.1"_s, u"--client-connections"_s, u"2"_s, u"--message-interval"_s, u"600"_s});
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    const auto forwarded = [&](const QByteArray &client, const QByteArray &rest) {
        return "POST /nds_wd-nds_wd.html HTTP/1.1\r\nHost: " + hostOf(site) + "\r\nX-Forwarded-For: " + client
            + "\r\nContent-Type: application/x-www-form-urlencoded\r\n" + rest;
    };
    // Two posts of one client wait to be told to send their bodies, and are in progress.
    std::vector<std::unique_ptr<RawHttpConnection>> waiting;
    for (const QByteArray client : {"2001:db8:5:6::1", "2001:db8:5:6::2"}) {
        waiting.push_back(std::make_unique<RawHttpConnection>(site.port()));
        waiting.back()->send(forwarded(client, "Content-Length: 100\r\nExpect: 100-continue\r\n\r\n"));
        QCOMPARE(waiting.back()->answer().status, 100);
    }
    const QByteArray message = "name=a&text=b";
    const auto post = [&](const QByteArray &client) {
        return exchange(site,
                        forwarded(client,
                                  "Content-Length: " + QByteArray::number(message.size())
                                      + "\r\nConnection: close\r\n\r\n" + message))
            .status;
    };
    QCOMPARE(post("2001:db8:5:6:ffff::1"), 503);
    QCOMPARE(post("2001:db8:1:2::1"), 303);
    QCOMPARE(post("2001:db8:1:2:ffff:ffff:ffff:ffff"), 429);
    QCOMPARE(post("2001:db8:1:3::1"), 303);
}

void TstSiteAttacks::trustedProxiesAreWrittenInFull_data()
{
    QTest::addColumn<QString>("proxy");
    QTest::addColumn<QString>("message");
    QTest::newRow("every address") << u"127.0.0.1/0"_s << u"a network of prefix 0 takes in every address"_s;
}

void TstSiteAttacks::trustedProxiesAreWrittenInFull()
{
    QFETCH(QString, proxy);
    QFETCH(QString, message);
    const ReferenceSite::CommandRun run = ReferenceSite::runProgram(
        {u"--port"_s, u"0"_s, u"--data"_s, m_site.dataPath(), u"--trusted-proxy"_s, proxy});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
}

void TstSiteAttacks::fieldsAreCleanedAtInput_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stored");  // as the operator's listing shows it

    QTest::newRow("terminal escapes") << u"\x1b]0;owned\x07\x1b[2J清屏"_s << 303 << u"]0;owned[2J清屏"_s;
    QTest::newRow("zero-width only") << u"\u200b\u200b"_s << 400 << QString();
}

void TstSiteAttacks::fieldsAreCleanedAtInput()
{
    QFETCH(QString, title);
    QFETCH(int, status);
    QFETCH(QString, stored);
    const QByteArray form = UploadForm::body(title, "clean.txt", "x");
    const Answer answer = exchange(m_site, postHead(m_site, "/wangyou/", UploadForm::contentType(), form.size()), form);
    QCOMPARE(answer.status, status);
    if (status != 303) {
        QVERIFY(answer.body.contains(u"请填写标题。"_s.toUtf8()));
        return;
    }
    const ReferenceSite::CommandRun listed = m_site.command({u"list"_s, u"resources"_s, u"--recent"_s, u"1"_s});
    QCOMPARE(listed.out.split(u'\t').value(3), stored);
}

void TstSiteAttacks::pagesPastTheEndAreNotKept()
{
    ReferenceSite site;
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    QCOMPARE(exchange(site, getHead("/zorvik/", hostOf(site))).status, 200);
    // What it keeps, not its peak: seeding the sample data may have reached higher.
    const qint64 before = peakBytes(site, "VmRSS");
    // Sent ahead in batches on one connection, as fast as the site answers.
    RawHttpConnection connection(site.port());
    constexpr int Batch = 200;
    for (int page = 2; page < 40'000; page += Batch) {
        QByteArray requests;
        for (int i = page; i < page + Batch; ++i)
            requests += "GET /wangyou/users_upload.php?page=" + QByteArray::number(i)
                + " HTTP/1.1\r\nHost: " + hostOf(site) + "\r\n\r\n";
        connection.send(requests);
        for (int i = 0; i < Batch; ++i)
            QCOMPARE(connection.answer().status, 200);
    }
    const qint64 growth = peakBytes(site, "VmRSS") - before;
    QVERIFY2(growth < 3 * MiB, qPrintable(u"grew by %1 bytes"_s.arg(growth)));
}

void TstSiteAttacks::uploadedPagesAreDownloads_data()
{
    QTest::addColumn<QByteArray>("fileName");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("html") << "evil.html"_ba
                          << "<script>fetch('/wangyou/',{method:'POST'})</script>"_ba;
    QTest::newRow("svg") << "evil.svg"_ba
                         << "<svg xmlns=\"http://www.w3.org/2000/svg\"><script>alert(1)</script></svg>"_ba;
}

void TstSiteAttacks::uploadedPagesAreDownloads()
{
    QFETCH(QByteArray, fileName);
    QFETCH(QByteArray, data);
    const QByteArray form = UploadForm::body(u"t"_s, fileName, data);
    QCOMPARE(exchange(m_site, postHead(m_site, "/wangyou/", UploadForm::contentType(), form.size()), form).status, 303);

    const Answer file = exchange(
        m_site, getHead("/wangyou/up/" + uploadedPath(QString::fromUtf8(fileName)).toUtf8(), hostOf(m_site)));
    QCOMPARE(file.status, 200);
    QCOMPARE(file.body, data);
    QCOMPARE(file.header("Content-Disposition"),
             "attachment; filename=\"" + fileName + "\"; filename*=UTF-8''" + fileName);
    QCOMPARE(file.header("X-Content-Type-Options"), "nosniff"_ba);
    QVERIFY2(file.header("Content-Security-Policy").contains("sandbox"),
             file.header("Content-Security-Policy").constData());
}

void TstSiteAttacks::unreadDownloadsStayBounded()
{
    ReferenceSite site;
    const QString folder = site.dataPath() + u"/wangyou/up"_s;
    QVERIFY(QDir().mkpath(folder));
    QFile big(folder + u"/big.bin"_s);
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(50 * 1000 * 1000));
    big.close();
    QVERIFY2(site.start(), qPrintable(site.errorString()));
    QCOMPARE(exchange(site, getHead("/zorvik/", hostOf(site))).status, 200);
    const qint64 before = peakBytes(site);

    std::vector<std::unique_ptr<RawHttpConnection>> readers;
    for (int i = 0; i < 64; ++i) {
        readers.push_back(std::make_unique<RawHttpConnection>(site.port()));
        // Qt stops taking bytes from the system once this much waits unread.
        readers.back()->socket().setReadBufferSize(16 * 1024);
        readers.back()->send("GET /wangyou/up/big.bin HTTP/1.1\r\nHost: " + hostOf(site) + "\r\n\r\n");
    }
    QVERIFY(QTest::qWaitFor(
        [&] {
            return std::all_of(readers.begin(), readers.end(),
                               [](const auto &reader) { return reader->socket().bytesAvailable() >= 16 * 1024; });
        },
        WaitMs));
    for (const auto &reader : readers)
        QVERIFY(reader->socket().peek(12) == "HTTP/1.1 200");
    // It holds whatever it is willing to hold once it has neither read nor written for a second.
    qint64 moved = -1;
    QElapsedTimer still;
    const auto settled = [&] {
        const qint64 now = processFigure("rchar", site.processId()) + processFigure("wchar", site.processId());
        if (std::exchange(moved, now) != now)
            still.start();
        return now > 0 && still.elapsed() >= 1000;
    };
    QTRY_VERIFY_WITH_TIMEOUT(settled(), WaitMs);
    const qint64 growth = peakBytes(site) - before;
    QVERIFY2(growth < 16 * MiB, qPrintable(u"grew by %1 bytes"_s.arg(growth)));
}

void TstSiteAttacks::protocolRules_data()
{
    QTest::addColumn<QByteArray>("request");  // "<host>" stands for the site's own
    QTest::addColumn<int>("status");

    const QByteArray post = "POST /nds_wd-nds_wd.html HTTP/1.1\r\nHost: <host>\r\nConnection: close\r\n"
                            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: ";
    QTest::newRow("length with a sign") << post + "+3\r\n\r\na=b" << 400;
    QTest::newRow("negative length") << post + "-1\r\n\r\na=b" << 400;
    QTest::newRow("hexadecimal length") << post + "0x3\r\n\r\na=b" << 400;
    QTest::newRow("empty length") << post + "\r\n\r\na=b" << 400;
    QTest::newRow("HTTP/1.1 without Host") << "GET /zorvik/ HTTP/1.1\r\nConnection: close\r\n\r\n"_ba << 400;
    QTest::newRow("another Host") << "GET /zorvik/ HTTP/1.1\r\nHost: rebound.example:8642\r\n\r\n"_ba << 421;
    QTest::newRow("own Host, another port") << "GET /zorvik/ HTTP/1.1\r\nHost: 127.0.0.1:1\r\n\r\n"_ba << 421;
    QTest::newRow("own Host") << "GET /zorvik/ HTTP/1.1\r\nHost: <host>\r\nConnection: close\r\n\r\n"_ba << 200;
    QTest::newRow("localhost") << "GET /zorvik/ HTTP/1.1\r\nHost: LOCALHOST:<port>\r\nConnection: close\r\n\r\n"_ba
                               << 200;
    QTest::newRow("Host with spaces after it")
        << "GET /zorvik/ HTTP/1.1\r\nHost: <host> \t\r\nConnection: close\r\n\r\n"_ba << 200;
    QTest::newRow("absolute target") << "GET http://<host>/zorvik/ HTTP/1.1\r\nHost: <host>\r\nConnection: close\r\n\r\n"_ba
                                     << 200;
    QTest::newRow("absolute target over Host")
        << "GET http://rebound.example:<port>/zorvik/ HTTP/1.1\r\nHost: <host>\r\nConnection: close\r\n\r\n"_ba << 421;
    QTest::newRow("length beside chunked")
        << post + "5\r\nTransfer-Encoding: chunked\r\n\r\nd\r\nname=a&text=b\r\n0\r\n\r\n"
        << 400;
    QTest::newRow("coding other than chunked last")
        << "GET /zorvik/ HTTP/1.1\r\nHost: <host>\r\nTransfer-Encoding: gzip\r\n\r\nGET /healthz HTTP/1.1\r\n\r\n"_ba
        << 400;
    QTest::newRow("coding before chunked")
        << QByteArray(post).replace("Content-Length: ", "Transfer-Encoding: ") + "gzip, chunked\r\n\r\n0\r\n\r\n"
        << 501;
}

void TstSiteAttacks::protocolRules()
{
    QFETCH(QByteArray, request);
    request.replace("<host>", hostOf(m_site)).replace("<port>", QByteArray::number(m_site.port()));
    const Answer answer = exchange(m_site, request);
    QTEST(answer.status, "status");
    const QByteArray date = answer.header("Date");
    QVERIFY2(QLocale::c().toDateTime(QString::fromLatin1(date), u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s).isValid(),
             date.constData());
}

void TstSiteAttacks::continueIsAnswered()
{
    const QByteArray body = "name=a&text=b";
    RawHttpConnection connection(m_site.port());
    connection.send("POST /nds_wd-nds_wd.html HTTP/1.1\r\nHost: " + hostOf(m_site)
                    + "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                    + QByteArray::number(body.size()) + "\r\nExpect: 100-continue\r\nConnection: close\r\n\r\n");
    QCOMPARE(connection.answer(5000).status, 100);
    connection.send(body);
    QCOMPARE(connection.answer().status, 303);
}

void TstSiteAttacks::killedDuringUploadsLeavesAConsistentStore()
{
    QTemporaryDir data;
    QVERIFY(data.isValid());
    ReferenceSite site(data.path());
    QVERIFY2(site.start(), qPrintable(site.errorString()));

    const QByteArray form = UploadForm::body(u"t"_s, "cut.bin", QByteArray(20 * 1000 * 1000, 'c'));
    std::vector<std::unique_ptr<RawHttpConnection>> uploads;
    for (int i = 0; i < 10; ++i) {
        uploads.push_back(std::make_unique<RawHttpConnection>(site.port()));
        uploads.back()->send(postHead(site, "/wangyou/", UploadForm::contentType(), form.size())
                             + form.first(1000 * 1000));
    }
    QVERIFY(QTest::qWaitFor(
        [&] {
            return std::all_of(uploads.begin(), uploads.end(),
                               [](const auto &upload) { return upload->socket().bytesToWrite() == 0; });
        },
        WaitMs));
    QCOMPARE(::kill(pid_t(site.processId()), SIGKILL), 0);
    QVERIFY(QTest::qWaitFor(
        [&] { return std::all_of(uploads.begin(), uploads.end(), [](const auto &upload) { return !upload->isOpen(); }); },
        WaitMs));
    QVERIFY2(site.start(), qPrintable(site.errorString()));

    const QStringList files = filesBelow(data.path() + u"/wangyou/up"_s);
    const QString database = data.path() + u"/site.sqlite"_s;
    QCOMPARE(queryDatabase(database, u"PRAGMA integrity_check"_s), QStringList(u"ok"_s));
    QStringList rows = queryDatabase(database, u"SELECT file_path FROM resources WHERE catalogue = 'user'"_s);
    QVERIFY(!rows.isEmpty());
    rows.sort();
    QCOMPARE(files, rows);  // every row has its file, and no other file is left
}

QTEST_GUILESS_MAIN(TstSiteAttacks)
#include "tst_siteattacks.moc"
