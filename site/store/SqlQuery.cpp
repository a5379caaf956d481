#include "site/store/SqlQuery.h"

#include <QSqlDatabase>
#include <QSqlError>

using namespace Qt::StringLiterals;

namespace Site {

Result<QSqlQuery, StoreError> SqlQuery::run(const QSqlDatabase &db, const QString &statement, const QVariantList &values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // A statement without values is sent as it is: preparing one costs PostgreSQL two more round trips.
    if (values.isEmpty()) {
        if (!query.exec(statement))
            return Failure(StoreError{query.lastError().text()});
        return query;
    }
    auto prepared = prepare(db, statement);
    if (!prepared)
        return prepared;
    if (const auto ran = runPrepared(*prepared, values); !ran)
        return Failure(ran.error());
    return prepared;
}

Result<QSqlQuery, StoreError> SqlQuery::prepare(const QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        return Failure(StoreError{query.lastError().text()});
    return query;
}

Result<void, StoreError> SqlQuery::runPrepared(QSqlQuery &query, const QVariantList &values)
{
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return Failure(StoreError{query.lastError().text()});
    return {};
}

Result<QVariant, StoreError> SqlQuery::single(const QSqlDatabase &db, const QString &statement, const QVariantList &values)
{
    auto query = run(db, statement, values);
    if (!query)
        return Failure(query.error());
    if (!query->next()) {
        const QString reason = query->lastError().text();
        return Failure(StoreError{reason.trimmed().isEmpty() ? u"no answer to: "_s + statement : reason});
    }
    return query->value(0);
}

Result<int, StoreError> SqlQuery::change(const QSqlDatabase &db, const QString &statement, const QVariantList &values)
{
    const auto query = run(db, statement, values);
    if (!query)
        return Failure(query.error());
    return query->numRowsAffected();
}

}  // namespace Site
