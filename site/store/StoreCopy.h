#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

namespace Site {

class StoreConnection;

// Whole copies of the store: a file of an SQLite database, or every record into another database.
class StoreCopy
{
public:
    // Writes a consistent copy of an SQLite database to a new file while the site may be writing.
    static Result<void, StoreError> toFile(const StoreConnection &source, const QString &filePath);
    // Gives a database without tables the schema and every record of the source, ids and times
    // kept, in one transaction, so a failed copy leaves it empty. The index of words and the
    // counts come with the rows. Returns how many rows were copied.
    static Result<qint64, StoreError> into(const StoreConnection &source, StoreConnection &target);
};

}  // namespace Site
