#include "download/Downloader.h"
#include "download/PartialFile.h"

#include "support/DownloadEventLog.h"
#include "support/FakeAsyncReadFacility.h"
#include "support/RecordingMessageBox.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstDownloader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void beginDownloadStartsAStreamedReadAndRecordsIt();
    void refusedReadShowsOneBoxAndRecordsNothing();
    void progressNeedsAKnownTotal_data();
    void progressNeedsAKnownTotal();
    void errorStatusInProgressCancelsTheRead();
    void completedDownloadIsPutInPlaceBeforeItIsReported();
    void batchEndsOnlyWhenEveryDownloadHasEnded();
    void otherCompletionCodesLeaveTheDownloadUnfinished();
    void sameSaveFileTwiceIsRefusedWhileItRuns();
    void completionForAnUnrecordedPath();
    void bodyThatCannotBePutInPlaceIsAFailure();
    void destructionCancelsRunningReads();
    void resumeAppendsOnlyTheRestOfTheSameVersion();
    void resumeMismatchStartsOver_data();
    void resumeMismatchStartsOver();
    void rangeNotSatisfiableFetchesTheWholeFile();
    void partialWithoutValidatorIsNotContinued();
    void transientFailuresAreRetriedUntilTheTimeIsSpent();
    void otherAnswersFailAtOnce_data();
    void otherAnswersFailAtOnce();
    void retryAfterIsHonouredUpToALimit_data();
    void retryAfterIsHonouredUpToALimit();
    void cancellingStopsTheRetries();
    void noRoomWritesNothing();
    void diskFillingUpKeepsThePartial();
    void fileIsCheckedAgainstItsDigest_data();
    void fileIsCheckedAgainstItsDigest();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList filesInDir() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }
    // Leaves a.rar.part holding head, recorded as the start of a file of total bytes.
    void keepPartial(const QByteArray &head, qint64 total);
    struct Wait
    {
        std::chrono::milliseconds delay;
        std::function<void()> retry;
    };
    QList<Wait> m_waits;
    std::optional<qint64> m_freeSpace;
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
    m_waits.clear();
    m_freeSpace.reset();
    m_downloader->setEnvironment({[this](const QString &) { return m_freeSpace; },
                                  [this](std::chrono::milliseconds delay, std::function<void()> retry) {
                                      m_waits.append({delay, std::move(retry)});
                                  }});
    m_log = std::make_unique<DownloadEventLog>(*m_downloader);
}

void TstDownloader::cleanup()
{
    m_log.reset();
    m_downloader.reset();
}

void TstDownloader::keepPartial(const QByteArray &head, qint64 total)
{
    PartialFile partial(path(u"a.rar"_s));
    QVERIFY(partial.lock());
    QVERIFY(partial.startOver({u"http://h/up/a.rar"_s, "\"v1\"", total}));
    QVERIFY(partial.write(head));
}

void TstDownloader::beginDownloadStartsAStreamedReadAndRecordsIt()
{
    QCOMPARE(m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s)), Downloader::Start::Started);
    m_downloader->BeginDownload(u"http://h/up/b.rar"_s, path(u"b.rar"_s), 0);

    QCOMPARE(m_facility->reads.size(), 2);
    QCOMPARE(m_facility->reads[0].target, u"http://h/up/a.rar"_s);
    QCOMPARE(m_facility->reads[0].readType, AsyncReadType::Stream);
    QCOMPARE(m_facility->reads[0].propertyName, path(u"a.rar"_s));
    QCOMPARE(m_facility->reads[0].options, 16);
    QVERIFY(m_facility->reads[0].headers.isEmpty());
    QCOMPARE(m_facility->reads[1].options, 0);
    QCOMPARE(m_downloader->DownloadFiles(), QStringList({QString(), path(u"a.rar"_s), path(u"b.rar"_s)}));
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 255, 255}));
    QVERIFY(m_log->events.isEmpty());
}

void TstDownloader::refusedReadShowsOneBoxAndRecordsNothing()
{
    m_facility->refusal = AsyncReadError{5, u"不支持的地址"_s};
    QCOMPARE(m_downloader->BeginDownload(u"gopher://h/x"_s, path(u"x"_s)), Downloader::Start::Refused);

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
    QTest::addColumn<qint64>("contentLength");
    QTest::addColumn<QStringList>("progress");

    QTest::newRow("known total") << qint64(1000) << QStringList{u"400/1000 a.rar"_s};
    QTest::newRow("total not announced") << qint64(0) << QStringList();
}

void TstDownloader::progressNeedsAKnownTotal()
{
    QFETCH(qint64, contentLength);
    QFETCH(QStringList, progress);

    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_facility->answer(path(u"a.rar"_s), 200, contentLength);
    m_facility->data(path(u"a.rar"_s), QByteArray(400, 'x'));

    QCOMPARE(m_log->progress, progress);
    QVERIFY(m_log->events.isEmpty());
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 255}));
}

void TstDownloader::errorStatusInProgressCancelsTheRead()
{
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_facility->progress(path(u"a.rar"_s), 10, 1000, AsyncProperty::Error);

    QCOMPARE(m_log->progress, QStringList{u"10/1000 a.rar"_s});
    QCOMPARE(*m_facility->cancelled, QStringList{path(u"a.rar"_s)});
    // Progress never ends a download, whatever its status.
    QVERIFY(m_log->events.isEmpty());
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 255}));
}

void TstDownloader::completedDownloadIsPutInPlaceBeforeItIsReported()
{
    const QString file = path(u"a.rar"_s);
    QVERIFY(writeFile(file, "older copy"));
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    QList<quint8> statesSeenByTheHost;
    QByteArray fileSeenByTheHost;
    connect(m_downloader.get(), &Downloader::DownloadComplete, this, [&] {
        statesSeenByTheHost = m_downloader->DownloadStates();
        fileSeenByTheHost = readFile(file);
    });

    m_facility->answer(file, 200, 4);
    m_facility->data(file, "bo");
    m_facility->data(file, "dy");
    QCOMPARE(readFile(file), QByteArray("older copy"));
    m_facility->complete(file, AsyncProperty::EndDownloadData);

    QCOMPARE(m_log->events, QStringList({u"complete 4 a.rar"_s, u"all []"_s}));
    QCOMPARE(fileSeenByTheHost, QByteArray("body"));
    QCOMPARE(statesSeenByTheHost, QList<quint8>({0, 255}));
    QCOMPARE(m_downloader->DownloadFiles(), QStringList{QString()});
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>{0});
    QCOMPARE(filesInDir(), QStringList{u"a.rar"_s});
}

void TstDownloader::batchEndsOnlyWhenEveryDownloadHasEnded()
{
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_downloader->BeginDownload(u"http://h/up/b.rar"_s, path(u"b.rar"_s));
    m_downloader->BeginDownload(u"http://h/up/c.rar"_s, path(u"c.rar"_s));

    m_facility->fail(path(u"b.rar"_s), 404, false);
    QCOMPARE(m_log->events, QStringList{u"error b.rar"_s});
    QCOMPARE(*m_facility->cancelled, QStringList{path(u"b.rar"_s)});
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 255, 0, 255}));

    m_facility->deliver(path(u"c.rar"_s), "cc");
    m_facility->fail(path(u"a.rar"_s), 403, false);

    QCOMPARE(m_log->events,
             QStringList({u"error b.rar"_s, u"complete 2 c.rar"_s, u"error a.rar"_s, u"all [,a.rar,b.rar]"_s}));
    QCOMPARE(m_downloader->DownloadFiles(), QStringList{QString()});
    QCOMPARE(filesInDir(), QStringList{u"c.rar"_s});
}

void TstDownloader::otherCompletionCodesLeaveTheDownloadUnfinished()
{
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_facility->complete(path(u"a.rar"_s), AsyncProperty::DownloadingData);
    m_facility->complete(path(u"a.rar"_s), 300);

    QVERIFY(m_log->events.isEmpty());
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, AsyncProperty::DownloadingData}));
}

void TstDownloader::sameSaveFileTwiceIsRefusedWhileItRuns()
{
    const QString file = path(u"a.rar"_s);
    QCOMPARE(m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file), Downloader::Start::Started);
    // Two writers would mix their bytes in one partial file.
    QCOMPARE(m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file), Downloader::Start::Busy);
    Downloader other(std::make_unique<FakeAsyncReadFacility>(), m_messageBox);
    QCOMPARE(other.BeginDownload(u"http://h/up/a.rar"_s, file), Downloader::Start::Busy);
    QCOMPARE(m_facility->reads.size(), 1);

    m_facility->deliver(file, "1");
    QCOMPARE(m_log->events, QStringList({u"complete 1 a.rar"_s, u"all []"_s}));
    QCOMPARE(m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file), Downloader::Start::Started);
    m_downloader->CancelAllDownload();
    QCOMPARE(*m_facility->cancelled, QStringList({file, file}));
    QCOMPARE(m_downloader->DownloadFiles(), QStringList{QString()});
    m_downloader->CancelAllDownload();
    QCOMPARE(m_facility->cancelled->size(), 2);
}

void TstDownloader::completionForAnUnrecordedPath()
{
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_facility->complete(path(u"A.RAR"_s), AsyncProperty::Error);
    QCOMPARE(m_log->events, QStringList{u"error A.RAR"_s});
    QCOMPARE(m_downloader->DownloadStates(), QList<quint8>({0, 255}));

    // A read cancelled with its download has nothing to put in place.
    m_downloader->CancelAllDownload();
    m_facility->complete(path(u"a.rar"_s), AsyncProperty::EndDownloadData);
    QCOMPARE(m_log->events, QStringList({u"error A.RAR"_s, u"error a.rar"_s, u"all []"_s}));
    QCOMPARE(filesInDir(), QStringList());
}

void TstDownloader::bodyThatCannotBePutInPlaceIsAFailure()
{
    const QString file = path(u"a.rar"_s);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    m_facility->answer(file, 200, 4, {{"etag", "\"v1\""}});
    m_facility->data(file, "body");
    // Something else took the name while the body was arriving.
    QVERIFY(QDir().mkpath(file + u"/kept"_s));

    m_facility->complete(file, AsyncProperty::EndDownloadData);

    QCOMPARE(m_log->events, QStringList({u"error a.rar"_s, u"all [,a.rar]"_s}));
    QVERIFY(QFileInfo(file + u"/kept"_s).isDir());
    QCOMPARE(readFile(file + u".part"_s), QByteArray("body"));
}

void TstDownloader::destructionCancelsRunningReads()
{
    const std::shared_ptr<QStringList> cancelled = m_facility->cancelled;
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_downloader->BeginDownload(u"http://h/up/b.rar"_s, path(u"b.rar"_s));
    m_facility->answer(path(u"a.rar"_s), 200, 10, {{"last-modified", "Tue, 08 Dec 2026 10:00:00 GMT"}});
    m_facility->data(path(u"a.rar"_s), "half!");

    m_downloader.reset();

    QCOMPARE(*cancelled, QStringList({path(u"a.rar"_s), path(u"b.rar"_s)}));
    QVERIFY(m_log->events.isEmpty());
    // What can be continued stays, nothing else.
    QCOMPARE(filesInDir(), QStringList({u"a.rar.part"_s, u"a.rar.part.meta"_s}));
}

void TstDownloader::resumeAppendsOnlyTheRestOfTheSameVersion()
{
    keepPartial("0123", 10);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    QCOMPARE(m_facility->reads[0].headers, AsyncReadHeaders({{"Range", "bytes=4-"}, {"If-Range", "\"v1\""}}));

    m_facility->answer(path(u"a.rar"_s), 206, 6, {{"content-range", "bytes 4-9/10"}});
    m_facility->data(path(u"a.rar"_s), "456789");
    m_facility->complete(path(u"a.rar"_s), AsyncProperty::EndDownloadData);

    QCOMPARE(m_log->progress.first(), u"4/10 a.rar"_s);
    QCOMPARE(m_log->events, QStringList({u"complete 10 a.rar"_s, u"all []"_s}));
    QCOMPARE(readFile(path(u"a.rar"_s)), QByteArray("0123456789"));
    QCOMPARE(filesInDir(), QStringList{u"a.rar"_s});
}

void TstDownloader::resumeMismatchStartsOver_data()
{
    QTest::addColumn<qint32>("status");
    QTest::addColumn<QByteArray>("contentRange");
    QTest::addColumn<bool>("askedAgain");

    QTest::newRow("whole answer, a newer version") << 200 << QByteArray() << false;
    QTest::newRow("range starting elsewhere") << 206 << QByteArray("bytes 0-9/10") << true;
    QTest::newRow("other total") << 206 << QByteArray("bytes 4-11/12") << true;
    QTest::newRow("range ending short") << 206 << QByteArray("bytes 4-7/10") << true;
    QTest::newRow("no Content-Range") << 206 << QByteArray() << true;
    QTest::newRow("unknown total") << 206 << QByteArray("bytes 4-9/*") << true;
}

void TstDownloader::resumeMismatchStartsOver()
{
    QFETCH(qint32, status);
    QFETCH(QByteArray, contentRange);
    QFETCH(bool, askedAgain);

    keepPartial("0123", 10);
    const QString file = path(u"a.rar"_s);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    QHash<QByteArray, QByteArray> headers{{"etag", "\"v2\""}};
    if (!contentRange.isEmpty())
        headers.insert("content-range", contentRange);
    m_facility->answer(file, status, 6, headers);
    if (askedAgain) {
        QCOMPARE(*m_facility->cancelled, QStringList{file});
        QCOMPARE(m_facility->reads.size(), 2);
        QVERIFY(m_facility->reads[1].headers.isEmpty());
        m_facility->answer(file, 200, 6, {{"etag", "\"v2\""}});
    }
    m_facility->data(file, "abcdef");
    m_facility->complete(file, AsyncProperty::EndDownloadData);

    QCOMPARE(readFile(file), QByteArray("abcdef"));
    QCOMPARE(m_log->events, QStringList({u"complete 6 a.rar"_s, u"all []"_s}));
}

void TstDownloader::rangeNotSatisfiableFetchesTheWholeFile()
{
    keepPartial("0123", 10);
    const QString file = path(u"a.rar"_s);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    m_facility->fail(file, 416, false);
    QCOMPARE(m_facility->reads.size(), 2);
    QVERIFY(m_facility->reads[1].headers.isEmpty());

    // A second 416, to a request without a range, is the server's fault and ends the download.
    m_facility->fail(file, 416, false);
    QCOMPARE(m_log->events, QStringList({u"error a.rar"_s, u"all [,a.rar]"_s}));
    QCOMPARE(m_facility->reads.size(), 2);
}

void TstDownloader::partialWithoutValidatorIsNotContinued()
{
    const QString file = path(u"a.rar"_s);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    m_facility->answer(file, 200, 10);
    m_facility->data(file, "01234");
    m_facility->fail(file, 0, true);
    QCOMPARE(m_waits.size(), 1);
    // Bytes with no version to check against are useless: they are dropped at once. The lock
    // stays while the retry waits.
    QCOMPARE(filesInDir(), QStringList{u"a.rar.part.lock"_s});

    m_waits.takeFirst().retry();
    QCOMPARE(m_facility->reads.size(), 2);
    QVERIFY(m_facility->reads[1].headers.isEmpty());
}

void TstDownloader::transientFailuresAreRetriedUntilTheTimeIsSpent()
{
    const QString file = path(u"a.rar"_s);
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    m_facility->answer(file, 200, 10, {{"etag", "\"v1\""}});
    m_facility->data(file, "01");
    m_facility->fail(file, 200, true);
    m_waits.takeFirst().retry();
    QCOMPARE(m_facility->reads.last().headers, AsyncReadHeaders({{"Range", "bytes=2-"}, {"If-Range", "\"v1\""}}));
    m_facility->answer(file, 206, 8, {{"content-range", "bytes 2-9/10"}});
    m_facility->data(file, "23");
    // Bytes came since the last break, so this one starts the count again.
    const TransferError down{TransferError::Kind::NetworkUnreachable, 0, u"h"_s, {}};
    m_facility->fail(file, down);
    QList<qint64> delays;
    while (!m_waits.isEmpty()) {
        delays.append(m_waits.first().delay.count());
        m_waits.takeFirst().retry();
        QCOMPARE(m_facility->reads.last().headers, AsyncReadHeaders({{"Range", "bytes=4-"}, {"If-Range", "\"v1\""}}));
        m_facility->fail(file, down);
    }

    // Doubling up to half a minute, until the waits since the last byte reach five minutes.
    QCOMPARE(
        delays,
        QList<qint64>({1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000, 30000, 30000, 30000, 30000, 30000, 30000}));
    QCOMPARE(m_log->retries.first(), std::make_pair(qint64(1000), 1));
    QCOMPARE(m_log->retries.last(), std::make_pair(qint64(30000), 14));
    QCOMPARE(m_log->events, QStringList({u"error a.rar"_s, u"all [,a.rar]"_s}));
    QCOMPARE(m_log->reasons, QList<TransferError>{down});
    // The bytes that did arrive stay for the next attempt.
    QCOMPARE(readFile(file + u".part"_s), QByteArray("0123"));
}

void TstDownloader::otherAnswersFailAtOnce_data()
{
    QTest::addColumn<qint32>("status");
    QTest::addColumn<bool>("retried");

    QTest::newRow("403") << 403 << false;
    QTest::newRow("404") << 404 << false;
    QTest::newRow("410") << 410 << false;
    QTest::newRow("408") << 408 << true;
    QTest::newRow("429") << 429 << true;
    QTest::newRow("500") << 500 << true;
    QTest::newRow("599") << 599 << true;
    QTest::newRow("no answer, not interrupted") << 0 << false;
}

void TstDownloader::otherAnswersFailAtOnce()
{
    QFETCH(qint32, status);
    QFETCH(bool, retried);

    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_facility->fail(path(u"a.rar"_s), status, false);

    QCOMPARE(m_waits.size(), retried ? 1 : 0);
    QCOMPARE(m_log->events.isEmpty(), retried);
}

void TstDownloader::retryAfterIsHonouredUpToALimit_data()
{
    QTest::addColumn<QByteArray>("retryAfter");
    QTest::addColumn<qint64>("delayMs");

    QTest::newRow("none: back-off") << QByteArray() << qint64(1000);
    QTest::newRow("seconds") << QByteArray("7") << qint64(7000);
    QTest::newRow("too long") << QByteArray("3600") << qint64(30000);
    QTest::newRow("date in the past") << QByteArray("Thu, 01 Jan 2015 00:00:00 GMT") << qint64(0);
    QTest::newRow("garbage: back-off") << QByteArray("soon") << qint64(1000);
}

void TstDownloader::retryAfterIsHonouredUpToALimit()
{
    QFETCH(QByteArray, retryAfter);
    QFETCH(qint64, delayMs);

    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    QHash<QByteArray, QByteArray> headers;
    if (!retryAfter.isEmpty())
        headers.insert("retry-after", retryAfter);
    m_facility->fail(path(u"a.rar"_s), 503, false, headers);

    QCOMPARE(m_waits.size(), 1);
    QCOMPARE(m_waits[0].delay.count(), delayMs);
    if (retryAfter.isEmpty()) {
        m_waits.takeFirst().retry();
        m_facility->fail(path(u"a.rar"_s), 0, true);
        m_waits.takeFirst().retry();
        m_facility->fail(path(u"a.rar"_s), 0, true);
        QCOMPARE(m_waits[0].delay.count(), 4000);
    }
}

void TstDownloader::cancellingStopsTheRetries()
{
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, path(u"a.rar"_s));
    m_facility->fail(path(u"a.rar"_s), 0, true);
    m_downloader->CancelAllDownload();

    m_waits.takeFirst().retry();

    QCOMPARE(m_facility->reads.size(), 1);
    QVERIFY(m_log->events.isEmpty());
}

void TstDownloader::noRoomWritesNothing()
{
    keepPartial("0123", 1000);
    const QString file = path(u"a.rar"_s);
    m_freeSpace = Downloader::DiskReserve + 500;
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    m_facility->answer(file, 206, 996, {{"content-range", "bytes 4-999/1000"}});

    QCOMPARE(m_log->events, QStringList({u"no room 996/500 a.rar"_s, u"all [,a.rar]"_s}));
    QVERIFY(m_facility->cancelled->contains(file));
    QCOMPARE(readFile(file + u".part"_s), QByteArray("0123"));
    QCOMPARE(filesInDir(), QStringList({u"a.rar.part"_s, u"a.rar.part.meta"_s}));
}

void TstDownloader::diskFillingUpKeepsThePartial()
{
    const QString file = path(u"a.rar"_s);
    const QByteArray mebibyte(1024 * 1024, 'x');
    m_freeSpace = Downloader::DiskReserve + 3 * mebibyte.size();
    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    m_facility->answer(file, 200, 3 * mebibyte.size(), {{"etag", "\"v1\""}});
    m_facility->data(file, mebibyte);
    // Another program takes most of the room meanwhile.
    m_freeSpace = Downloader::DiskReserve + 1000;
    m_facility->data(file, mebibyte);

    QCOMPARE(m_log->events, QStringList({u"no room 2097152/1000 a.rar"_s, u"all [,a.rar]"_s}));
    QCOMPARE(readFile(file + u".part"_s), mebibyte);
}

void TstDownloader::fileIsCheckedAgainstItsDigest_data()
{
    QTest::addColumn<QByteArray>("named");
    QTest::addColumn<QStringList>("events");

    const auto digestOf = [](const QByteArray &bytes) {
        return "sha-256=:" + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toBase64() + ':';
    };
    const QStringList verified{u"verified a.rar"_s, u"complete 4 a.rar"_s, u"all []"_s};
    const QStringList unchecked{u"complete 4 a.rar"_s, u"all []"_s};
    QTest::newRow("matching") << digestOf("body") << verified;
    QTest::newRow("among other digests") << "sha-512=:AAAA:, " + digestOf("body") << verified;
    QTest::newRow("no digest: not checked") << QByteArray() << unchecked;
    QTest::newRow("malformed digest: not checked") << QByteArray("sha-256=:bm90IDMyIGJ5dGVz:") << unchecked;
    QTest::newRow("digest of other bytes: fetched again") << digestOf("BODY") << QStringList();
}

// The file takes its name only once its bytes match the digest its server named; a damaged
// file is fetched once more from the start, leaving nothing of the damaged bytes.
void TstDownloader::fileIsCheckedAgainstItsDigest()
{
    QFETCH(QByteArray, named);
    QFETCH(QStringList, events);
    const QString file = path(u"a.rar"_s);
    QHash<QByteArray, QByteArray> headers{{"etag", "\"v1\""}};
    if (!named.isEmpty())
        headers.insert("repr-digest", named);

    m_downloader->BeginDownload(u"http://h/up/a.rar"_s, file);
    m_facility->deliver(file, "body", headers);

    QCOMPARE(m_log->events, events);
    if (events.isEmpty()) {
        QCOMPARE(m_facility->reads.size(), 2);
        QVERIFY(m_facility->reads[1].headers.isEmpty());
        QCOMPARE(filesInDir(), QStringList{u"a.rar.part.lock"_s});
    } else {
        QCOMPARE(filesInDir(), QStringList{u"a.rar"_s});
    }
}

QTEST_GUILESS_MAIN(TstDownloader)
#include "tst_downloader.moc"
