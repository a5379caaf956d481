#pragma once

#include "common/Result.h"
#include "download/AsyncProperty.h"

#include <QList>
#include <QObject>

namespace Quillmere {

// How a read hands its body over. The facility offers one way: streamed to its host a chunk at a
// time, so no body is ever held whole in memory.
enum class AsyncReadType { Stream = 1 };

// Extra request header fields, such as Range.
using AsyncReadHeaders = QList<std::pair<QByteArray, QByteArray>>;

// Option bit: fetch from the server, never from a cache.
constexpr qint32 AsyncReadForceUpdate = 16;

struct AsyncReadError
{
    qint32 number = 0;
    QString description;
};

// Reads URLs in the background on behalf of a control. Every notification arrives later through
// the event loop, never from inside AsyncRead or CancelAsyncRead. A read ends with exactly one
// AsyncReadComplete (EndDownloadData or Error), unless it is cancelled: a cancelled read sends
// nothing more, so cancelling never reports a download as failed after its owner has forgotten
// it. A successful answer is announced by one BeginDownloadData before any of its body.
class AsyncReadFacility : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts the read, or refuses it at once without any notification.
    virtual Result<void, AsyncReadError> AsyncRead(const QString &target, AsyncReadType readType,
                                                   const QString &propertyName, qint32 options,
                                                   const AsyncReadHeaders &headers = {}) = 0;
    // Stops every running read of propertyName; a name with no running read is ignored.
    virtual void CancelAsyncRead(const QString &propertyName) = 0;

Q_SIGNALS:
    void AsyncReadProgress(const AsyncProperty &property);
    void AsyncReadComplete(const AsyncProperty &property);
};

}  // namespace Quillmere
