#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

#include <QStringList>

#include <functional>

namespace Site {

class StoreConnection;

// The schema of the site's database and the steps that bring an older one up to date. The
// version counts the steps a database has taken, so a later feature appends a step instead of
// editing one; each is taken in one transaction with the version that records it.
class StoreSchema
{
public:
    // The version this site writes: the number of its steps.
    static int version();

    enum class Start {
        Any,       // a database without tables gets the schema and the sample catalogue
        Existing,  // a database without the schema is refused
    };

    // Takes the steps a database lacks; seed, when the schema is made whole, adds the sample
    // catalogue within the same transaction. A database written by a newer site is refused.
    static Result<void, StoreError> bringUpToDate(StoreConnection &connection, Start start,
                                                  const std::function<Result<void, StoreError>()> &seed);
    // Makes every step on a database without tables, in the caller's transaction.
    static Result<void, StoreError> make(StoreConnection &connection);
    // Fails unless the database holds no tables at all.
    static Result<void, StoreError> checkEmpty(StoreConnection &connection);

private:
    static Result<void, StoreError> runSteps(StoreConnection &connection, int from, int to,
                                             const std::function<Result<void, StoreError>()> &seed);
};

}  // namespace Site
