#include "platform/AsyncReader.h"
#include "platform/ListView.h"
#include "platform/NetworkHttpFetcher.h"
#include "progressbar/ProgressBar.h"
#include "windows/Form_guanfang.h"
#include "windows/Form_wangyou.h"

#include "support/CatalogueText.h"
#include "support/FormControls.h"
#include "support/ImmediateRetries.h"
#include "support/ProcessFigures.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingShell.h"
#include "support/ScriptedHttpServer.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace Quillmere;

namespace {

using Answer = ScriptedHttpServer::Answer;

Answer page(const QByteArray &body)
{
    return ScriptedHttpServer::reply(200, body, "text/plain; charset=utf-8");
}

Answer cut(const QByteArray &headers, const QByteArray &body, bool reset = false)
{
    return {"HTTP/1.1 200 OK\r\n" + headers + "\r\n" + body, true, reset};
}

// The header field naming the SHA-256 of bytes.
QByteArray reprDigest(const QByteArray &bytes)
{
    return "Repr-Digest: sha-256=:" + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toBase64() + ":\r\n";
}

QByteArray withOneByteChanged(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes[at] ^ 0x20);
    return bytes;
}

bool resetPeakMemory()
{
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

}  // namespace

// The client against a server that misbehaves on purpose: nothing crashes, nothing is written
// outside the download folder, no file is damaged or left half done, and the user is told
// where the user must know.
class TstHostileServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void badCataloguePages_data();
    void badCataloguePages();
    void hugeCatalogueFailsWithBoundedMemory_data();
    void hugeCatalogueFailsWithBoundedMemory();
    void badDownloads_data();
    void badDownloads();
    void unsafeNamesWriteNothingOutsideTheDownloadFolder_data();
    void unsafeNamesWriteNothingOutsideTheDownloadFolder();
    void interruptedDownloads_data();
    void interruptedDownloads();
    void failuresSayWhy_data();
    void failuresSayWhy();

private:
    void openWangyou(const QByteArray &catalogue);
    void doubleClickFirstRow();

    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_programFolder;
    std::unique_ptr<NetworkHttpFetcher> m_fetcher;
    RecordingShell m_shell;
    RecordingMessageBox m_messageBox;
    std::unique_ptr<Form_wangyou> m_wangyou;
};

void TstHostileServer::init()
{
    m_server = std::make_unique<ScriptedHttpServer>();
    m_root = std::make_unique<QTemporaryDir>();
    m_programFolder = m_root->path() + u"/program"_s;
    QVERIFY(QDir().mkpath(m_programFolder));
    m_fetcher = std::make_unique<NetworkHttpFetcher>(1s);
    m_shell = RecordingShell();
    m_messageBox = RecordingMessageBox();
}

void TstHostileServer::cleanup()
{
    m_wangyou.reset();
}

void TstHostileServer::badCataloguePages_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("firstTitle");

    const QByteArray two = catalogueRecord({u"c"_s, u"新一"_s}) + catalogueRecord({u"c"_s, u"新二"_s});
    QTest::newRow("truncated body") << cut("Content-Length: 5000\r\n", two) << 2 << u"连接服务器失败"_s << u"旧一"_s;
    QTest::newRow("connection reset") << cut("Content-Length: 5000\r\n", two, true) << 2 << u"连接服务器失败"_s
                                      << u"旧一"_s;
    QTest::newRow("stalled") << Answer{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", false} << 2
                             << u"连接服务器失败"_s << u"旧一"_s;
    QTest::newRow("no trailer") << page(two + "<html>oops?</html>") << 2 << u"已分享 2 个资源"_s << u"新一"_s;
    QTest::newRow("garbage trailer") << page(two + "?TtbBa?<b>9</b>?x?") << 2 << u"已分享 <b>9</b> 个资源"_s << u"新一"_s;
    QTest::newRow("invalid UTF-8") << page("c\x02\xff\xfe\xe4\xb8\x01?TtbBa?1?1") << 1 << u"已分享 1 个资源"_s
                                   << u"\uFFFD\uFFFD\uFFFD\uFFFD"_s;
    QByteArray huge;
    for (int i = 0; i < 40000; ++i)
        huge += catalogueRecord({u"c"_s, u"t"_s + QString::number(i)});
    QTest::newRow("40 000 records") << page(huge + "?TtbBa?40000?1") << 32767 << u"已分享 40000 个资源"_s << u"t0"_s;
}

void TstHostileServer::badCataloguePages()
{
    QFETCH(Answer, answer);
    QFETCH(int, rows);
    QFETCH(QString, status);
    QFETCH(QString, firstTitle);

    const QString path = u"/guanfang/admin_upload.php"_s;
    m_server->setAnswer(
        path, page(catalogueRecord({u"c"_s, u"旧一"_s}) + catalogueRecord({u"c"_s, u"旧二"_s}) + "?TtbBa?2?1"));
    Form_guanfang form(m_server->root(), ProgramFolder(m_programFolder), *m_fetcher, m_shell);
    form.show();
    auto *list = control<ListView>(form, u"ListView"_s);
    QCOMPARE(list->itemCount(), 2);

    m_server->setAnswer(path, answer);
    QTest::mouseClick(control<QPushButton>(form, u"ShuaXin"_s), Qt::LeftButton);
    QCOMPARE(list->itemCount(), rows);
    QCOMPARE(list->cellText(0, ResourceRecord::Title), firstTitle);
    QCOMPARE(control<QLabel>(form, u"JiLu_Text"_s)->text(), status);
    QCOMPARE(control<QLabel>(form, u"JiLu_Text"_s)->textFormat(), Qt::PlainText);
    QTRY_COMPARE(list->model()->rowCount(), rows);
}

void TstHostileServer::hugeCatalogueFailsWithBoundedMemory_data()
{
    QTest::addColumn<Answer>("answer");

    // A gigabyte is endless to any catalogue; the server stops there so that a client without
    // a limit fails this test instead of the machine.
    constexpr qint64 Endless = qint64(1) << 30;
    QTest::newRow("endless body") << Answer{"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n", true, false, Endless};
    QTest::newRow("stated length above the limit")
        << Answer{"HTTP/1.1 200 OK\r\nContent-Length: 104857600\r\n\r\n", true, false, 100 << 20};
}

void TstHostileServer::hugeCatalogueFailsWithBoundedMemory()
{
    QFETCH(Answer, answer);
    const QString path = u"/guanfang/admin_upload.php"_s;
    m_server->setAnswer(path, page(catalogueRecord({u"c"_s, u"旧一"_s}) + "?TtbBa?1?1"));
    m_fetcher = std::make_unique<NetworkHttpFetcher>();
    Form_guanfang form(m_server->root(), ProgramFolder(m_programFolder), *m_fetcher, m_shell);
    form.show();
    auto *list = control<ListView>(form, u"ListView"_s);
    QCOMPARE(list->itemCount(), 1);

    m_server->setAnswer(path, answer);
    if (processFigure("VmHWM") < 0 || !resetPeakMemory())
        QSKIP("the process's peak memory cannot be read here");
    const qint64 start = processFigure("VmHWM");
    QTest::mouseClick(control<QPushButton>(form, u"ShuaXin"_s), Qt::LeftButton);
    const qint64 growth = processFigure("VmHWM") - start;

    QCOMPARE(control<QLabel>(form, u"JiLu_Text"_s)->text(), u"连接服务器失败"_s);
    QCOMPARE(list->cellText(0, ResourceRecord::Title), u"旧一"_s);
    // The client hung up as soon as the limit was passed, or at once for a stated length.
    QVERIFY(m_server->fillerSent < answer.filler);
    // The body grows by doubling and the allocator may copy it, so the old and the new block can
    // both be resident for a moment; a client without a limit would hold the whole gigabyte.
    QVERIFY2(growth < 3 * NetworkHttpFetcher::DefaultBodyLimit, qPrintable(u"grew by %1 MiB"_s.arg(growth >> 20)));
}

void TstHostileServer::openWangyou(const QByteArray &catalogue)
{
    m_server->setAnswer(u"/wangyou/users_upload.php"_s, page(catalogue));
    m_wangyou = std::make_unique<Form_wangyou>(m_server->root(), ProgramFolder(m_programFolder), *m_fetcher, m_shell,
                                               m_messageBox, [] { return std::make_unique<AsyncReader>(1s); });
    m_wangyou->show();
    retryAtOnce(*m_wangyou->window()->findChild<Downloader *>());
    auto *list = control<ListView>(*m_wangyou, u"ListView"_s);
    QTRY_COMPARE(list->model()->rowCount(), list->itemCount());
}

void TstHostileServer::doubleClickFirstRow()
{
    auto *list = control<ListView>(*m_wangyou, u"ListView"_s);
    const QPoint centre = list->visualRect(list->model()->index(0, 1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
}

void TstHostileServer::badDownloads_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QString>("reason");
    // How often the file is asked for; 0 where the retries of a transient failure decide it.
    QTest::addColumn<int>("requests");

    const QByteArray body(100000, 'x');
    QTest::newRow("connection reset mid-body")
        << cut("Content-Length: 400000\r\n", body, true) << QByteArray() << u"连接中断"_s << 0;
    QTest::newRow("Content-Length larger than the body")
        << cut("Content-Length: 400000\r\n", body) << QByteArray() << u"连接中断"_s << 0;
    QTest::newRow("HTTP 404") << ScriptedHttpServer::reply(404, "<html>not found</html>", "text/html") << QByteArray()
                              << u"服务器回答 404：文件不存在"_s << 1;
    QTest::newRow("HTTP 500") << ScriptedHttpServer::reply(500, body) << QByteArray()
                              << u"服务器回答 500：服务器内部错误"_s << 0;
    QTest::newRow("stalled transfer") << Answer{"HTTP/1.1 200 OK\r\nContent-Length: 400000\r\n\r\n" + body, false}
                                      << QByteArray() << u"连接超时"_s << 0;
    // The client can only take the server at its word: the announced bytes are the file.
    QTest::newRow("Content-Length smaller than the body")
        << cut("Content-Length: 10\r\n", "0123456789 and more the server did not announce") << QByteArray("0123456789")
        << QString() << 1;
    // Asked for once more from the start, damaged the same way again.
    QTest::newRow("one byte changed under a true digest")
        << cut("Content-Length: 100000\r\nETag: \"v1\"\r\n" + reprDigest(body), withOneByteChanged(body, 56789))
        << QByteArray() << u"文件校验失败"_s << 2;
}

void TstHostileServer::badDownloads()
{
    QFETCH(Answer, answer);
    QFETCH(QByteArray, saved);
    QFETCH(QString, reason);
    QFETCH(int, requests);

    const QString target = m_programFolder + u"/Xiazai/资源/file.bin"_s;
    QVERIFY(writeFile(target, "the copy already on disk"));
    m_server->setAnswer(u"/wangyou/up/file.bin"_s, answer);
    openWangyou(catalogueRecord({u"c"_s, u"资源"_s, {}, {}, u"file.bin"_s, u"1"_s}) + "?TtbBa?1?1");

    doubleClickFirstRow();
    auto *bar = control<ProgressBar>(*m_wangyou, u"ProgressBar1"_s);
    QVERIFY(!bar->isHidden());
    // A stalled transfer waits out its time-out on every attempt.
    QTRY_VERIFY_WITH_TIMEOUT(bar->isHidden(), 60000);

    QCOMPARE(filesBelow(m_root->path()), QStringList(u"program/Xiazai/资源/file.bin"_s));
    if (saved.isEmpty()) {
        QCOMPARE(readFile(target), QByteArray("the copy already on disk"));
        QCOMPARE(m_messageBox.boxes.size(), 1);
        QCOMPARE(m_messageBox.boxes[0].text, u"下载失败!\n"_s + reason);
        QVERIFY(m_shell.shownFiles.isEmpty());
    } else {
        QCOMPARE(readFile(target), saved);
        QVERIFY(m_messageBox.boxes.isEmpty());
        QCOMPARE(m_shell.shownFiles, QStringList(target));
    }
    if (requests != 0)
        QCOMPARE(m_server->requestedTargets.count(u"/wangyou/up/file.bin"_s), requests);
}

void TstHostileServer::unsafeNamesWriteNothingOutsideTheDownloadFolder_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("title climbing out") << u"../../../escaped"_s << u"file.bin"_s
                                        << QStringList(u"program/Xiazai/_.._.._escaped/file.bin"_s);
    QTest::newRow("backslash address") << u"t"_s << u"..\\..\\escaped.bin"_s << QStringList();
}

void TstHostileServer::unsafeNamesWriteNothingOutsideTheDownloadFolder()
{
    QFETCH(QString, title);
    QFETCH(QString, address);
    QFETCH(QStringList, files);

    m_server->setAnswer(u"/wangyou/up/file.bin"_s, ScriptedHttpServer::reply(200, "payload"));
    openWangyou(catalogueRecord({u"c"_s, title, {}, {}, address, u"1"_s}) + "?TtbBa?1?1");
    doubleClickFirstRow();
    auto *bar = control<ProgressBar>(*m_wangyou, u"ProgressBar1"_s);
    QTRY_VERIFY_WITH_TIMEOUT(bar->isHidden(), 20000);

    QCOMPARE(filesBelow(m_root->path()), files);
    if (files.isEmpty()) {
        QCOMPARE(m_messageBox.boxes.size(), 1);
        QCOMPARE(m_messageBox.boxes[0].text, u"下载地址无效!"_s);
    }
}

void TstHostileServer::interruptedDownloads_data()
{
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QByteArray>("secondRange");
    // The file was checked against the digest its server named.
    QTest::addColumn<bool>("checked");

    QByteArray file(400000, '\0');
    for (qsizetype i = 0; i < file.size(); ++i)
        file[i] = char(i * 13 % 251);
    const QByteArray half = file.first(file.size() / 2);
    const QByteArray length = "Content-Length: " + QByteArray::number(file.size()) + "\r\n";
    const Answer cutAtHalf = cut("ETag: \"v1\"\r\n" + length, half, true);
    const QByteArray newer(300000, 'n');
    const QByteArray rest = "HTTP/1.1 206 Partial Content\r\nETag: \"v1\"\r\nContent-Range: bytes 200000-399999/400000\r\n"
                            "Content-Length: 200000\r\n";
    const QByteArray digest = reprDigest(file);

    QTest::newRow("resumed where it was cut")
        << QList<Answer>{cutAtHalf, {rest + "\r\n" + file.sliced(half.size()), true}} << file
        << QByteArray("bytes=200000-") << false;
    QTest::newRow("changed on the server meanwhile")
        << QList<Answer>{cutAtHalf, cut("ETag: \"v2\"\r\nContent-Length: 300000\r\n", newer)} << newer
        << QByteArray("bytes=200000-") << false;
    QTest::newRow("server ignoring Range") << QList<Answer>{cutAtHalf, cut("ETag: \"v1\"\r\n" + length, file)} << file
                                           << QByteArray("bytes=200000-") << false;
    QTest::newRow("resumed, checked whole") << QList<Answer>{cut("ETag: \"v1\"\r\n" + length + digest, half, true),
                                                             {rest + digest + "\r\n" + file.sliced(half.size()), true}}
                                            << file << QByteArray("bytes=200000-") << true;
    // Only the whole's digest can tell that the bytes kept from before the cut were damaged.
    QTest::newRow("damaged before the cut, fetched whole again")
        << QList<Answer>{cut("ETag: \"v1\"\r\n" + length + digest, withOneByteChanged(half, 1234), true),
                         {rest + digest + "\r\n" + file.sliced(half.size()), true},
                         cut("ETag: \"v1\"\r\n" + length + digest, file)}
        << file << QByteArray("bytes=200000-") << true;
}

// A connection that breaks off is taken up again by itself, and what ends on disk is always one
// whole version of the file, never two spliced together.
void TstHostileServer::interruptedDownloads()
{
    QFETCH(QList<Answer>, answers);
    QFETCH(QByteArray, saved);
    QFETCH(QByteArray, secondRange);
    QFETCH(bool, checked);

    m_server->setAnswers(u"/wangyou/up/file.bin"_s, answers);
    openWangyou(catalogueRecord({u"c"_s, u"资源"_s, {}, {}, u"file.bin"_s, u"1"_s}) + "?TtbBa?1?1");
    doubleClickFirstRow();
    auto *bar = control<ProgressBar>(*m_wangyou, u"ProgressBar1"_s);
    QTRY_VERIFY_WITH_TIMEOUT(bar->isHidden(), 20000);

    const QString target = m_programFolder + u"/Xiazai/资源/file.bin"_s;
    QVERIFY(m_messageBox.boxes.isEmpty());
    QCOMPARE(readFile(target), saved);
    QCOMPARE(filesBelow(m_root->path()), QStringList(u"program/Xiazai/资源/file.bin"_s));
    const qsizetype first = m_server->requestedTargets.indexOf(u"/wangyou/up/file.bin"_s);
    QCOMPARE(m_server->requestHeaders.value(first + 1).value("range"), secondRange);
    QCOMPARE(m_server->requestHeaders.value(first + 1).value("if-range"), QByteArray("\"v1\""));
    auto *list = control<ListView>(*m_wangyou, u"ListView"_s);
    QCOMPARE(list->model()->index(0, 1).data(Qt::ToolTipRole).toString(), checked ? u"已校验"_s : QString());
}

void TstHostileServer::failuresSayWhy_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("reason");

    const auto redirect = [](const QByteArray &to) {
        return Answer{"HTTP/1.1 302 Found\r\nLocation: " + to + "\r\nContent-Length: 0\r\n\r\n", true};
    };
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    QTest::newRow("HTTP 404") << ScriptedHttpServer::reply(404, "not here") << u"服务器回答 404：文件不存在"_s;
    QTest::newRow("connection refused") << redirect("http://127.0.0.1:" + QByteArray::number(closedPort) + "/x")
                                        << u"连接被拒绝"_s;
    QTest::newRow("name that does not resolve")
        << redirect("http://no-such-host.invalid/x") << u"找不到服务器 no-such-host.invalid"_s;
}

// The message box and the status line tell one failure from another, in the same words.
void TstHostileServer::failuresSayWhy()
{
    QFETCH(Answer, answer);
    QFETCH(QString, reason);
    openWangyou(catalogueRecord({u"c"_s, u"资源"_s, {}, {}, u"file.bin"_s, u"1"_s}) + "?TtbBa?1?1");
    m_server->setAnswer(u"/wangyou/up/file.bin"_s, answer);
    m_server->setAnswer(u"/wangyou/users_upload.php"_s, answer);

    doubleClickFirstRow();
    QTRY_VERIFY_WITH_TIMEOUT(control<ProgressBar>(*m_wangyou, u"ProgressBar1"_s)->isHidden(), 60000);
    QCOMPARE(m_messageBox.boxes.size(), 1);
    QCOMPARE(m_messageBox.boxes[0].text, u"下载失败!\n"_s + reason);

    QTest::mouseClick(control<QPushButton>(*m_wangyou, u"shuaxin"_s), Qt::LeftButton);
    auto *status = control<QLabel>(*m_wangyou, u"JiLu_Text"_s);
    QCOMPARE(status->text(), u"连接服务器失败"_s);
    QCOMPARE(status->toolTip(), reason);
    QCOMPARE(status->accessibleDescription(), reason);
}

QTEST_MAIN(TstHostileServer)
#include "tst_hostile_server.moc"
