#include "site/store/PostAllowance.h"

#include "site/store/NetworkAddress.h"
#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"
#include "site/store/Transaction.h"

using namespace Qt::StringLiterals;

namespace Site {

namespace {

QString kindName(PostAllowance::Kind kind)
{
    return kind == PostAllowance::Kind::Message ? u"message"_s : u"upload"_s;
}

}  // namespace

Result<bool, StoreError> PostAllowance::take(Kind kind, const QHostAddress &address, qint64 nowMs, int count,
                                             qint64 windowMs)
{
    if (count <= 0)
        return true;
    Transaction transaction(m_connection);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    // Two processes counting at once would both see room for one more.
    if (const QString lock = m_connection.dialect().lockPostTimes(); !lock.isEmpty()) {
        if (const auto locked = SqlQuery::run(m_connection.database(), lock); !locked)
            return Failure(locked.error());
    }
    // Posts that left the window count for nobody any more.
    if (const auto dropped = SqlQuery::run(m_connection.database(),
                                           u"DELETE FROM post_times WHERE kind = ? AND at_ms <= ?"_s,
                                           {kindName(kind), nowMs - windowMs});
        !dropped)
        return Failure(dropped.error());
    const auto times = recent(kind, address, nowMs - windowMs);
    if (!times)
        return Failure(times.error());
    const bool taken = times->size() < count;
    if (taken) {
        if (const auto counted = SqlQuery::run(m_connection.database(),
                                               u"INSERT INTO post_times (kind, address, at_ms) VALUES (?, ?, ?)"_s,
                                               {kindName(kind), NetworkAddress::plain(address).toString(), nowMs});
            !counted)
            return Failure(counted.error());
    }
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    return taken;
}

Result<qint64, StoreError> PostAllowance::secondsToWait(Kind kind, const QHostAddress &address, qint64 nowMs, int count,
                                                        qint64 windowMs) const
{
    if (count <= 0)
        return 0;
    const auto times = recent(kind, address, nowMs - windowMs);
    if (!times)
        return Failure(times.error());
    if (times->size() < count)
        return 0;
    // The oldest of the last count posts decides when room comes free.
    const qint64 freedAt = times->at(times->size() - count) + windowMs;
    return (freedAt - nowMs + 999) / 1000;
}

Result<QList<qint64>, StoreError> PostAllowance::recent(Kind kind, const QHostAddress &address, qint64 sinceMs) const
{
    auto query = SqlQuery::run(
        m_connection.database(),
        u"SELECT at_ms FROM post_times WHERE kind = ? AND address = ? AND at_ms > ? ORDER BY at_ms"_s,
        {kindName(kind), NetworkAddress::plain(address).toString(), sinceMs});
    if (!query)
        return Failure(query.error());
    QList<qint64> times;
    while (query->next())
        times.append(query->value(0).toLongLong());
    return times;
}

}  // namespace Site
