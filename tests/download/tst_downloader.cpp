#include "download/Downloader.h"

#include "support/DownloadEventLog.h"
#include "support/FakeAsyncReadFacility.h"
#include "support/RecordingMessageBox.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TstDownloader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void beginDownloadStartsAStagedReadAndRecordsIt();
    void refusedReadShowsOneBoxAndRecordsNothing();
    void progressNeedsAKnownTotal_data();
    void progressNeedsAKnownTotal();
    void completedDownloadIsPutInPlaceBeforeItIsReported();
    void batchEndsOnlyWhenEveryDownloadHasEnded();
    void otherCompletionCodesLeaveTheDownloadUnfinished();
    void sameSaveFileTwiceKeepsTheBatchOpen();
    void completionForAnUnrecordedPath();
    void bodyThatCannotBePutInPlaceIsAFailure();
    void destructionCancelsRunningReads();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
    FakeAsyncReadFacility *m_facility = nullptr;
    RecordingMessageBox m_messageBox;
    std::unique_ptr<Downloader> m_downloader;
    std::unique_ptr<DownloadEventLog> m_log;
};

void TstDownloader::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_messageBox.boxes.clear();
    auto facility = std::make_unique<FakeAsyncReadFacility>();
    m_facility = facility.get();
    m_downloader = std::make_unique<Downloader>(std::move(facility), m_messageBox);
    m_log = std::make_unique<DownloadEventLog>(*m_downloader);
}

void TstDownloader::cleanup()
{
    m_log.reset();
    m_downloader.reset();
}

void TstDownloader::beginDownloadStartsAStagedReadAndRecordsIt()
{
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_downloader->BeginDownload(u"http://h/up/b.rar"_s, path(u"b.rar"_s), 0);

    QCOMPARE(m_facility->reads.size(), 2);
    QCOMPARE(m_facility->reads[0].target, u"http://h/up/a.rar"_s);
    QCOMPARE(m_facility->reads[0].readType, AsyncReadType::StagedFile);
    QCOMPARE(m_facility->reads[0].propertyName, path(u"a.rar"_s));
    QCOMPARE(m_facility->reads[0].options, 16);
    QCOMPARE(m_facility->reads[1].options, 0);
    QCOMPARE(m_downloader->DownloadFiles(), QStringList({QString(), path(u"a.rar"_s), path(u"b.rar"_s)}));
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 255, 255}));
    QVERIFY(m_log->events.isEmpty());
}

void TstDownloader::refusedReadShowsOneBoxAndRecordsNothing()
{
    m_facility->refusal = AsyncReadError{5, u"不支持的地址"_s};
    m_downloader->BeginDownload(u"gopher://h/x"_s, path(u"x"_s));

    QCOMPARE(m_messageBox.boxes.size(), 1);
    QCOMPARE(m_messageBox.boxes[0].icon, MessageBox::Icon::Critical);
    QCOMPARE(m_messageBox.boxes[0].title, u"错误"_s);
    QCOMPARE(m_messageBox.boxes[0].text, u"5:错误在调用 BeginDownload().\r\n\r\n错误描述: 不支持的地址"_s);
    QCOMPARE(m_downloader->DownloadFiles(), QStringList{QString()});
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>{0});
    QVERIFY(m_log->events.isEmpty());
}

void TstDownloader::progressNeedsAKnownTotal_data()
{
    QTest::addColumn<qint64>("bytesRead");
    QTest::addColumn<qint64>("bytesMax");
    QTest::addColumn<qint32>("status");
    QTest::addColumn<QStringList>("progress");
    QTest::addColumn<bool>("cancelled");

    QTest::newRow("known total") << qint64(400) << qint64(1000) << qint32(AsyncProperty::DownloadingData)
                                 << QStringList{u"400/1000 a.rar"_s} << false;
    QTest::newRow("total not announced") << qint64(400) << qint64(0) << qint32(AsyncProperty::DownloadingData)
                                         << QStringList() << false;
    QTest::newRow("beyond 4 GiB") << qint64(5000000000) << qint64(6442450944) << qint32(AsyncProperty::DownloadingData)
                                  << QStringList{u"5000000000/6442450944 a.rar"_s} << false;
    QTest::newRow("error status is reported, then cancelled")
        << qint64(10) << qint64(1000) << qint32(AsyncProperty::Error)
        << QStringList{u"10/1000 a.rar"_s} << true;
}

void TstDownloader::progressNeedsAKnownTotal()
{
    QFETCH(qint64, bytesRead);
    QFETCH(qint64, bytesMax);
    QFETCH(qint32, status);
    QFETCH(QStringList, progress);
    QFETCH(bool, cancelled);

    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_facility->progress(path(u"a.rar"_s), bytesRead, bytesMax, status);

    QCOMPARE(m_log->progress, progress);
    QVERIFY(m_log->events.isEmpty());
    QCOMPARE(*m_facility->cancelled, cancelled ? QStringList{path(u"a.rar"_s)} : QStringList());
    // Progress never ends a download, whatever its status.
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 255}));
}

void TstDownloader::completedDownloadIsPutInPlaceBeforeItIsReported()
{
    const QString file = path(u"a.rar"_s);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    QList<quint8> statesSeenByTheHost;
    QByteArray fileSeenByTheHost;
    connect(m_downloader.get(), &Downloader::DownloadComplete, this, [&] {
        statesSeenByTheHost = m_downloader->DownloadStates();
        fileSeenByTheHost = readFile(file);
    });

    m_facility->complete(file, AsyncProperty::EndDownloadData, FakeAsyncReadFacility::stage(file, "body"));

    QCOMPARE(m_log->events, QStringList({u"complete 4 a.rar"_s, u"all []"_s}));
    QCOMPARE(fileSeenByTheHost, QByteArray("body"));
    QCOMPARE(statesSeenByTheHost, QList<quint8>({0, 255}));
    QCOMPARE(m_downloader->DownloadFiles(), QStringList{QString()});
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>{0});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"a.rar"_s});
}

void TstDownloader::batchEndsOnlyWhenEveryDownloadHasEnded()
{
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_downloader->BeginDownload(u"http://h/up/b.rar"_s, path(u"b.rar"_s));
    m_downloader->BeginDownload(u"http://h/up/c.rar"_s, path(u"c.rar"_s));

    m_facility->complete(path(u"b.rar"_s), AsyncProperty::Error);
    QCOMPARE(m_log->events, QStringList{u"error b.rar"_s});
    QCOMPARE(*m_facility->cancelled, QStringList{path(u"b.rar"_s)});
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 255, 0, 255}));

    m_facility->complete(path(u"c.rar"_s), AsyncProperty::EndDownloadData,
                         FakeAsyncReadFacility::stage(path(u"c.rar"_s), "cc"));
    m_facility->complete(path(u"a.rar"_s), AsyncProperty::Error);

    QCOMPARE(m_log->events, QStringList({u"error b.rar"_s, u"complete 2 c.rar"_s, u"error a.rar"_s,
                                    u"all [,a.rar,b.rar]"_s}));
    QCOMPARE(m_downloader->DownloadFiles(), QStringList{QString()});
}

void TstDownloader::otherCompletionCodesLeaveTheDownloadUnfinished()
{
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_facility->complete(path(u"a.rar"_s), AsyncProperty::DownloadingData);
    m_facility->complete(path(u"a.rar"_s), 300);

    QVERIFY(m_log->events.isEmpty());
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, AsyncProperty::DownloadingData}));
}

void TstDownloader::sameSaveFileTwiceKeepsTheBatchOpen()
{
    const QString file = path(u"a.rar"_s);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);

    m_facility->complete(file, AsyncProperty::EndDownloadData, FakeAsyncReadFacility::stage(file, "1"));
    m_facility->complete(file, AsyncProperty::EndDownloadData, FakeAsyncReadFacility::stage(file, "22"));
    QCOMPARE(m_log->events, QStringList({u"complete 1 a.rar"_s, u"complete 2 a.rar"_s}));
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 6, 255}));

    QVERIFY(m_downloader->CancelAllDownload());
    QCOMPARE(*m_facility->cancelled, QStringList({file, file}));
    QCOMPARE(m_downloader->DownloadFiles(), QStringList{QString()});
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>{0});
    QVERIFY(m_downloader->CancelAllDownload());
    QCOMPARE(m_facility->cancelled->size(), 2);
}

void TstDownloader::completionForAnUnrecordedPath()
{
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_facility->complete(path(u"A.RAR"_s), AsyncProperty::Error);
    QCOMPARE(m_log->events, QStringList{u"error A.RAR"_s});
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 255}));

    m_downloader->CancelAllDownload();
    m_facility->complete(path(u"a.rar"_s), AsyncProperty::EndDownloadData,
                         FakeAsyncReadFacility::stage(path(u"a.rar"_s), "late"));
    QCOMPARE(m_log->events, QStringList({u"error A.RAR"_s, u"complete 4 a.rar"_s, u"all []"_s}));
}

void TstDownloader::bodyThatCannotBePutInPlaceIsAFailure()
{
    const QString file = path(u"a.rar"_s);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    std::shared_ptr<QSaveFile> body = FakeAsyncReadFacility::stage(file, "body");
    // Something else took the name while the body was arriving.
    QVERIFY(QDir().mkpath(file + u"/kept"_s));

    m_facility->complete(file, AsyncProperty::EndDownloadData, std::move(body));

    QCOMPARE(m_log->events, QStringList({u"error a.rar"_s, u"all [,a.rar]"_s}));
    QVERIFY(QFileInfo(file + u"/kept"_s).isDir());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TstDownloader::destructionCancelsRunningReads()
{
    const std::shared_ptr<QStringList> cancelled = m_facility->cancelled;
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_downloader->BeginDownload(u"http://h/up/b.rar"_s, path(u"b.rar"_s));

    m_downloader.reset();

    QCOMPARE(*cancelled, QStringList({path(u"a.rar"_s), path(u"b.rar"_s)}));
    QVERIFY(m_log->events.isEmpty());
}

QTEST_GUILESS_MAIN(TstDownloader)
#include "tst_downloader.moc"
