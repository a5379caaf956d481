#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

class QSqlDatabase;

namespace Site {

// Prepares a statement on a connection, binds its values in order and runs it; a failure at
// any of those steps comes back in the database's own words. Rows are read forward only, so
// a large result is never held whole.
class SqlQuery
{
public:
    // The query, positioned before its first row.
    static Result<QSqlQuery, StoreError> run(const QSqlDatabase &db, const QString &statement,
                                             const QVariantList &values = {});
    // The first column of the first row; a statement that gives no row fails.
    static Result<QVariant, StoreError> single(const QSqlDatabase &db, const QString &statement,
                                               const QVariantList &values = {});
    // A statement prepared once to be run with many sets of values, as a copy of many rows is.
    static Result<QSqlQuery, StoreError> prepare(const QSqlDatabase &db, const QString &statement);
    static Result<void, StoreError> runPrepared(QSqlQuery &query, const QVariantList &values);
    // How many rows the statement changed.
    static Result<int, StoreError> change(const QSqlDatabase &db, const QString &statement,
                                          const QVariantList &values = {});
};

}  // namespace Site
