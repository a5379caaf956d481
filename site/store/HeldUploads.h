#pragma once

#include "common/Result.h"
#include "site/store/HeldUpload.h"
#include "site/store/StoreError.h"

#include <QList>

namespace Site {

class StoreConnection;

// The uploads held unpublished until a scan passes them, as rows of the store. Changes run in
// the caller's transaction, or alone.
class HeldUploads
{
public:
    explicit HeldUploads(StoreConnection &connection)
        : m_connection(connection)
    {
    }

    // Returns the new id.
    Result<qint64, StoreError> add(const HeldUpload &upload);
    // Oldest first.
    Result<QList<HeldUpload>, StoreError> all() const;
    // Says whether it was still there: two scans at once must not both publish it.
    Result<bool, StoreError> remove(qint64 id);

private:
    StoreConnection &m_connection;
};

}  // namespace Site
