#pragma once

#include "common/Result.h"
#include "site/scan/ScanVerdict.h"

#include <QString>

#include <chrono>
#include <optional>

class QIODevice;

namespace Site {

// Asks clamd, the ClamAV daemon, over its unix socket whether bytes hold anything its
// signatures know. The bytes go with its INSTREAM command, in chunks of a stated length ended
// by an empty one, read from their device a chunk at a time, so that a large file costs a
// chunk of memory to scan. Each exchange has a deadline. A connection per request: clamd
// serves them on threads of its own, so several scans may run at once from several threads.
class ClamdClient
{
public:
    static constexpr qint64 ChunkBytes = 64 * 1024;
    static constexpr std::chrono::milliseconds DefaultTimeout = std::chrono::seconds(60);

    explicit ClamdClient(const QString &socketPath, std::chrono::milliseconds timeout = DefaultTimeout);

    // "clamd:/run/clamav/clamd.ctl" as the socket's path; nothing for anything else.
    static std::optional<QString> socketIn(const QString &address);

    // Scans what data holds from its position to its end.
    Result<ScanVerdict, ScanError> scan(QIODevice &data) const;
    // Whether clamd answers at all.
    Result<void, ScanError> ping() const;

    QString socketPath() const { return m_socketPath; }

private:
    // Sends command and what data holds (when given), and returns clamd's answer.
    Result<QByteArray, ScanError> exchange(const QByteArray &command, QIODevice *data) const;

    QString m_socketPath;
    std::chrono::milliseconds m_timeout;
};

}  // namespace Site
