#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

#include <QList>

class QHostAddress;

namespace Site {

class StoreConnection;

// How often an address may post: the times of its counted posts, kept in the store so that a
// restart does not reset them and processes sharing a database share them. Times are
// milliseconds since the epoch, the clock all processes share.
class PostAllowance
{
public:
    enum class Kind { Message, Upload };

    explicit PostAllowance(StoreConnection &connection)
        : m_connection(connection)
    {
    }

    // Counts a post of an address at nowMs when fewer than count were counted within the
    // window before it, and says whether it was; a count of 0 sets no limit. Within the
    // caller's transaction, so that a post is counted only with the post itself.
    Result<bool, StoreError> take(Kind kind, const QHostAddress &address, qint64 nowMs, int count, qint64 windowMs);
    // Whole seconds until the address may post again under the same limit; 0 when it may now.
    Result<qint64, StoreError> secondsToWait(Kind kind, const QHostAddress &address, qint64 nowMs, int count,
                                             qint64 windowMs) const;

private:
    // The times of an address's counted posts after sinceMs, oldest first.
    Result<QList<qint64>, StoreError> recent(Kind kind, const QHostAddress &address, qint64 sinceMs) const;

    StoreConnection &m_connection;
};

}  // namespace Site
