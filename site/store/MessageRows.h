#pragma once

#include "common/Result.h"
#include "site/store/MessagePage.h"
#include "site/store/RowSelection.h"
#include "site/store/SiteMessage.h"
#include "site/store/StoreError.h"

namespace Site {

class StoreConnection;

// The messages of the board, as rows of the store; hidden ones are off the board.
class MessageRows
{
public:
    explicit MessageRows(StoreConnection &connection)
        : m_connection(connection)
    {
    }

    // Returns the new id.
    Result<qint64, StoreError> add(const SiteMessage &message);
    // Newest first; pages count from 1.
    Result<MessagePage, StoreError> find(qint64 page) const;
    // The operator's listing, hidden ones too.
    Result<QList<SiteMessage>, StoreError> select(const RowSelection &selection) const;
    // An id the store does not hold fails.
    Result<void, StoreError> setHidden(const QList<qint64> &ids, bool hidden);

private:
    StoreConnection &m_connection;
};

}  // namespace Site
