#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

namespace Site {

class StoreConnection;

// A transaction that nests: the outermost begins one, inner ones are savepoints within it, so
// the sample catalogue is added inside the transaction of the schema and a post is checked and
// kept in one. Left without commit(), it undoes everything since it began; the outermost rolls
// back whole, leaving the database untouched.
class Transaction
{
public:
    explicit Transaction(StoreConnection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    Result<void, StoreError> begun() const { return m_begun; }
    Result<void, StoreError> commit();

private:
    StoreConnection &m_connection;
    bool m_outermost;
    bool m_open = false;
    Result<void, StoreError> m_begun;
};

}  // namespace Site
