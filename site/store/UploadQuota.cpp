#include "site/store/UploadQuota.h"

#include "site/store/NetworkAddress.h"
#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"
#include "site/store/Transaction.h"

using namespace Qt::StringLiterals;

namespace Site {

Result<bool, StoreError> UploadQuota::take(const QHostAddress &address, qint64 nowMs, qint64 bytes, qint64 limit)
{
    if (limit <= 0)
        return true;
    Transaction transaction(m_connection);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    // Two processes counting at once would both see room for one more.
    if (const QString lock = m_connection.dialect().lockUploadBytes(); !lock.isEmpty()) {
        if (const auto locked = SqlQuery::run(m_connection.database(), lock); !locked)
            return Failure(locked.error());
    }
    // Uploads that left the day count for nobody any more.
    if (const auto dropped = SqlQuery::run(m_connection.database(), u"DELETE FROM upload_bytes WHERE at_ms <= ?"_s,
                                           {nowMs - DayMs});
        !dropped)
        return Failure(dropped.error());
    const auto before = used(address, nowMs);
    if (!before)
        return Failure(before.error());
    const bool taken = *before + bytes <= limit;
    if (taken) {
        if (const auto counted = SqlQuery::run(m_connection.database(),
                                               u"INSERT INTO upload_bytes (address, at_ms, bytes) VALUES (?, ?, ?)"_s,
                                               {NetworkAddress::plain(address).toString(), nowMs, bytes});
            !counted)
            return Failure(counted.error());
    }
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    return taken;
}

Result<qint64, StoreError> UploadQuota::used(const QHostAddress &address, qint64 nowMs) const
{
    const auto sum = SqlQuery::single(
        m_connection.database(), u"SELECT COALESCE(SUM(bytes), 0) FROM upload_bytes WHERE address = ? AND at_ms > ?"_s,
        {NetworkAddress::plain(address).toString(), nowMs - DayMs});
    if (!sum)
        return Failure(sum.error());
    return sum->toLongLong();
}

Result<qint64, StoreError> UploadQuota::secondsUntilRoom(const QHostAddress &address, qint64 nowMs, qint64 bytes,
                                                         qint64 limit) const
{
    if (limit <= 0)
        return 0;
    auto query = SqlQuery::run(m_connection.database(),
                               u"SELECT at_ms, bytes FROM upload_bytes WHERE address = ? AND at_ms > ? ORDER BY at_ms"_s,
                               {NetworkAddress::plain(address).toString(), nowMs - DayMs});
    if (!query)
        return Failure(query.error());
    QList<std::pair<qint64, qint64>> counted;
    qint64 total = 0;
    while (query->next()) {
        counted.append({query->value(0).toLongLong(), query->value(1).toLongLong()});
        total += counted.last().second;
    }
    // The oldest uploads leave the day first; room comes once enough of them have.
    qint64 freedAt = nowMs;
    for (qsizetype i = 0; i < counted.size() && total + bytes > limit; ++i) {
        total -= counted.at(i).second;
        freedAt = counted.at(i).first + DayMs;
    }
    return (freedAt - nowMs + 999) / 1000;
}

}  // namespace Site
