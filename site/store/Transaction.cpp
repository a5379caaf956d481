#include "site/store/Transaction.h"

#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"

using namespace Qt::StringLiterals;

namespace Site {

Transaction::Transaction(StoreConnection &connection)
    : m_connection(connection)
    , m_outermost(connection.transactionDepth() == 0)
{
    const auto begun = SqlQuery::run(connection.database(),
                                     m_outermost ? connection.dialect().begin() : u"SAVEPOINT nested"_s);
    if (!begun) {
        m_begun = Failure(begun.error());
        return;
    }
    m_open = true;
    ++m_connection.transactionDepth();
}

Transaction::~Transaction()
{
    if (!m_open)
        return;
    // Whoever left without commit() has its own failure to report; a failed rollback ends with the connection.
    if (m_outermost) {
        std::ignore = SqlQuery::run(m_connection.database(), u"ROLLBACK"_s);
    } else {
        std::ignore = SqlQuery::run(m_connection.database(), u"ROLLBACK TO nested"_s);
        std::ignore = SqlQuery::run(m_connection.database(), u"RELEASE nested"_s);
    }
    --m_connection.transactionDepth();
}

Result<void, StoreError> Transaction::commit()
{
    if (const auto committed = SqlQuery::run(m_connection.database(), m_outermost ? u"COMMIT"_s : u"RELEASE nested"_s);
        !committed)
        return Failure(committed.error());
    m_open = false;
    --m_connection.transactionDepth();
    return {};
}

}  // namespace Site
