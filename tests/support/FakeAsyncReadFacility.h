#pragma once

#include "download/AsyncReadFacility.h"

#include <QList>
#include <QStringList>

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
    };

    std::optional<AsyncReadError> AsyncRead(const QString &target, AsyncReadType readType,
                                            const QString &propertyName, qint32 options) override
    {
        if (refusal)
            return refusal;
        reads.append({target, readType, propertyName, options});
        return std::nullopt;
    }

    void CancelAsyncRead(const QString &propertyName) override { cancelled->append(propertyName); }

    void progress(const QString &propertyName, qint64 bytesRead, qint64 bytesMax,
                  qint32 status = AsyncProperty::DownloadingData)
    {
        Q_EMIT AsyncReadProgress({propertyName, status, bytesRead, bytesMax, nullptr});
    }

    void complete(const QString &propertyName, qint32 status, std::shared_ptr<QSaveFile> body = nullptr)
    {
        const qint64 size = body ? body->size() : 0;
        Q_EMIT AsyncReadComplete({propertyName, status, size, size, std::move(body)});
    }

    // Writes body beside propertyName's file, as a read does before it completes.
    static std::shared_ptr<QSaveFile> stage(const QString &propertyName, const QByteArray &body)
    {
        auto file = std::make_shared<QSaveFile>(propertyName);
        if (file->open(QIODevice::WriteOnly))
            file->write(body);
        return file;
    }

    std::optional<AsyncReadError> refusal;
    QList<Read> reads;
    std::shared_ptr<QStringList> cancelled = std::make_shared<QStringList>();
};
