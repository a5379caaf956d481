#include "site/store/StoreSchema.h"

#include "site/store/SearchWords.h"
#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"
#include "site/store/Transaction.h"

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// What the public pages count, kept with the rows by the database itself, so that no page
// counts a catalogue or the board row by row: the shown entries of each catalogue and the
// shown messages.
QStringList shownCounts()
{
    QStringList statements = {
        u"CREATE TABLE shown_counts (name TEXT PRIMARY KEY, shown BIGINT NOT NULL)"_s,
        u"INSERT INTO shown_counts (name, shown) SELECT 'official', COUNT(*) FROM resources"
        " WHERE catalogue = 'official' AND hidden = 0"_s,
        u"INSERT INTO shown_counts (name, shown) SELECT 'user', COUNT(*) FROM resources"
        " WHERE catalogue = 'user' AND hidden = 0"_s,
        u"INSERT INTO shown_counts (name, shown) SELECT 'messages', COUNT(*) FROM messages WHERE hidden = 0"_s,
    };
    const QList<std::pair<QString, QString>> tables = {{u"resources"_s, u"catalogue"_s},
                                                       {u"messages"_s, u"'messages'"_s}};
    for (const auto &[table, name] : tables) {
        const QString oldName = QString(name).replace(u"catalogue"_s, u"old.catalogue"_s);
        const QString newName = QString(name).replace(u"catalogue"_s, u"new.catalogue"_s);
        statements += {
            u"{sqlite}CREATE TRIGGER %1_counted_in AFTER INSERT ON %1 WHEN new.hidden = 0 BEGIN"
            " UPDATE shown_counts SET shown = shown + 1 WHERE name = %2; END"_s.arg(table, newName),
            u"{sqlite}CREATE TRIGGER %1_counted_out AFTER DELETE ON %1 WHEN old.hidden = 0 BEGIN"
            " UPDATE shown_counts SET shown = shown - 1 WHERE name = %2; END"_s.arg(table, oldName),
            u"{sqlite}CREATE TRIGGER %1_counted_again AFTER UPDATE ON %1 BEGIN"
            " UPDATE shown_counts SET shown = shown - 1 WHERE old.hidden = 0 AND name = %2;"
            " UPDATE shown_counts SET shown = shown + 1 WHERE new.hidden = 0 AND name = %3; END"_s.arg(table, oldName,
                                                                                                       newName),
            // Once a statement, over the rows it changed: a row trigger would write a new
            // version of its count's row for every row of a large insert.
            u"{postgresql}CREATE FUNCTION quillmere_count_%1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
            " IF TG_OP <> 'INSERT' THEN UPDATE shown_counts SET shown = shown - gone.count"
            "  FROM (SELECT %2 AS name, COUNT(*) AS count FROM old_rows WHERE hidden = 0 GROUP BY 1) AS gone"
            "  WHERE shown_counts.name = gone.name; END IF;"
            " IF TG_OP <> 'DELETE' THEN UPDATE shown_counts SET shown = shown + came.count"
            "  FROM (SELECT %2 AS name, COUNT(*) AS count FROM new_rows WHERE hidden = 0 GROUP BY 1) AS came"
            "  WHERE shown_counts.name = came.name; END IF;"
            " RETURN NULL; END $$"_s.arg(table, name),
            u"{postgresql}CREATE TRIGGER %1_counted_in AFTER INSERT ON %1 REFERENCING NEW TABLE AS new_rows"
            " FOR EACH STATEMENT EXECUTE FUNCTION quillmere_count_%1()"_s.arg(table),
            u"{postgresql}CREATE TRIGGER %1_counted_out AFTER DELETE ON %1 REFERENCING OLD TABLE AS old_rows"
            " FOR EACH STATEMENT EXECUTE FUNCTION quillmere_count_%1()"_s.arg(table),
            u"{postgresql}CREATE TRIGGER %1_counted_again AFTER UPDATE ON %1 REFERENCING OLD TABLE AS old_rows"
            " NEW TABLE AS new_rows FOR EACH STATEMENT EXECUTE FUNCTION quillmere_count_%1()"_s.arg(table),
        };
    }
    return statements;
}

// Schema steps, oldest first, the same on both databases but where marked.
const QList<QStringList> &schemaSteps()
{
    static const QList<QStringList> steps = {
        {
            u"CREATE TABLE resources ("
            " id {id},"
            " catalogue TEXT NOT NULL CHECK (catalogue IN ('official', 'user')),"
            " category TEXT NOT NULL,"
            " title TEXT NOT NULL,"
            " remark TEXT NOT NULL DEFAULT '',"
            " collected_at TEXT NOT NULL,"
            " file_path TEXT NOT NULL DEFAULT '')"_s,
            u"CREATE INDEX resources_by_time ON resources (catalogue, collected_at DESC, id DESC)"_s,
            u"CREATE TABLE resource_links ("
            " resource_id INTEGER NOT NULL REFERENCES resources (id) ON DELETE CASCADE,"
            " position INTEGER NOT NULL,"
            " label TEXT NOT NULL,"
            " target TEXT NOT NULL,"
            " PRIMARY KEY (resource_id, position))"_s,
        },
        {
            u"CREATE TABLE messages ("
            " id {id},"
            " name TEXT NOT NULL,"
            " text TEXT NOT NULL,"
            " posted_at TEXT NOT NULL)"_s,
        },
        {
            u"ALTER TABLE resources ADD COLUMN address TEXT NOT NULL DEFAULT ''"_s,
            u"ALTER TABLE resources ADD COLUMN hidden INTEGER NOT NULL DEFAULT 0"_s,
            u"CREATE INDEX resources_by_file ON resources (file_path) WHERE file_path <> ''"_s,
            u"ALTER TABLE messages ADD COLUMN address TEXT NOT NULL DEFAULT ''"_s,
            u"ALTER TABLE messages ADD COLUMN hidden INTEGER NOT NULL DEFAULT 0"_s,
            u"CREATE TABLE removed_uploads (file_path TEXT PRIMARY KEY, removed_at TEXT NOT NULL)"_s,
            u"CREATE TABLE blocks (network TEXT PRIMARY KEY, blocked_at TEXT NOT NULL, until TEXT)"_s,
            u"CREATE TABLE moderation_log ("
            " id {id},"
            " at TEXT NOT NULL,"
            " who TEXT NOT NULL,"
            " action TEXT NOT NULL)"_s,
        },
        {
            // Posts counted against their address's allowance, kept for one window.
            u"CREATE TABLE post_times (kind TEXT NOT NULL, address TEXT NOT NULL, at_ms BIGINT NOT NULL)"_s,
            u"CREATE INDEX post_times_by_address ON post_times (kind, address, at_ms)"_s,
        },
        // A catalogue of a million entries: pages read from indexes in their order, counts
        // kept with the rows, the categories found by skipping through an index, and keywords
        // through the index of their words.
        QStringList{
            u"DROP INDEX IF EXISTS resources_by_time"_s,
            u"CREATE INDEX resources_shown_by_time ON resources (catalogue, hidden, collected_at DESC, id DESC)"_s,
            u"CREATE INDEX resources_by_category ON resources (catalogue, category, id)"_s,
            u"CREATE INDEX messages_shown ON messages (hidden, id)"_s,
        } + shownCounts()
            + SearchWords::schema(),
        {
            // Each file's SHA-256 in lower-case hex, by its path below the files folder, with
            // the version of the file it was taken of; found by digest too.
            u"CREATE TABLE file_digests (file_path TEXT PRIMARY KEY, sha256 TEXT NOT NULL, version TEXT NOT NULL)"_s,
            u"CREATE INDEX file_digests_by_sha256 ON file_digests (sha256)"_s,
        },
        // Keywords of three characters and more found and counted through words of three.
        SearchWords::runsOfThree(),
        {
            // The bytes each address uploaded, kept for a day.
            u"CREATE TABLE upload_bytes (address TEXT NOT NULL, at_ms BIGINT NOT NULL, bytes BIGINT NOT NULL)"_s,
            u"CREATE INDEX upload_bytes_by_address ON upload_bytes (address, at_ms)"_s,
        },
        {
            // What the last scan of some bytes found, by their SHA-256 in lower-case hex; an
            // empty signature for nothing.
            u"CREATE TABLE file_scans (sha256 TEXT PRIMARY KEY, signature TEXT NOT NULL, scanned_at TEXT NOT NULL)"_s,
            // Uploads kept unpublished, their files in the held folder, until a scan passes them.
            u"CREATE TABLE held_uploads ("
            " id {id},"
            " category TEXT NOT NULL,"
            " title TEXT NOT NULL,"
            " remark TEXT NOT NULL DEFAULT '',"
            " address TEXT NOT NULL DEFAULT '',"
            " file_name TEXT NOT NULL,"
            " held_name TEXT NOT NULL,"
            " sha256 TEXT NOT NULL,"
            " size BIGINT NOT NULL,"
            " held_at TEXT NOT NULL)"_s,
        },
    };
    return steps;
}

}  // namespace

int StoreSchema::version()
{
    return int(schemaSteps().size());
}

Result<void, StoreError> StoreSchema::checkEmpty(StoreConnection &connection)
{
    const auto tables = SqlQuery::single(connection.database(), connection.dialect().countTables());
    if (!tables)
        return Failure(tables.error());
    if (tables->toLongLong() > 0)
        return Failure(StoreError{u"%1 is not empty"_s.arg(connection.location().displayName())});
    return {};
}

Result<void, StoreError> StoreSchema::bringUpToDate(StoreConnection &connection, Start start,
                                                    const std::function<Result<void, StoreError>()> &seed)
{
    const int known = version();
    // A new database takes every step and its sample catalogue in one transaction; an older
    // one takes each missing step in a transaction with the version that records it, so a
    // start that fails half-way leaves a database the next start can carry on from. The
    // version is read inside the transaction, so a second process starting at once on a
    // shared database waits for the first and then finds nothing left to do.
    for (;;) {
        Transaction transaction(connection);
        if (const auto begun = transaction.begun(); !begun)
            return begun;
        if (const QString lock = connection.dialect().lockSchema(); !lock.isEmpty()) {
            if (const auto locked = SqlQuery::run(connection.database(), lock); !locked)
                return Failure(locked.error());
        }
        const auto version = connection.dialect().schemaVersion(connection.database());
        if (!version)
            return Failure(version.error());
        if (*version > known) {
            return Failure(StoreError{u"the database was written by a newer quillmere-site (schema %1; this one "
                                      "reads up to %2)"_s.arg(QString::number(*version), QString::number(known))});
        }
        if (*version == known)
            return {};
        if (*version == 0 && start == Start::Existing)
            return Failure(StoreError{u"no site in %1"_s.arg(connection.location().displayName())});
        const int to = *version == 0 ? known : *version + 1;
        if (const auto ran = runSteps(connection, *version, to, *version == 0 ? seed : nullptr); !ran)
            return ran;
        if (const auto committed = transaction.commit(); !committed)
            return committed;
    }
}

Result<void, StoreError> StoreSchema::make(StoreConnection &connection)
{
    return runSteps(connection, 0, version(), nullptr);
}

// Runs within the caller's transaction, or in one of its own.
Result<void, StoreError> StoreSchema::runSteps(StoreConnection &connection, int from, int to,
                                               const std::function<Result<void, StoreError>()> &seed)
{
    Transaction transaction(connection);
    if (const auto begun = transaction.begun(); !begun)
        return begun;
    for (int step = from; step < to; ++step) {
        for (const QString &statement : schemaSteps().at(step)) {
            const QString adapted = connection.dialect().schema(statement);
            if (adapted.isEmpty())
                continue;
            if (const auto done = SqlQuery::run(connection.database(), adapted); !done)
                return Failure(done.error());
        }
    }
    if (seed) {
        if (const auto seeded = seed(); !seeded)
            return seeded;
    }
    if (const auto set = connection.dialect().setSchemaVersion(connection.database(), to); !set)
        return set;
    return transaction.commit();
}

}  // namespace Site
