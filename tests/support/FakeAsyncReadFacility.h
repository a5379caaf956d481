#pragma once

#include "download/AsyncReadFacility.h"

#include <QList>
#include <QStringList>

#include <memory>
#include <optional>

namespace Quillmere {

// Starts no transfer: records the reads it is asked for and sends the notifications the test
// scripts. Cancellations go to a log that outlives the fake, whose owner may destroy it.
class FakeAsyncReadFacility : public AsyncReadFacility
{
public:
    struct Read
    {
        QString target;
        AsyncReadType readType;
        QString propertyName;
        qint32 options;
        AsyncReadHeaders headers;
    };

    Result<void, AsyncReadError> AsyncRead(const QString &target, AsyncReadType readType, const QString &propertyName,
                                           qint32 options, const AsyncReadHeaders &headers = {}) override
    {
        if (refusal)
            return Failure(*refusal);
        reads.append({target, readType, propertyName, options, headers});
        return {};
    }

    void CancelAsyncRead(const QString &propertyName) override { cancelled->append(propertyName); }

    void progress(const QString &propertyName, qint64 bytesRead, qint64 bytesMax,
                  qint32 status = AsyncProperty::DownloadingData)
    {
        Q_EMIT AsyncReadProgress({propertyName, status, bytesRead, bytesMax, 0, {}, {}, {}});
    }

    // The head of a successful answer; header names in lower case.
    void answer(const QString &propertyName, qint32 httpStatus, qint64 contentLength,
                const QHash<QByteArray, QByteArray> &headers = {})
    {
        Q_EMIT AsyncReadProgress(
            {propertyName, AsyncProperty::BeginDownloadData, 0, contentLength, httpStatus, headers, {}, {}});
    }

    void data(const QString &propertyName, const QByteArray &bytes)
    {
        Q_EMIT AsyncReadProgress({propertyName, AsyncProperty::DownloadingData, bytes.size(), 0, 0, {}, bytes, {}});
    }

    // A whole answer: its head, its body in one chunk, its end.
    void deliver(const QString &propertyName, const QByteArray &body, const QHash<QByteArray, QByteArray> &headers = {})
    {
        answer(propertyName, 200, body.size(), headers);
        data(propertyName, body);
        complete(propertyName, AsyncProperty::EndDownloadData);
    }

    void complete(const QString &propertyName, qint32 status)
    {
        Q_EMIT AsyncReadComplete({propertyName, status, 0, 0, 0, {}, {}, {}});
    }

    // An interrupted read broke off with its connection; any other is the server's answer.
    void fail(const QString &propertyName, qint32 httpStatus, bool interrupted,
              const QHash<QByteArray, QByteArray> &headers = {})
    {
        using Kind = TransferError::Kind;
        const Kind kind = interrupted ? Kind::ConnectionCut : httpStatus != 0 ? Kind::HttpStatus : Kind::Other;
        fail(propertyName, {kind, httpStatus, QStringLiteral("h"), {}}, headers);
    }

    void fail(const QString &propertyName, const TransferError &reason, const QHash<QByteArray, QByteArray> &headers = {})
    {
        Q_EMIT AsyncReadComplete({propertyName, AsyncProperty::Error, 0, 0, reason.httpStatus, headers, {}, reason});
    }

    // Set: every read is refused with it.
    std::optional<AsyncReadError> refusal;
    QList<Read> reads;
    std::shared_ptr<QStringList> cancelled = std::make_shared<QStringList>();
};

}  // namespace Quillmere
