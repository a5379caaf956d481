#include "support/HttpClient.h"
#include "support/RawHttpConnection.h"
#include "support/ReferenceSite.h"
#include "support/UploadForm.h"

#include <QDate>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

constexpr int TimeoutMs = 30000;
const QString Board = u"nds_wd-nds_wd.html"_s;
const QString UserCatalogue = u"wangyou/users_upload.php?page=1"_s;
const QByteArray FormType = "application/x-www-form-urlencoded";
// Another machine, as the site sees it: a second loopback address.
const QHostAddress Spammer(u"127.0.0.2"_s);

QByteArray messageForm(const QString &name, const QString &text)
{
    return "name=" + QUrl::toPercentEncoding(name) + "&text=" + QUrl::toPercentEncoding(text);
}

// One request sent from a chosen local address, answered before the connection closes.
RawHttpConnection::Answer requestFrom(const QHostAddress &from, quint16 port, const QByteArray &path,
                                      const QByteArray &contentType = {}, const QByteArray &body = {})
{
    RawHttpConnection connection(port, from);
    QByteArray request = (body.isNull() ? "GET " : "POST ") + path + " HTTP/1.1\r\nHost: " + connection.host()
        + "\r\nConnection: close\r\n";
    if (!body.isNull())
        request += "Content-Type: " + contentType + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    connection.send(request + "\r\n" + body);
    return connection.answer();
}

}  // namespace

// The operator's side against the real site program: a spam run taken down with the site's
// own commands, and a backup taken while visitors upload.
class TstSiteModeration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void spamRunIsTakenDown();
    void hiddenOfficialResourcesTakeTheirFiles();
    void backupWhileUploadsArriveRestoresWhole();
    void stoppedSiteKeepsItsLastLines();

private:
    QByteArray catalogue() { return m_http.get(m_site.root() + UserCatalogue).body; }
    ReferenceSite::CommandRun command(const QStringList &arguments) { return m_site.command(arguments); }

    ReferenceSite m_site;
    HttpClient m_http;
};

void TstSiteModeration::initTestCase()
{
    m_site.setAccessLog(true);
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
}

void TstSiteModeration::cleanupTestCase()
{
    m_site.stop();
}

void TstSiteModeration::spamRunIsTakenDown()
{
    const QString root = m_site.root();
    const QByteArray boardPath = '/' + Board.toUtf8();
    QCOMPARE(requestFrom(Spammer, m_site.port(), boardPath, FormType, messageForm(u"推销员"_s, u"廉价广告一"_s)).status,
             303);
    QCOMPARE(requestFrom(Spammer, m_site.port(), boardPath, FormType, messageForm(u"推销员"_s, u"廉价广告二"_s)).status,
             303);
    const RawHttpConnection::Answer uploaded = requestFrom(Spammer, m_site.port(), "/wangyou/", UploadForm::contentType(),
                                                           UploadForm::body(u"破解软件大全"_s, "crack.zip", "PK spam"));
    QCOMPARE(uploaded.status, 303);
    QCOMPARE(m_http.post(root + Board, FormType, messageForm(u"老王"_s, u"正常的留言"_s)).status, 303);
    QVERIFY(catalogue().contains(u"破解软件大全"_s.toUtf8()));  // now in the site's cache

    // The operator finds the run by its address, and only it.
    const ReferenceSite::CommandRun messages = command({u"list"_s, u"messages"_s, u"--address"_s, Spammer.toString()});
    QCOMPARE(messages.exitCode, 0);
    const QList<QStringList> messageRows = messages.rows();
    QCOMPARE(messageRows.size(), 2);
    for (const QStringList &row : messageRows)
        QCOMPARE(row.value(2), Spammer.toString());
    const ReferenceSite::CommandRun resources = command({u"list"_s, u"resources"_s, u"--address"_s, u"127.0.0.0/30"_s});
    QCOMPARE(resources.exitCode, 0);
    const QList<QStringList> resourceRows = resources.rows();
    QCOMPARE(resourceRows.size(), 1);
    QCOMPARE(resourceRows.first().value(3), u"破解软件大全"_s);
    QCOMPARE(resourceRows.first().value(4), u"7"_s);
    const QString uploadId = resourceRows.first().value(0);
    QVERIFY(uploaded.header("Location").endsWith("?done=" + uploadId.toLatin1()));
    const QRegularExpression filePath(u"wangyou/up/[0-9/]+crack\\.zip"_s);
    const QString fileUrl = root + filePath.match(m_http.get(root + u"wangyou/?done="_s + uploadId).text()).captured();
    QCOMPARE(m_http.get(fileUrl).body, "PK spam"_ba);

    // Newest first: the second message is the first row.
    QCOMPARE(command({u"hide"_s, u"message"_s, messageRows.last().value(0)}).exitCode, 0);
    const QString board = m_http.get(root + Board).text();
    QVERIFY(!board.contains(u"廉价广告一"_s));
    QVERIFY(board.contains(u"廉价广告二"_s));
    QVERIFY(board.contains(u"正常的留言"_s));

    QCOMPARE(command({u"remove"_s, u"resource"_s, uploadId, u"--yes"_s}).exitCode, 0);
    QVERIFY(!catalogue().contains(u"破解软件大全"_s.toUtf8()));
    QCOMPARE(m_http.get(fileUrl).status, 410);

    QCOMPARE(command({u"block"_s, Spammer.toString(), u"--for"_s, u"7d"_s}).exitCode, 0);
    const RawHttpConnection::Answer refused = requestFrom(Spammer, m_site.port(), boardPath, FormType,
                                                          messageForm(u"推销员"_s, u"换个说法的广告"_s));
    QCOMPARE(refused.status, 403);
    QVERIFY(refused.text().contains(u"您已被禁止发言。"_s));
    QVERIFY(refused.text().contains(u"换个说法的广告"_s));  // what was typed stays in the form
    const RawHttpConnection::Answer refusedUpload = requestFrom(Spammer, m_site.port(), "/wangyou/",
                                                                UploadForm::contentType(),
                                                                UploadForm::body(u"再来一次"_s, "again.zip", "PK"));
    QCOMPARE(refusedUpload.status, 403);
    QVERIFY(refusedUpload.text().contains(u"您已被禁止发言。"_s));
    QCOMPARE(m_http.post(root + Board, FormType, messageForm(u"老王"_s, u"还能说话"_s)).status, 303);
    QVERIFY(!m_http.get(root + Board).text().contains(u"换个说法的广告"_s));

    const ReferenceSite::CommandRun log = command({u"log"_s});
    QCOMPARE(log.exitCode, 0);
    const QList<QStringList> logRows = log.rows();
    QCOMPARE(logRows.size(), 3);
    QCOMPARE(logRows.at(0).value(2), u"hide message "_s + messageRows.last().value(0));
    QCOMPARE(logRows.at(1).value(2), u"remove resource "_s + uploadId);
    QVERIFY(logRows.at(2).value(2).startsWith(u"block 127.0.0.2 until "_s));
    QVERIFY(!logRows.at(0).value(1).isEmpty());

    // Each request has its line, but the health checks.
    const HttpClient::Reply health = m_http.get(root + u"healthz"_s);
    QCOMPARE(health.status, 200);
    QCOMPARE(health.body, "ok\n"_ba);
    QByteArray accessLog;
    QVERIFY(QTest::qWaitFor(
        [&] {
            accessLog += m_site.readOutput();
            return accessLog.contains("\"POST /wangyou/ HTTP/1.1\" 403 ");
        },
        TimeoutMs));
    QVERIFY(accessLog.contains("127.0.0.2 - - ["));
    QVERIFY(!accessLog.contains("/healthz"));
}

// An official file is served while a resource the public sees links it, and only then.
void TstSiteModeration::hiddenOfficialResourcesTakeTheirFiles()
{
    const QString file = m_site.root() + u"guanfang/files/xiyouji.txt"_s;
    const QList<QStringList> found = command({u"list"_s, u"resources"_s, u"--search"_s, u"西游记"_s}).rows();
    QCOMPARE(found.size(), 1);
    const QString id = found.first().value(0);
    QCOMPARE(m_http.get(file).status, 200);
    QCOMPARE(command({u"hide"_s, u"resource"_s, id}).exitCode, 0);
    QCOMPARE(m_http.get(file).status, 404);
    QCOMPARE(command({u"unhide"_s, u"resource"_s, id}).exitCode, 0);
    QCOMPARE(m_http.get(file).status, 200);
    QCOMPARE(command({u"remove"_s, u"resource"_s, id, u"--yes"_s}).exitCode, 0);
    QCOMPARE(m_http.get(file).status, 404);
}

void TstSiteModeration::backupWhileUploadsArriveRestoresWhole()
{
    QTemporaryDir scratch;
    const QString backupFolder = scratch.filePath(u"backup"_s);
    const QString month = QDate::currentDate().toString(u"yyyy/MM"_s);

    // The catalogue after each upload: the backup must hold one of these states, whole.
    QList<QByteArray> states = {catalogue()};
    QProcess backup;
    backup.start(QStringLiteral(QUILLMERE_SITE_EXECUTABLE), {u"backup"_s, backupFolder, u"--data"_s, m_site.dataPath()});
    QVERIFY(backup.waitForStarted(TimeoutMs));
    for (int n = 1; n <= 100 && (n <= 3 || backup.state() != QProcess::NotRunning); ++n) {
        const QByteArray file = "payload " + QByteArray::number(n);
        QCOMPARE(m_http
                     .post(m_site.root() + u"wangyou/"_s, UploadForm::contentType(),
                           UploadForm::body(u"备份中上传%1号"_s.arg(n), "during-" + QByteArray::number(n) + ".bin", file))
                     .status,
                 303);
        states.append(catalogue());
    }
    QVERIFY(backup.state() == QProcess::NotRunning || backup.waitForFinished(TimeoutMs));
    QVERIFY2(backup.exitCode() == 0, backup.readAllStandardError().constData());

    QTemporaryDir restoredData;
    const ReferenceSite::CommandRun restore = ReferenceSite::runProgram(
        {u"restore"_s, backupFolder, u"--data"_s, restoredData.filePath(u"site"_s)});
    QVERIFY2(restore.exitCode == 0, qPrintable(restore.err));
    ReferenceSite restored(restoredData.filePath(u"site"_s));
    QVERIFY2(restored.start(), qPrintable(restored.errorString()));
    const QByteArray restoredCatalogue = HttpClient().get(restored.root() + UserCatalogue).body;
    const qsizetype state = states.indexOf(restoredCatalogue);
    QVERIFY2(state >= 0, restoredCatalogue.constData());
    // Every upload the copy lists comes with its file.
    for (int n = 1; n <= state; ++n) {
        const QString url = restored.root() + u"wangyou/up/%1/during-%2.bin"_s.arg(month).arg(n);
        QCOMPARE(HttpClient().get(url).body, "payload " + QByteArray::number(n));
    }
    QVERIFY(restored.command({u"log"_s}).rows().last().value(2).startsWith(u"restore from "_s));
}

// Lines go out in batches; SIGTERM, as systemd stops the service, must not lose the last one.
void TstSiteModeration::stoppedSiteKeepsItsLastLines()
{
    QCOMPARE(m_http.get(m_site.root() + u"zorvik/?last"_s).status, 200);
    QVERIFY(m_site.stop());
    QVERIFY(m_site.readOutput().contains("\"GET /zorvik/?last HTTP/1.1\" 200 "));
}

QTEST_GUILESS_MAIN(TstSiteModeration)
#include "tst_sitemoderation.moc"
