#pragma once

#include "common/Result.h"
#include "site/store/ModerationEntry.h"
#include "site/store/SiteBlock.h"
#include "site/store/StoreError.h"

#include <QList>

class QDateTime;
class QHostAddress;

namespace Site {

class StoreConnection;

// The operator's blocks of addresses and networks, and the log of what the operator did.
// Changes run in the caller's transaction, or alone.
class Moderation
{
public:
    explicit Moderation(StoreConnection &connection)
        : m_connection(connection)
    {
    }

    // Blocks a network given as "address/prefix" (see NetworkAddress), replacing its earlier block.
    Result<void, StoreError> block(const SiteBlock &block);
    // Fails when the network is not blocked.
    Result<void, StoreError> unblock(const QString &network);
    // Blocks still in force at that time.
    Result<QList<SiteBlock>, StoreError> blocks(const QDateTime &now) const;
    // True when posts from the address are refused at that time.
    Result<bool, StoreError> isBlocked(const QHostAddress &address, const QDateTime &now) const;

    Result<void, StoreError> record(const ModerationEntry &entry);
    // Oldest first.
    Result<QList<ModerationEntry>, StoreError> log() const;

private:
    StoreConnection &m_connection;
};

}  // namespace Site
