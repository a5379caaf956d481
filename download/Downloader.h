#pragma once

#include "download/AsyncReadFacility.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace Quillmere {

class MessageBox;

// Downloads URLs into files through an asynchronous read facility and reports progress,
// failure, completion and the end of a whole batch. A batch is every download recorded since
// creation or since the last CancelAllDownload. Host handlers of its signals must not delete it
// directly (deleteLater is fine): the signals are raised from inside its own handlers.
//
// The bytes go to a partial file beside the target (see PartialFile), which a later download of
// the same URL into the same file continues with a byte range, as long as the server still has
// the same version. Failures of the connection and answers that say "later" are tried again,
// waiting longer each time up to half a minute, each continuing where the last stopped; the
// download fails once it has gone RetryBudget without a byte since its bytes last went further. When
// the server names the file's digest (Repr-Digest), the bytes are hashed as they are written
// and the file takes its name only when they match: a mismatch starts the file over once,
// then fails.
class Downloader : public QObject
{
    Q_OBJECT

public:
    // State of a recorded download; any other value is a status code that ended nothing.
    enum State : quint8 {
        Failed = AsyncProperty::Error,
        Done = AsyncProperty::EndDownloadData,
        Pending = 255,
    };

    enum class Start {
        Started,
        // The facility refused the read; the downloader has shown why.
        Refused,
        // The file is being downloaded already, here or by another running copy of the program.
        Busy,
    };

    // What the downloader asks of its surroundings; the defaults ask the system.
    struct Environment
    {
        // Free bytes on the disk that holds folder; nothing when the system cannot tell, which is
        // no failure: the download then goes on without the check.
        std::function<std::optional<qint64>(const QString &folder)> freeSpace;
        // Calls retry after delay, unless the downloader has gone by then.
        std::function<void(std::chrono::milliseconds delay, std::function<void()> retry)> wait;
    };

    // How long a download may go without a byte, waiting and trying, before it fails.
    static constexpr std::chrono::seconds RetryBudget{300};
    static constexpr std::chrono::seconds LongestWait{30};
    // Never used up by a download, so the system and other programs keep room to work.
    static constexpr qint64 DiskReserve = 16 * 1024 * 1024;

    Downloader(std::unique_ptr<AsyncReadFacility> facility, MessageBox &messageBox, QObject *parent = nullptr);
    ~Downloader() override;

    void setEnvironment(Environment environment);

    // SaveFile's folder must exist; the file appears there only once it is complete.
    Start BeginDownload(const QString &URL, const QString &SaveFile, qint32 AsyncReadOptions = AsyncReadForceUpdate);
    // Stops every download and every retry; bytes that can be continued from stay on disk.
    bool CancelAllDownload();

    // Parallel lists; index 0 holds a placeholder, recorded downloads follow in order.
    const QStringList &DownloadFiles() const { return m_downloadFiles; }
    const QList<quint8> &DownloadStates() const { return m_downloadStates; }

Q_SIGNALS:
    void DownloadProgress(qint64 CurBytes, qint64 MaxBytes, const QString &SaveFile);
    void DownloadError(const QString &SaveFile);
    void DownloadComplete(qint64 MaxBytes, const QString &SaveFile);
    // Why the download failed; raised just before its DownloadError.
    void DownloadFailed(const TransferError &reason, const QString &SaveFile);
    // The download broke off and is tried again after delayMs, for the attempt-th time since it
    // last got further.
    void DownloadRetrying(qint64 delayMs, int attempt, const TransferError &reason, const QString &SaveFile);
    // The file's bytes matched the digest its server named; raised just before its DownloadComplete.
    void DownloadVerified(const QString &SaveFile);
    // FileNotDownload: an empty element, then the batch's failed files in recorded order.
    void DownloadAllComplete(const QStringList &FileNotDownload);
    // The disk cannot take the rest (needed bytes, 0 when the length is unknown, against the
    // usable ones); raised instead of DownloadError, and the download counts as failed.
    void DownloadNoRoom(qint64 needed, qint64 available, const QString &SaveFile);

private:
    struct Transfer;

    void AsyncReadProgress(const AsyncProperty &property);
    void AsyncReadComplete(const AsyncProperty &property);
    void CheckAllDownload();
    void resetLists();

    Result<void, AsyncReadError> startRead(Transfer &transfer, bool whole);
    void acceptHead(Transfer &transfer, const AsyncProperty &head);
    Result<void, TransferError> hashKept(Transfer &transfer);
    void takeBytes(Transfer &transfer, const QByteArray &bytes);
    bool hasRoom(Transfer &transfer, qint64 needed, qint64 reclaimable);
    void reportProgress(Transfer &transfer);
    void finishFile(Transfer &transfer);
    void retryOrFail(Transfer &transfer, const AsyncProperty &failure);
    void restart(Transfer &transfer, const TransferError &reason);
    // By value: the name may belong to the transfer that ends. reason says why an Error ended it.
    void end(QString SaveFile, qint32 status, const TransferError &reason = {});
    void record(const QString &SaveFile, qint32 status);

    std::unique_ptr<AsyncReadFacility> m_facility;
    MessageBox &m_messageBox;
    Environment m_environment;
    QStringList m_downloadFiles;
    QList<quint8> m_downloadStates;
    std::map<QString, std::unique_ptr<Transfer>> m_transfers;
    quint64 m_nextSerial = 0;
};

}  // namespace Quillmere
