#include "download/Downloader.h"

#include "common/ReprDigest.h"
#include "common/Sha256.h"
#include "download/MessageBox.h"
#include "download/PartialFile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace Quillmere {

namespace {

Q_LOGGING_CATEGORY(lcDownload, "quillmere.download", QtWarningMsg)

// Progress is reported at most 60 times a second: each report redraws the host's bar.
constexpr qint64 ProgressIntervalMs = 17;
// Free space is asked again after this much was written, as other programs use the disk too.
constexpr qint64 RoomCheckInterval = 1024 * 1024;

struct ContentRange
{
    qint64 first = -1;
    qint64 last = -1;
    qint64 total = -1;
};

// "bytes 100-999/1000"; a total of "*" or anything malformed gives -1 fields.
ContentRange parseContentRange(const QByteArray &value)
{
    static const QRegularExpression pattern(u"^\\s*bytes\\s+(\\d+)-(\\d+)/(\\d+)\\s*$"_s);
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(value));
    if (!match.hasMatch())
        return {};
    return {match.captured(1).toLongLong(), match.captured(2).toLongLong(), match.captured(3).toLongLong()};
}

// A weak ETag never matches in If-Range, so Last-Modified serves instead.
QByteArray validatorOf(const QHash<QByteArray, QByteArray> &headers)
{
    const QByteArray etag = headers.value("etag").trimmed();
    if (!etag.isEmpty() && !etag.startsWith("W/"))
        return etag;
    return headers.value("last-modified").trimmed();
}

// Seconds or an HTTP date; nothing when absent or unreadable.
std::optional<std::chrono::milliseconds> retryAfter(const QHash<QByteArray, QByteArray> &headers)
{
    const QByteArray value = headers.value("retry-after").trimmed();
    if (value.isEmpty())
        return std::nullopt;
    bool number = false;
    const qint64 seconds = value.toLongLong(&number);
    if (number)
        return std::chrono::seconds(std::max<qint64>(seconds, 0));
    QDateTime when = QLocale::c().toDateTime(QString::fromLatin1(value), u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s);
    if (!when.isValid())
        return std::nullopt;
    when.setTimeSpec(Qt::UTC);
    return std::chrono::milliseconds(std::max<qint64>(QDateTime::currentDateTimeUtc().msecsTo(when), 0));
}

// A connection that failed or broke off, or an answer that says "later": trying again may well
// succeed. A name that does not resolve counts, as a line that is down gives the same answer.
bool isTransient(const TransferError &failure)
{
    using Kind = TransferError::Kind;
    switch (failure.kind) {
    case Kind::ConnectionRefused:
    case Kind::HostNotFound:
    case Kind::TimedOut:
    case Kind::ConnectionCut:
    case Kind::NetworkUnreachable:
    case Kind::ProxyFailed:
        return true;
    case Kind::HttpStatus: {
        const qint32 status = failure.httpStatus;
        return status == 408 || status == 429 || (status >= 500 && status <= 599);
    }
    default:
        return false;
    }
}

// 1, 2, 4 … seconds, up to the longest wait.
std::chrono::milliseconds backOff(int retries)
{
    return std::min<std::chrono::milliseconds>(std::chrono::seconds(qint64(1) << std::min(retries, 10)),
                                               Downloader::LongestWait);
}

std::optional<qint64> systemFreeSpace(const QString &folder)
{
    const QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    return storage.bytesAvailable();
}

}  // namespace

struct Downloader::Transfer
{
    Transfer(const QString &url, const QString &saveFile, qint32 options)
        : url(url)
        , saveFile(saveFile)
        , options(options)
        , part(saveFile)
    {
    }

    QString url;
    QString saveFile;
    qint32 options = 0;
    PartialFile part;
    // The bytes kept on disk when the current read started, which its body continues.
    qint64 offset = 0;
    bool ranged = false;
    // The whole file's length, 0 while unknown.
    qint64 total = 0;
    qint64 received = 0;
    // The answer's head was taken and its body goes to the partial file.
    bool writing = false;
    // Attempts since the bytes on disk last went further than ever before, and the time spent
    // without bytes meanwhile, waiting or trying; the most bytes there have been.
    int retries = 0;
    std::chrono::milliseconds outage{0};
    qint64 furthest = 0;
    // Since the current attempt started, or its last bytes came.
    QElapsedTimer sinceBytes;
    // The file's SHA-256 as its server named it, and that of the bytes on disk so far, which
    // covers hashed bytes (-1 when it covers none that count).
    std::optional<QByteArray> expectedDigest;
    Sha256 digest;
    qint64 hashed = -1;
    bool startedOverForDigest = false;
    // Changes with each read, so a retry that was waiting for an earlier one does nothing.
    quint64 serial = 0;
    std::optional<qint64> room;
    qint64 writtenSinceRoomCheck = 0;
    qint64 reported = -1;
    QElapsedTimer sinceReport;

    qint64 bytesOnDisk() const { return offset + received; }
};

Downloader::Downloader(std::unique_ptr<AsyncReadFacility> facility, MessageBox &messageBox, QObject *parent)
    : QObject(parent)
    , m_facility(std::move(facility))
    , m_messageBox(messageBox)
{
    setEnvironment({});
    resetLists();
    connect(m_facility.get(), &AsyncReadFacility::AsyncReadProgress, this, &Downloader::AsyncReadProgress);
    connect(m_facility.get(), &AsyncReadFacility::AsyncReadComplete, this, &Downloader::AsyncReadComplete);
}

Downloader::~Downloader()
{
    if (m_downloadFiles.size() > 1 || !m_transfers.empty())
        CancelAllDownload();
}

void Downloader::setEnvironment(Environment environment)
{
    m_environment = std::move(environment);
    if (!m_environment.freeSpace)
        m_environment.freeSpace = systemFreeSpace;
    if (!m_environment.wait) {
        m_environment.wait = [this](std::chrono::milliseconds delay, std::function<void()> retry) {
            QTimer::singleShot(delay, this, std::move(retry));
        };
    }
}

Downloader::Start Downloader::BeginDownload(const QString &URL, const QString &SaveFile, qint32 AsyncReadOptions)
{
    if (m_transfers.contains(SaveFile))
        return Start::Busy;
    auto transfer = std::make_unique<Transfer>(URL, SaveFile, AsyncReadOptions);
    if (!transfer->part.lock())
        return Start::Busy;
    const Result<void, AsyncReadError> started = startRead(*transfer, false);
    if (!started) {
        const AsyncReadError &refused = started.error();
        m_messageBox.show(MessageBox::Icon::Critical, u"错误"_s,
                          QString::number(refused.number) + u":错误在调用 BeginDownload()."_s + u"\r\n\r\n"_s
                              + u"错误描述: "_s + refused.description);
        return Start::Refused;
    }
    m_transfers.emplace(SaveFile, std::move(transfer));
    m_downloadFiles.append(SaveFile);
    m_downloadStates.append(Pending);
    return Start::Started;
}

bool Downloader::CancelAllDownload()
{
    for (qsizetype i = 1; i < m_downloadFiles.size(); ++i)
        m_facility->CancelAsyncRead(m_downloadFiles.at(i));
    m_transfers.clear();
    resetLists();
    return true;
}

// Continues the kept bytes when they can be trusted to be a beginning of the same file, else
// (or when whole is asked for) fetches the file from its start.
Result<void, AsyncReadError> Downloader::startRead(Transfer &transfer, bool whole)
{
    const std::optional<PartialFile::Record> record = transfer.part.record();
    const qint64 kept = transfer.part.size();
    transfer.ranged = !whole && record && record->url == transfer.url && !record->validator.isEmpty() && kept > 0
        && kept < record->total;
    transfer.offset = transfer.ranged ? kept : 0;
    transfer.total = transfer.ranged ? record->total : 0;
    transfer.received = 0;
    transfer.writing = false;
    transfer.serial = m_nextSerial++;
    transfer.sinceBytes.start();
    AsyncReadHeaders headers;
    if (transfer.ranged)
        headers = {{"Range", "bytes=" + QByteArray::number(kept) + '-'}, {"If-Range", record->validator}};
    return m_facility->AsyncRead(transfer.url, AsyncReadType::Stream, transfer.saveFile, transfer.options, headers);
}

void Downloader::AsyncReadProgress(const AsyncProperty &property)
{
    if (property.StatusCode == AsyncProperty::Error) {
        if (property.BytesMax != 0)
            Q_EMIT DownloadProgress(property.BytesRead, property.BytesMax, property.PropertyName);
        m_facility->CancelAsyncRead(property.PropertyName);
        return;
    }
    const auto found = m_transfers.find(property.PropertyName);
    if (found == m_transfers.end())
        return;
    if (property.StatusCode == AsyncProperty::BeginDownloadData)
        acceptHead(*found->second, property);
    else if (property.StatusCode == AsyncProperty::DownloadingData && found->second->writing)
        takeBytes(*found->second, property.Data);
}

void Downloader::acceptHead(Transfer &transfer, const AsyncProperty &head)
{
    const ContentRange range = parseContentRange(head.Headers.value("content-range"));
    const std::optional<QByteArray> digest = ReprDigest::sha256(head.Headers.value("repr-digest"));
    if (head.HttpStatus == 206) {
        // Only the rest of the very bytes on disk may be added to them.
        const bool continues = transfer.ranged && range.first == transfer.offset && range.total == transfer.total
            && range.last == range.total - 1;
        if (!continues) {
            restart(transfer,
                    {TransferError::Kind::UnusableAnswer, 206, QUrl(transfer.url).host(),
                     u"the range does not continue the bytes kept"_s});
            return;
        }
        if (!hasRoom(transfer, transfer.total - transfer.offset, 0))
            return;
        // The same version as before, so a digest named earlier still holds.
        if (digest)
            transfer.expectedDigest = digest;
        const Result<void, TransferError> opened = transfer.part.openForAppend();
        const Result<void, TransferError> hashed = opened ? hashKept(transfer) : opened;
        if (!hashed) {
            end(transfer.saveFile, AsyncProperty::Error, hashed.error());
            return;
        }
    } else {
        // A whole answer replaces what was kept, so those bytes count as room.
        transfer.offset = 0;
        transfer.total = head.BytesMax;
        if (!hasRoom(transfer, transfer.total, transfer.part.size()))
            return;
        if (const auto started = transfer.part.startOver({transfer.url, validatorOf(head.Headers), transfer.total});
            !started) {
            end(transfer.saveFile, AsyncProperty::Error, started.error());
            return;
        }
        // Hashed as they come only when there is a digest to check them against.
        transfer.expectedDigest = digest;
        transfer.digest.reset();
        transfer.hashed = digest ? 0 : -1;
    }
    transfer.writing = true;
    // A resumed bar starts where it stopped.
    if (transfer.offset > 0)
        reportProgress(transfer);
}

// Brings the digest up to the bytes kept, which a resumed answer continues: only when it is
// to be checked, and from the disk only when this run did not hash them as they came.
Result<void, TransferError> Downloader::hashKept(Transfer &transfer)
{
    if (!transfer.expectedDigest || transfer.hashed == transfer.offset)
        return {};
    transfer.digest.reset();
    transfer.hashed = -1;
    const auto read = transfer.part.readKept(transfer.offset,
                                             [&](QByteArrayView piece) { transfer.digest.addData(piece); });
    if (!read)
        return read;
    transfer.hashed = transfer.offset;
    return {};
}

void Downloader::takeBytes(Transfer &transfer, const QByteArray &bytes)
{
    if (!hasRoom(transfer, transfer.total > 0 ? transfer.total - transfer.bytesOnDisk() : bytes.size(), 0))
        return;
    if (const auto written = transfer.part.write(bytes); !written) {
        // A disk that filled up under us says so; anything else is a plain failure.
        transfer.room.reset();
        if (hasRoom(transfer, bytes.size(), 0))
            end(transfer.saveFile, AsyncProperty::Error, written.error());
        return;
    }
    if (transfer.hashed == transfer.bytesOnDisk()) {
        transfer.digest.addData(bytes);
        transfer.hashed += bytes.size();
    }
    transfer.received += bytes.size();
    // Bytes came, so the line is up: only the time without any counts towards the budget. Only
    // bytes further than ever before give a later break its retries anew, as a server that
    // sends the same beginning each time it breaks off gets no further.
    transfer.sinceBytes.start();
    if (transfer.bytesOnDisk() > transfer.furthest) {
        transfer.furthest = transfer.bytesOnDisk();
        transfer.retries = 0;
        transfer.outage = {};
    }
    transfer.writtenSinceRoomCheck += bytes.size();
    if (transfer.room)
        *transfer.room -= bytes.size();
    if (!transfer.sinceReport.isValid() || transfer.sinceReport.elapsed() >= ProgressIntervalMs)
        reportProgress(transfer);
}

// Whether needed more bytes fit on the disk above its reserve; when they do not, the download
// ends with DownloadNoRoom and the caller must leave it alone. The free space is asked again
// only when the last answer no longer covers the need, or after a good deal was written.
bool Downloader::hasRoom(Transfer &transfer, qint64 needed, qint64 reclaimable)
{
    if (!transfer.room || needed > *transfer.room || transfer.writtenSinceRoomCheck >= RoomCheckInterval) {
        const std::optional<qint64> free = m_environment.freeSpace(QFileInfo(transfer.saveFile).absolutePath());
        transfer.writtenSinceRoomCheck = 0;
        transfer.room = free ? std::optional<qint64>(*free + reclaimable - DiskReserve) : std::nullopt;
    }
    if (!transfer.room || needed <= *transfer.room)
        return true;
    const QString saveFile = transfer.saveFile;
    const qint64 available = std::max<qint64>(*transfer.room, 0);
    const qint64 rest = transfer.total > 0 ? transfer.total - transfer.bytesOnDisk() : 0;
    m_facility->CancelAsyncRead(saveFile);
    m_transfers.erase(saveFile);
    Q_EMIT DownloadNoRoom(rest, available, saveFile);
    record(saveFile, Failed);
    return false;
}

void Downloader::reportProgress(Transfer &transfer)
{
    if (transfer.total == 0 || transfer.reported == transfer.bytesOnDisk())
        return;
    transfer.reported = transfer.bytesOnDisk();
    transfer.sinceReport.start();
    Q_EMIT DownloadProgress(transfer.bytesOnDisk(), transfer.total, transfer.saveFile);
}

void Downloader::AsyncReadComplete(const AsyncProperty &property)
{
    const auto found = m_transfers.find(property.PropertyName);
    if (found == m_transfers.end()) {
        // A read this downloader does not run has nothing of its own on disk.
        end(property.PropertyName,
            property.StatusCode == AsyncProperty::EndDownloadData ? qint32(AsyncProperty::Error) : property.StatusCode,
            property.Reason);
        return;
    }
    Transfer &transfer = *found->second;
    if (property.StatusCode == AsyncProperty::Error) {
        retryOrFail(transfer, property);
        return;
    }
    if (property.StatusCode != AsyncProperty::EndDownloadData) {
        end(property.PropertyName, property.StatusCode);
        return;
    }
    if (!transfer.writing) {
        end(property.PropertyName, AsyncProperty::Error,
            {TransferError::Kind::UnusableAnswer, 0, QUrl(transfer.url).host(), u"the read ended without an answer"_s});
        return;
    }
    finishFile(transfer);
}

// Checks the complete bytes against the digest their server named, if it named one, and
// gives them the target's name.
void Downloader::finishFile(Transfer &transfer)
{
    bool verified = false;
    if (transfer.expectedDigest) {
        const QByteArray actual = transfer.digest.result();
        verified = transfer.hashed == transfer.bytesOnDisk() && actual == *transfer.expectedDigest;
        if (!verified) {
            const TransferError mismatch{
                TransferError::Kind::DigestMismatch, 0, QUrl(transfer.url).host(),
                u"SHA-256 %1, the server named %2"_s.arg(QString::fromLatin1(actual.toHex()),
                                                         QString::fromLatin1(transfer.expectedDigest->toHex()))};
            qCWarning(lcDownload) << "download of" << transfer.url << "is damaged:" << mismatch;
            // Bytes known to be wrong are worth nothing, nor is continuing from them.
            transfer.part.discard();
            if (transfer.startedOverForDigest) {
                end(transfer.saveFile, AsyncProperty::Error, mismatch);
                return;
            }
            transfer.startedOverForDigest = true;
            // From nothing again, so every byte of the new attempt counts as progress.
            transfer.furthest = 0;
            if (const auto started = startRead(transfer, true); !started)
                end(transfer.saveFile, AsyncProperty::Error, mismatch);
            return;
        }
    }
    if (const auto moved = transfer.part.moveIntoPlace(); !moved) {
        end(transfer.saveFile, AsyncProperty::Error, moved.error());
        return;
    }
    reportProgress(transfer);
    if (verified)
        Q_EMIT DownloadVerified(transfer.saveFile);
    end(transfer.saveFile, AsyncProperty::EndDownloadData);
}

void Downloader::retryOrFail(Transfer &transfer, const AsyncProperty &failure)
{
    // The kept bytes were not what the server has now: fetch the whole file, once.
    if (failure.HttpStatus == 416 && transfer.ranged) {
        restart(transfer, failure.Reason);
        return;
    }
    // Once the time without bytes since they last went further reaches the budget, it is spent.
    transfer.outage += std::chrono::milliseconds(transfer.sinceBytes.elapsed());
    if (!isTransient(failure.Reason) || transfer.outage >= RetryBudget) {
        end(transfer.saveFile, AsyncProperty::Error, failure.Reason);
        return;
    }
    const std::chrono::milliseconds delay = std::min<std::chrono::milliseconds>(
        retryAfter(failure.Headers).value_or(backOff(transfer.retries)), LongestWait);
    ++transfer.retries;
    transfer.outage += delay;
    transfer.part.close();
    transfer.writing = false;
    qCWarning(lcDownload).nospace() << "download of " << transfer.url << " broke off (" << failure.Reason
                                    << "); attempt " << transfer.retries << " in " << delay.count() << " ms";
    const quint64 serial = transfer.serial = m_nextSerial++;
    Q_EMIT DownloadRetrying(delay.count(), transfer.retries, failure.Reason, transfer.saveFile);
    m_environment.wait(delay, [this, saveFile = transfer.saveFile, serial, reason = failure.Reason] {
        const auto found = m_transfers.find(saveFile);
        if (found == m_transfers.end() || found->second->serial != serial)
            return;
        if (const auto started = startRead(*found->second, false); !started)
            end(saveFile, AsyncProperty::Error, reason);
    });
}

void Downloader::restart(Transfer &transfer, const TransferError &reason)
{
    m_facility->CancelAsyncRead(transfer.saveFile);
    if (!transfer.ranged || !startRead(transfer, true))
        end(transfer.saveFile, AsyncProperty::Error, reason);
}

// Ends the download of SaveFile with status: raises its event, then records it.
void Downloader::end(QString SaveFile, qint32 status, const TransferError &reason)
{
    const auto found = m_transfers.find(SaveFile);
    const qint64 size = found != m_transfers.end() ? found->second->bytesOnDisk() : 0;
    const QString url = found != m_transfers.end() ? found->second->url : QString();
    if (status == AsyncProperty::Error || status == AsyncProperty::EndDownloadData)
        m_transfers.erase(SaveFile);
    if (status == AsyncProperty::EndDownloadData) {
        Q_EMIT DownloadComplete(size, SaveFile);
    } else if (status == AsyncProperty::Error) {
        qCWarning(lcDownload) << "download of" << url << "into" << SaveFile << "failed:" << reason;
        m_facility->CancelAsyncRead(SaveFile);
        Q_EMIT DownloadFailed(reason, SaveFile);
        Q_EMIT DownloadError(SaveFile);
    }
    record(SaveFile, status);
}

// Records the state of SaveFile and ends the batch when it was the last download running.
void Downloader::record(const QString &SaveFile, qint32 status)
{
    // A code that does not fit a state leaves the state as it was.
    const qsizetype index = m_downloadFiles.indexOf(SaveFile, 1);
    if (index > 0 && status >= 0 && status <= 255)
        m_downloadStates[index] = quint8(status);
    CheckAllDownload();
}

void Downloader::CheckAllDownload()
{
    QStringList failed{QString()};
    for (qsizetype i = 1; i < m_downloadStates.size(); ++i) {
        if (m_downloadStates.at(i) == Failed)
            failed.append(m_downloadFiles.at(i));
        else if (m_downloadStates.at(i) != Done)
            return;
    }
    CancelAllDownload();
    Q_EMIT DownloadAllComplete(failed);
}

void Downloader::resetLists()
{
    m_downloadFiles = QStringList{QString()};
    m_downloadStates = QList<quint8>{0};
}

}  // namespace Quillmere
