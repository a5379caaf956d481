#include "download/Downloader.h"
#include "platform/AsyncReader.h"

#include "support/DownloadEventLog.h"
#include "support/ImmediateRetries.h"
#include "support/RecordingMessageBox.h"
#include "support/ReferenceSite.h"
#include "support/ScriptedHttpServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

// Real downloads through AsyncReader and the Downloader: user files of the reference site,
// and a scripted server for answers the site never gives.
class TstDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void downloadsUserFiles_data();
    void downloadsUserFiles();
    void failedDownloadLeavesTheFolderAsItWas_data();
    void failedDownloadLeavesTheFolderAsItWas();

private:
    QString userFile(const QString &address) const { return m_site.root() + u"wangyou/up/"_s + address; }
    // Every file below the download folder with its content, to see what a download changed.
    QMap<QString, QByteArray> folderContents() const;

    ReferenceSite m_site;
    std::unique_ptr<QTemporaryDir> m_folder;
    RecordingMessageBox m_messageBox;
};

void TstDownload::initTestCase()
{
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
}

void TstDownload::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_messageBox.boxes.clear();
}

QMap<QString, QByteArray> TstDownload::folderContents() const
{
    QMap<QString, QByteArray> contents;
    for (const QString &file : filesBelow(m_folder->path()))
        contents.insert(file, readFile(m_folder->filePath(file)));
    return contents;
}

void TstDownload::downloadsUserFiles_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("title");

    QTest::newRow("an 8 MiB video, replacing an older copy") << u"2024/06/hometown-aerial.mp4"_s << u"家乡 航拍 小片"_s;
    QTest::newRow("a Chinese file name") << u"2024/05/年终总结模板.txt"_s << u"年终总结 模板"_s;
    QTest::newRow("a file at the top of the folder") << u"readme-first.txt"_s << u"先看我 新人 必读"_s;
}

void TstDownload::downloadsUserFiles()
{
    QFETCH(QString, address);
    QFETCH(QString, title);
    const QByteArray expected = readFile(QDir(m_site.dataPath()).filePath(u"wangyou/up/"_s + address));
    QVERIFY(!expected.isEmpty());
    const QString target = m_folder->filePath(title + u'/' + address);
    QVERIFY(writeFile(target, "an older copy"));

    Downloader downloader(std::make_unique<AsyncReader>(), m_messageBox);
    DownloadEventLog log(downloader);
    downloader.BeginDownload(userFile(address), target);
    QTRY_VERIFY_WITH_TIMEOUT(log.batchEnded(), 30000);

    const QString name = QFileInfo(target).fileName();
    // The site names each file's digest, so each is checked.
    QCOMPARE(log.events,
             QStringList({u"verified "_s + name, u"complete %1 %2"_s.arg(expected.size()).arg(name), u"all []"_s}));
    QVERIFY(!log.progress.isEmpty());
    QCOMPARE(log.progress.last(), u"%1/%1 %2"_s.arg(expected.size()).arg(name));
    QCOMPARE(folderContents(), (QMap<QString, QByteArray>{{title + u'/' + address, expected}}));
    QVERIFY(m_messageBox.boxes.isEmpty());
}

void TstDownload::failedDownloadLeavesTheFolderAsItWas_data()
{
    QTest::addColumn<QString>("siteAddress");  // empty: the scripted answer
    QTest::addColumn<ScriptedHttpServer::Answer>("answer");
    QTest::addColumn<QString>("saveFile");

    QTest::newRow("not on the site") << u"2024/01/no-such-file.zip"_s << ScriptedHttpServer::Answer() << u"t/a.zip"_s;
    QTest::newRow("target under a file, not a folder")
        << u"readme-first.txt"_s << ScriptedHttpServer::Answer() << u"t/a.zip/readme-first.txt"_s;
    QTest::newRow("connection cut mid-body")
        << QString()
        << ScriptedHttpServer::Answer{"HTTP/1.1 200 OK\r\nContent-Length: 400000\r\n\r\n" + QByteArray(100000, 'x'), true}
        << u"t/a.zip"_s;
    QTest::newRow("server error") << QString() << ScriptedHttpServer::reply(500, "broken") << u"t/a.zip"_s;
}

void TstDownload::failedDownloadLeavesTheFolderAsItWas()
{
    QFETCH(QString, siteAddress);
    QFETCH(ScriptedHttpServer::Answer, answer);
    QFETCH(QString, saveFile);
    ScriptedHttpServer server;
    server.setAnswer(u"/up/a.zip"_s, answer);
    const QString url = siteAddress.isEmpty() ? server.root() + u"up/a.zip"_s : userFile(siteAddress);
    QVERIFY(writeFile(m_folder->filePath(u"t/a.zip"_s), "the previous download"));
    const QMap<QString, QByteArray> before = folderContents();

    Downloader downloader(std::make_unique<AsyncReader>(), m_messageBox);
    retryAtOnce(downloader);
    DownloadEventLog log(downloader);
    downloader.BeginDownload(url, m_folder->filePath(saveFile));
    QTRY_VERIFY_WITH_TIMEOUT(log.batchEnded(), 30000);

    const QString name = QFileInfo(saveFile).fileName();
    QCOMPARE(log.events, QStringList({u"error "_s + name, u"all [,"_s + name + u']'}));
    QCOMPARE(folderContents(), before);
    QVERIFY(m_messageBox.boxes.isEmpty());
}

QTEST_GUILESS_MAIN(TstDownload)
#include "tst_download.moc"
