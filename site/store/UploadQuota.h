#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

class QHostAddress;

namespace Site {

class StoreConnection;

// How many bytes an address may upload a day: the sizes of its uploads of the last 24 hours,
// kept in the store so that a restart does not reset them and processes sharing a database
// share them. Times are milliseconds since the epoch, the clock all processes share.
class UploadQuota
{
public:
    static constexpr qint64 DayMs = 24 * 60 * 60 * 1000LL;

    explicit UploadQuota(StoreConnection &connection)
        : m_connection(connection)
    {
    }

    // Counts bytes uploaded by an address at nowMs when, with what it uploaded within the day
    // before, they stay within limit, and says whether they were; a limit of 0 sets none.
    // Within the caller's transaction, so that bytes are counted only with the upload itself.
    Result<bool, StoreError> take(const QHostAddress &address, qint64 nowMs, qint64 bytes, qint64 limit);
    // The bytes the address uploaded within the day before nowMs.
    Result<qint64, StoreError> used(const QHostAddress &address, qint64 nowMs) const;
    // Whole seconds until so many bytes more fit in the address's day; 0 when they do now.
    Result<qint64, StoreError> secondsUntilRoom(const QHostAddress &address, qint64 nowMs, qint64 bytes,
                                                qint64 limit) const;

private:
    StoreConnection &m_connection;
};

}  // namespace Site
