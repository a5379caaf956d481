#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"
#include "site/store/StoreLocation.h"

#include <QString>
#include <QStringList>

class QSqlDatabase;

namespace Site {

// What SQLite and PostgreSQL say differently, kept in one place; the store's other SQL is
// written once for both. Times are text in both ("2024-03-15T21:07:42Z" sorts as it reads), or
// whole milliseconds where a window of seconds is counted.
class SqlDialect
{
public:
    explicit SqlDialect(StoreLocation::Kind kind)
        : m_kind(kind)
    {
    }

    bool isPostgres() const { return m_kind == StoreLocation::Kind::Postgres; }

    // A schema statement for this database: "{id}" is a column of ids the database hands out,
    // a copied row may bring its own. A statement that starts with "{sqlite}" or "{postgresql}"
    // is for that database only; for the other it is empty.
    QString schema(const QString &statement) const;
    // The operator that matches a pattern with '\' as its escape, ignoring the case of letters
    // (SQLite's LIKE does so for ASCII letters only).
    QString like() const;
    // Each column matched against a likePattern, any of them enough.
    QString matchAny(const QStringList &columns) const;
    // The pattern of a keyword anywhere in a text: % and _ in it match themselves, not as wildcards.
    static QString likePattern(const QString &keyword);
    // Starts the outermost transaction, holding the write lock from the start on SQLite so a
    // transaction that reads first never fails for a writer that came between.
    QString begin() const;
    // Run once a connection is open.
    QStringList setup() const;

    // Holds other processes off a schema change until this transaction ends; empty when begin() does.
    QString lockSchema() const;
    // Holds other processes' counting of posts off until this transaction ends; empty when begin() does.
    QString lockPostTimes() const;
    // The same for the counting of uploaded bytes.
    QString lockUploadBytes() const;
    Result<int, StoreError> schemaVersion(const QSqlDatabase &db) const;
    // Within the transaction of the step it records.
    Result<void, StoreError> setSchemaVersion(const QSqlDatabase &db, int version) const;
    // Counts the tables of the database, whoever made them.
    QString countTables() const;
    // Sets a table's next id past the ids copied into it; empty where the next id follows the rows.
    QString resetIds(const QString &table) const;

    // Tells the other processes, at commit, that the catalogue changed; empty where nobody listens.
    QString notifyCatalogueChanged() const;
    static const QString CatalogueChannel;

private:
    StoreLocation::Kind m_kind;
};

}  // namespace Site
