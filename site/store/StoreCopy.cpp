#include "site/store/StoreCopy.h"

#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"
#include "site/store/StoreSchema.h"
#include "site/store/Transaction.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// The tables a copy of the store carries, with their columns, parents before children. The
// times of counted posts stay behind: they are over within minutes. Uploaded bytes count for a day.
struct CopiedTable
{
    QString name;
    QString columns;
    bool hasIds;
};

const QList<CopiedTable> CopiedTables = {
    {u"resources"_s, u"id, catalogue, category, title, remark, collected_at, file_path, address, hidden"_s, true},
    {u"resource_links"_s, u"resource_id, position, label, target"_s, false},
    {u"messages"_s, u"id, name, text, posted_at, address, hidden"_s, true},
    {u"removed_uploads"_s, u"file_path, removed_at"_s, false},
    {u"blocks"_s, u"network, blocked_at, until"_s, false},
    {u"moderation_log"_s, u"id, at, who, action"_s, true},
    {u"file_digests"_s, u"file_path, sha256, version"_s, false},
    {u"upload_bytes"_s, u"address, at_ms, bytes"_s, false},
    {u"file_scans"_s, u"sha256, signature, scanned_at"_s, false},
    {u"held_uploads"_s, u"id, category, title, remark, address, file_name, held_name, sha256, size, held_at"_s, true},
};

}  // namespace

Result<void, StoreError> StoreCopy::toFile(const StoreConnection &source, const QString &filePath)
{
    if (source.dialect().isPostgres())
        return Failure(StoreError{u"a PostgreSQL store is backed up with pg_dump, which takes a consistent copy too"_s});
    // Reads the database in one transaction, so the copy is whole however the site writes.
    if (const auto copied = SqlQuery::run(source.database(), u"VACUUM INTO ?"_s, {filePath}); !copied)
        return Failure(copied.error());
    return {};
}

Result<qint64, StoreError> StoreCopy::into(const StoreConnection &source, StoreConnection &target)
{
    Transaction transaction(target);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    if (const auto made = StoreSchema::make(target); !made)
        return Failure(made.error());
    qint64 copied = 0;
    for (const CopiedTable &table : CopiedTables) {
        const qsizetype columns = table.columns.count(u',') + 1;
        const QStringList placeholders(columns, u"?"_s);
        auto read = SqlQuery::run(source.database(), u"SELECT %1 FROM %2"_s.arg(table.columns, table.name));
        if (!read)
            return Failure(read.error());
        auto write = SqlQuery::prepare(
            target.database(),
            u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table.name, table.columns, placeholders.join(u", "_s)));
        if (!write)
            return Failure(write.error());
        while (read->next()) {
            QVariantList values;
            for (int column = 0; column < columns; ++column)
                values.append(read->value(column));
            if (const auto written = SqlQuery::runPrepared(*write, values); !written)
                return Failure(written.error());
            ++copied;
        }
        if (const QString reset = target.dialect().resetIds(table.name); table.hasIds && !reset.isEmpty()) {
            if (const auto done = SqlQuery::run(target.database(), reset); !done)
                return Failure(done.error());
        }
    }
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    return copied;
}

}  // namespace Site
