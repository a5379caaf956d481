#include "site/store/Moderation.h"

#include "site/store/NetworkAddress.h"
#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"

#include <QDateTime>
#include <QHostAddress>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Site {

Result<void, StoreError> Moderation::block(const SiteBlock &block)
{
    if (const auto done = SqlQuery::run(
            m_connection.database(),
            u"INSERT INTO blocks (network, blocked_at, until) VALUES (?, ?, ?)"
            " ON CONFLICT (network) DO UPDATE SET blocked_at = excluded.blocked_at,"
            " until = excluded.until"_s,
            {block.network, block.blockedAt, block.until.isEmpty() ? QVariant() : QVariant(block.until)});
        !done)
        return Failure(done.error());
    return {};
}

Result<void, StoreError> Moderation::unblock(const QString &network)
{
    const auto removed = SqlQuery::change(m_connection.database(), u"DELETE FROM blocks WHERE network = ?"_s, {network});
    if (!removed)
        return Failure(removed.error());
    if (*removed != 1)
        return Failure(StoreError{u"%1 is not blocked"_s.arg(network)});
    return {};
}

Result<QList<SiteBlock>, StoreError> Moderation::blocks(const QDateTime &now) const
{
    auto query = SqlQuery::run(m_connection.database(),
                               u"SELECT network, blocked_at, COALESCE(until, '') FROM blocks"
                               " WHERE until IS NULL OR until > ? ORDER BY blocked_at, network"_s,
                               {now.toUTC().toString(Qt::ISODate)});
    if (!query)
        return Failure(query.error());
    QList<SiteBlock> result;
    while (query->next())
        result.append({query->value(0).toString(), query->value(1).toString(), query->value(2).toString()});
    return result;
}

Result<bool, StoreError> Moderation::isBlocked(const QHostAddress &address, const QDateTime &now) const
{
    const auto inForce = blocks(now);
    if (!inForce)
        return Failure(inForce.error());
    const QHostAddress plain = NetworkAddress::plain(address);
    return std::any_of(inForce->cbegin(), inForce->cend(), [&](const SiteBlock &block) {
        return plain.isInSubnet(QHostAddress::parseSubnet(block.network));
    });
}

Result<void, StoreError> Moderation::record(const ModerationEntry &entry)
{
    if (const auto done = SqlQuery::run(m_connection.database(),
                                        u"INSERT INTO moderation_log (at, who, action) VALUES (?, ?, ?)"_s,
                                        {entry.at, entry.who, entry.action});
        !done)
        return Failure(done.error());
    return {};
}

Result<QList<ModerationEntry>, StoreError> Moderation::log() const
{
    auto query = SqlQuery::run(m_connection.database(), u"SELECT at, who, action FROM moderation_log ORDER BY id"_s);
    if (!query)
        return Failure(query.error());
    QList<ModerationEntry> result;
    while (query->next())
        result.append({query->value(0).toString(), query->value(1).toString(), query->value(2).toString()});
    return result;
}

}  // namespace Site
