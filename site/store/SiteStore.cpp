#include "site/store/SiteStore.h"

#include "site/store/SampleData.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Schema steps, oldest first, the same on both databases; the schema version counts the steps
// a database has taken, so a later feature appends a step instead of editing one.
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
        {
            // Each file's SHA-256 in lower-case hex, by its path below the files folder, with
            // the version of the file it was taken of; found by digest too.
            u"CREATE TABLE file_digests (file_path TEXT PRIMARY KEY, sha256 TEXT NOT NULL, version TEXT NOT NULL)"_s,
            u"CREATE INDEX file_digests_by_sha256 ON file_digests (sha256)"_s,
        },
    };
    return steps;
}

// The tables a copy of the store carries, with their columns, parents before children. The
// times of counted posts stay behind: they are over within minutes.
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
};

QString postKindName(SiteStore::PostKind kind)
{
    return kind == SiteStore::PostKind::Message ? u"message"_s : u"upload"_s;
}

QString catalogueName(Catalogue catalogue)
{
    return catalogue == Catalogue::Official ? u"official"_s : u"user"_s;
}

// LIKE would read % and _ in a keyword as wildcards; escaped, they match themselves.
QString likePattern(const QString &keyword)
{
    QString escaped = keyword;
    escaped.replace(u'\\', u"\\\\"_s).replace(u'%', u"\\%"_s).replace(u'_', u"\\_"_s);
    return u'%' + escaped + u'%';
}

// Each column matched with the dialect's LIKE, any of them enough.
QString matchAny(const QStringList &columns, const SqlDialect &dialect)
{
    QStringList conditions;
    for (const QString &column : columns)
        conditions.append(column + u' ' + dialect.like() + u" ? ESCAPE '\\'"_s);
    return u'(' + conditions.join(u" OR "_s) + u')';
}

QStringList searchedColumns(SiteStore::SearchField field)
{
    switch (field) {
    case SiteStore::SearchField::Category:
        return {u"category"_s};
    case SiteStore::SearchField::Title:
        return {u"title"_s};
    case SiteStore::SearchField::Anywhere:
        break;
    }
    return {u"title"_s, u"category"_s, u"remark"_s};
}

const QString ResourceColumns = u"id, catalogue, category, title, remark, collected_at, file_path, address, hidden"_s;

SiteResource readResource(const QSqlQuery &query)
{
    SiteResource resource;
    resource.id = query.value(0).toLongLong();
    resource.catalogue = query.value(1).toString() == u"official"_s ? Catalogue::Official : Catalogue::User;
    resource.category = query.value(2).toString();
    resource.title = query.value(3).toString();
    resource.remark = query.value(4).toString();
    resource.collectedAt = query.value(5).toString();
    resource.filePath = query.value(6).toString();
    resource.address = query.value(7).toString();
    resource.hidden = query.value(8).toBool();
    return resource;
}

const QString MessageColumns = u"id, name, text, posted_at, address, hidden"_s;

SiteMessage readMessage(const QSqlQuery &query)
{
    return {query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
            query.value(3).toString(), query.value(4).toString(), query.value(5).toBool()};
}

Failure<StoreError> failure(const QSqlError &error)
{
    return Failure(StoreError{error.text()});
}

// A transaction that nests: the outermost begins one, inner ones are savepoints within it, so
// the sample catalogue is added inside the transaction of the schema. Left without commit(), it
// undoes everything since it began; the outermost rolls back whole, leaving the file untouched.
class Transaction
{
public:
    Transaction(const QSqlDatabase &db, const SqlDialect &dialect, int &depth)
        : m_db(db)
        , m_depth(depth)
        , m_outermost(depth == 0)
    {
        QSqlQuery query(m_db);
        m_open = query.exec(m_outermost ? dialect.begin() : u"SAVEPOINT nested"_s);
        if (m_open)
            ++m_depth;
        else
            m_error = query.lastError();
    }
    ~Transaction()
    {
        if (!m_open)
            return;
        QSqlQuery query(m_db);
        if (m_outermost) {
            query.exec(u"ROLLBACK"_s);
        } else {
            query.exec(u"ROLLBACK TO nested"_s);
            query.exec(u"RELEASE nested"_s);
        }
        --m_depth;
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    Result<void, StoreError> begun() const
    {
        if (!m_open)
            return failure(m_error);
        return {};
    }
    Result<void, StoreError> commit()
    {
        QSqlQuery query(m_db);
        if (!query.exec(m_outermost ? u"COMMIT"_s : u"RELEASE nested"_s))
            return failure(query.lastError());
        m_open = false;
        --m_depth;
        return {};
    }

private:
    QSqlDatabase m_db;
    int &m_depth;
    bool m_outermost;
    bool m_open = false;
    QSqlError m_error;
};

bool inNetwork(const QString &address, const std::pair<QHostAddress, int> &network)
{
    return SiteStore::plainAddress(QHostAddress(address)).isInSubnet(network);
}

} // namespace

const QString SiteStore::DatabaseFileName = u"site.sqlite"_s;

SiteStore::SiteStore(const QString &dataPath, QObject *parent)
    : SiteStore(dataPath, StoreLocation::sqliteFile(QDir(dataPath).filePath(DatabaseFileName)), parent)
{
}

SiteStore::SiteStore(const QString &dataPath, const StoreLocation &location, QObject *parent)
    : QObject(parent)
    , m_dataDir(dataPath)
    , m_location(location)
    , m_dialect(location.kind())
    , m_filesDir(dataPath)
    , m_connectionName(u"site-"_s + QString::number(quintptr(this), 16))
{
    m_heartbeat.setInterval(2000);
    m_reconnect.setSingleShot(true);
    connect(&m_heartbeat, &QTimer::timeout, this, &SiteStore::beat);
    connect(&m_reconnect, &QTimer::timeout, this, &SiteStore::reconnect);
}

SiteStore::~SiteStore()
{
    if (QSqlDatabase::contains(m_connectionName)) {
        database().close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

QString SiteStore::uploadFolder() const
{
    return m_filesDir.filePath(u"wangyou/up"_s);
}

QString SiteStore::officialFilesFolder() const
{
    return m_filesDir.filePath(u"guanfang/files"_s);
}

QSqlDatabase SiteStore::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

Result<void, StoreError> SiteStore::open(Opening opening)
{
    if (!m_dataDir.mkpath(u"."_s))
        return Failure(StoreError{u"cannot create the data folder %1"_s.arg(m_dataDir.path())});
    // Opening an SQLite file that is not there would make one.
    if (opening == Opening::Existing && m_location.kind() == StoreLocation::Kind::Sqlite
        && !QFileInfo::exists(m_location.sqlitePath()))
        return Failure(StoreError{u"no site in %1"_s.arg(m_location.displayName())});
    if (!QSqlDatabase::isDriverAvailable(m_location.driverName()))
        return Failure(StoreError{u"Qt's %1 driver is not installed (Debian: libqt6sql6-%2)"_s.arg(
            m_location.driverName(), m_location.kind() == StoreLocation::Kind::Sqlite ? u"sqlite"_s : u"psql"_s)});
    QSqlDatabase db = QSqlDatabase::addDatabase(m_location.driverName(), m_connectionName);
    m_location.configure(db);
    if (!db.open())
        return failure(db.lastError());
    QSqlQuery(db).exec(m_dialect.setup());
    if (const auto migrated = migrate(opening); !migrated)
        return migrated;
    if (m_dialect.isPostgres()) {
        listen();
        m_heartbeat.start();
    }
    return {};
}

Result<void, StoreError> SiteStore::migrate(Opening opening)
{
    const int known = int(schemaSteps().size());
    if (opening == Opening::Empty) {
        QSqlQuery query(database());
        if (!query.exec(m_dialect.countTables()) || !query.next())
            return failure(query.lastError());
        if (query.value(0).toLongLong() > 0)
            return Failure(StoreError{u"%1 is not empty"_s.arg(m_location.displayName())});
        return {};
    }
    // A new database takes every step and its sample catalogue in one transaction; an older
    // one takes each missing step in a transaction with the version that records it, so a
    // start that fails half-way leaves a database the next start can carry on from. The
    // version is read inside the transaction, so a second process starting at once on a
    // shared database waits for the first and then finds nothing left to do.
    for (;;) {
        Transaction transaction(database(), m_dialect, m_transactionDepth);
        if (const auto begun = transaction.begun(); !begun)
            return begun;
        if (const QString lock = m_dialect.lockSchema(); !lock.isEmpty()) {
            if (QSqlQuery query(database()); !query.exec(lock))
                return failure(query.lastError());
        }
        const auto version = m_dialect.schemaVersion(database());
        if (!version)
            return Failure(version.error());
        if (*version > known) {
            return Failure(StoreError{u"the database was written by a newer quillmere-site (schema %1; this one "
                                      "reads up to %2)"_s.arg(QString::number(*version), QString::number(known))});
        }
        if (*version == known)
            return {};
        if (*version == 0 && opening == Opening::Existing)
            return Failure(StoreError{u"no site in %1"_s.arg(m_location.displayName())});
        const int to = *version == 0 ? known : *version + 1;
        if (const auto ran = runSteps(*version, to, *version == 0); !ran)
            return ran;
        if (const auto committed = transaction.commit(); !committed)
            return committed;
    }
}

// Runs within the caller's transaction, or in one of its own.
Result<void, StoreError> SiteStore::runSteps(int from, int to, bool seed)
{
    Transaction transaction(database(), m_dialect, m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return begun;
    QSqlQuery query(database());
    for (int step = from; step < to; ++step) {
        for (const QString &statement : schemaSteps().at(step)) {
            if (!query.exec(m_dialect.schema(statement)))
                return failure(query.lastError());
        }
    }
    if (seed) {
        if (const auto seeded = SampleData::seed(*this); !seeded)
            return seeded;
    }
    if (const auto set = m_dialect.setSchemaVersion(database(), to); !set)
        return set;
    return transaction.commit();
}

Result<void, StoreError> SiteStore::notifyCatalogueChanged()
{
    const QString statement = m_dialect.notifyCatalogueChanged();
    if (QSqlQuery query(database()); !statement.isEmpty() && !query.exec(statement))
        return failure(query.lastError());
    return {};
}

void SiteStore::listen()
{
    QSqlDriver *driver = database().driver();
    disconnect(driver, &QSqlDriver::notification, this, nullptr);
    connect(driver, &QSqlDriver::notification, this,
            [this](const QString &, QSqlDriver::NotificationSource source, const QVariant &) {
                // This store's own changes were announced when they were committed.
                if (source == QSqlDriver::SelfSource)
                    return;
                ++m_changesSeen;
                emit catalogueChanged();
            });
    if (!driver->subscribeToNotification(SqlDialect::CatalogueChannel))
        qWarning("cannot listen for the other processes' changes: %s", qPrintable(driver->lastError().text()));
}

void SiteStore::beat()
{
    // Qt closes a connection the server dropped; libpq tells why on standard error only.
    QString reason = u"the database closed the connection"_s;
    if (database().isOpen()) {
        const auto checked = check();
        if (checked)
            return;
        if (!checked.error().text.trimmed().isEmpty())
            reason = checked.error().text;
    }
    m_heartbeat.stop();
    database().close();
    ++m_changesSeen;
    qWarning().noquote() << u"lost the database %1 (%2); connecting again"_s.arg(m_location.displayName(), reason);
    emit connectionLost(reason);
    m_reconnect.setInterval(250);
    m_reconnect.start();
}

void SiteStore::reconnect()
{
    QSqlDatabase db = database();
    if (!db.open()) {
        m_reconnect.setInterval(std::min(m_reconnect.interval() * 2, 30'000));
        m_reconnect.start();
        return;
    }
    QSqlQuery(db).exec(m_dialect.setup());
    qInfo().noquote() << u"connected to the database %1 again"_s.arg(m_location.displayName());
    listen();
    m_heartbeat.start();
    // Whatever changed while nobody listened is unknown.
    ++m_changesSeen;
    emit catalogueChanged();
}

Result<qint64, StoreError> SiteStore::addResource(const SiteResource &resource)
{
    Transaction transaction(database(), m_dialect, m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    QSqlQuery query(database());
    // A null QString binds as NULL.
    if (!query.prepare(u"INSERT INTO resources (catalogue, category, title, remark, collected_at, file_path, address)"
                       " VALUES (?, ?, ?, COALESCE(?, ''), ?, COALESCE(?, ''), COALESCE(?, '')) RETURNING id"_s))
        return failure(query.lastError());
    query.addBindValue(catalogueName(resource.catalogue));
    query.addBindValue(resource.category);
    query.addBindValue(resource.title);
    query.addBindValue(resource.remark);
    query.addBindValue(resource.collectedAt);
    query.addBindValue(resource.filePath);
    query.addBindValue(resource.address);
    if (!query.exec() || !query.next())
        return failure(query.lastError());
    const qint64 id = query.value(0).toLongLong();
    query.finish();

    QSqlQuery link(database());
    if (!link.prepare(u"INSERT INTO resource_links (resource_id, position, label, target) VALUES (?, ?, ?, ?)"_s))
        return failure(link.lastError());
    for (qsizetype position = 0; position < resource.links.size(); ++position) {
        link.addBindValue(id);
        link.addBindValue(position);
        link.addBindValue(resource.links.at(position).label);
        link.addBindValue(resource.links.at(position).target);
        if (!link.exec())
            return failure(link.lastError());
    }
    if (const auto notified = notifyCatalogueChanged(); !notified)
        return Failure(notified.error());
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    emit catalogueChanged();
    return id;
}

Result<SiteStore::Page, StoreError> SiteStore::findResources(Catalogue catalogue, const QString &keyword,
                                                             SearchField field, qint64 page) const
{
    QString where = u" FROM resources WHERE catalogue = ? AND hidden = 0"_s;
    QVariantList values = {catalogueName(catalogue)};
    if (!keyword.isEmpty()) {
        where += u" AND "_s + matchAny(searchedColumns(field), m_dialect);
        const qsizetype placeholders = field == SearchField::Anywhere ? 3 : 1;
        for (qsizetype i = 0; i < placeholders; ++i)
            values.append(likePattern(keyword));
    }

    Page result;
    QSqlQuery query(database());
    if (!query.prepare(u"SELECT COUNT(*)"_s + where))
        return failure(query.lastError());
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        return failure(query.lastError());
    result.total = query.value(0).toLongLong();

    if (!query.prepare(u"SELECT "_s + ResourceColumns + where
                       + u" ORDER BY collected_at DESC, id DESC LIMIT ? OFFSET ?"_s))
        return failure(query.lastError());
    for (const QVariant &value : values)
        query.addBindValue(value);
    query.addBindValue(PageSize);
    query.addBindValue((std::max<qint64>(page, 1) - 1) * PageSize);
    if (!query.exec())
        return failure(query.lastError());
    while (query.next())
        result.resources.append(readResource(query));
    if (const auto loaded = loadLinks(result.resources); !loaded)
        return Failure(loaded.error());
    return result;
}

Result<std::optional<SiteResource>, StoreError> SiteStore::resource(Catalogue catalogue, qint64 id) const
{
    QSqlQuery query(database());
    if (!query.prepare(u"SELECT "_s + ResourceColumns + u" FROM resources WHERE catalogue = ? AND id = ? AND hidden = 0"_s))
        return failure(query.lastError());
    query.addBindValue(catalogueName(catalogue));
    query.addBindValue(id);
    if (!query.exec())
        return failure(query.lastError());
    if (!query.next())
        return std::optional<SiteResource>();
    QList<SiteResource> found = {readResource(query)};
    if (const auto loaded = loadLinks(found); !loaded)
        return Failure(loaded.error());
    return std::make_optional(std::move(found.first()));
}

// Hidden resources count: the categories are the catalogue's shape, not its content.
Result<QStringList, StoreError> SiteStore::categories(Catalogue catalogue) const
{
    QSqlQuery query(database());
    if (!query.prepare(u"SELECT category FROM resources WHERE catalogue = ? GROUP BY category ORDER BY MIN(id)"_s))
        return failure(query.lastError());
    query.addBindValue(catalogueName(catalogue));
    if (!query.exec())
        return failure(query.lastError());
    QStringList result;
    while (query.next())
        result.append(query.value(0).toString());
    return result;
}

Result<qint64, StoreError> SiteStore::addMessage(const SiteMessage &message)
{
    QSqlQuery query(database());
    if (!query.prepare(u"INSERT INTO messages (name, text, posted_at, address) VALUES (?, ?, ?, COALESCE(?, ''))"
                       " RETURNING id"_s))
        return failure(query.lastError());
    query.addBindValue(message.name);
    query.addBindValue(message.text);
    query.addBindValue(message.postedAt);
    query.addBindValue(message.address);
    if (!query.exec() || !query.next())
        return failure(query.lastError());
    return query.value(0).toLongLong();
}

Result<SiteStore::MessagePage, StoreError> SiteStore::findMessages(qint64 page) const
{
    MessagePage result;
    QSqlQuery query(database());
    if (!query.exec(u"SELECT COUNT(*) FROM messages WHERE hidden = 0"_s) || !query.next())
        return failure(query.lastError());
    result.total = query.value(0).toLongLong();

    // Ids grow with every post, so they order the board more finely than the minutes of posted_at.
    if (!query.prepare(u"SELECT "_s + MessageColumns + u" FROM messages WHERE hidden = 0 ORDER BY id DESC LIMIT ? OFFSET ?"_s))
        return failure(query.lastError());
    query.addBindValue(MessagesPerPage);
    query.addBindValue((std::max<qint64>(page, 1) - 1) * MessagesPerPage);
    if (!query.exec())
        return failure(query.lastError());
    while (query.next())
        result.messages.append(readMessage(query));
    return result;
}

// All in one query: each is a round trip to a PostgreSQL server, or three for a prepared one.
Result<void, StoreError> SiteStore::loadLinks(QList<SiteResource> &resources) const
{
    if (resources.isEmpty())
        return {};
    QHash<qint64, SiteResource *> byId;
    for (SiteResource &resource : resources)
        byId.insert(resource.id, &resource);
    const QStringList placeholders(resources.size(), u"?"_s);
    QSqlQuery query(database());
    if (!query.prepare(u"SELECT resource_id, label, target FROM resource_links WHERE resource_id IN (%1)"
                       " ORDER BY resource_id, position"_s.arg(placeholders.join(u", "_s))))
        return failure(query.lastError());
    for (const SiteResource &resource : std::as_const(resources))
        query.addBindValue(resource.id);
    if (!query.exec())
        return failure(query.lastError());
    while (query.next())
        byId.value(query.value(0).toLongLong())->links.append({query.value(1).toString(), query.value(2).toString()});
    return {};
}

Result<void, StoreError> SiteStore::check() const
{
    if (!database().isOpen())
        return Failure(StoreError{u"no connection to the database %1 (connecting again)"_s.arg(m_location.displayName())});
    QSqlQuery query(database());
    if (!query.exec(u"SELECT COUNT(*) FROM resources WHERE id = 0"_s) || !query.next())
        return failure(query.lastError());
    return {};
}

Result<qint64, StoreError> SiteStore::revision() const
{
    // Counted as the news comes, so asking costs no round trip; a cache kept while the
    // database is away goes on answering.
    if (m_dialect.isPostgres())
        return m_changesSeen;
    // Changes when another connection commits, never for this connection's own writes.
    QSqlQuery query(database());
    if (!query.exec(u"PRAGMA data_version"_s) || !query.next())
        return failure(query.lastError());
    return query.value(0).toLongLong();
}

Result<SiteStore::UploadState, StoreError> SiteStore::uploadState(const QString &relativePath) const
{
    QSqlQuery query(database());
    if (!query.prepare(u"SELECT hidden FROM resources WHERE file_path = ? AND catalogue = 'user'"_s))
        return failure(query.lastError());
    query.addBindValue(relativePath);
    if (!query.exec())
        return failure(query.lastError());
    if (query.next())
        return query.value(0).toBool() ? UploadState::Hidden : UploadState::Listed;
    if (!query.prepare(u"SELECT 1 FROM removed_uploads WHERE file_path = ?"_s))
        return failure(query.lastError());
    query.addBindValue(relativePath);
    if (!query.exec())
        return failure(query.lastError());
    return query.next() ? UploadState::Removed : UploadState::Unknown;
}

// A file replaced under the same name has another size or time, and so another version.
QString SiteStore::fileVersion(const QString &filePath) const
{
    const QFileInfo file(m_filesDir.filePath(filePath));
    return u"%1 %2"_s.arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
}

Result<std::optional<QByteArray>, StoreError> SiteStore::fileDigest(const QString &filePath) const
{
    QSqlQuery query(database());
    if (!query.prepare(u"SELECT sha256 FROM file_digests WHERE file_path = ? AND version = ?"_s))
        return failure(query.lastError());
    query.addBindValue(filePath);
    query.addBindValue(fileVersion(filePath));
    if (!query.exec())
        return failure(query.lastError());
    if (!query.next())
        return std::optional<QByteArray>();
    return std::optional<QByteArray>(QByteArray::fromHex(query.value(0).toString().toLatin1()));
}

Result<void, StoreError> SiteStore::setFileDigest(const QString &filePath, const QByteArray &sha256)
{
    QSqlQuery query(database());
    if (!query.prepare(u"INSERT INTO file_digests (file_path, sha256, version) VALUES (?, ?, ?)"
                       " ON CONFLICT (file_path) DO UPDATE SET sha256 = excluded.sha256, version = excluded.version"_s))
        return failure(query.lastError());
    query.addBindValue(filePath);
    query.addBindValue(QString::fromLatin1(sha256.toHex()));
    query.addBindValue(fileVersion(filePath));
    if (!query.exec())
        return failure(query.lastError());
    return {};
}

Result<bool, StoreError> SiteStore::isBlocked(const QHostAddress &address, const QDateTime &now) const
{
    const auto inForce = blocks(now);
    if (!inForce)
        return Failure(inForce.error());
    const QHostAddress plain = plainAddress(address);
    return std::any_of(inForce->cbegin(), inForce->cend(), [&](const SiteBlock &block) {
        return plain.isInSubnet(QHostAddress::parseSubnet(block.network));
    });
}

Result<QList<SiteResource>, StoreError> SiteStore::selectResources(const Selection &selection) const
{
    QSqlQuery query(database());
    QString statement = u"SELECT "_s + ResourceColumns + u" FROM resources"_s;
    if (!selection.word.isEmpty())
        statement += u" WHERE "_s + matchAny({u"title"_s, u"category"_s, u"remark"_s}, m_dialect);
    if (!query.prepare(statement + u" ORDER BY id DESC"_s))
        return failure(query.lastError());
    for (int i = 0; i < 3 && !selection.word.isEmpty(); ++i)
        query.addBindValue(likePattern(selection.word));
    if (!query.exec())
        return failure(query.lastError());
    const auto network = QHostAddress::parseSubnet(selection.network);
    QList<SiteResource> result;
    while (query.next() && (selection.recent <= 0 || result.size() < selection.recent)) {
        SiteResource resource = readResource(query);
        if (selection.network.isEmpty() || inNetwork(resource.address, network))
            result.append(resource);
    }
    return result;
}

Result<QList<SiteMessage>, StoreError> SiteStore::selectMessages(const Selection &selection) const
{
    QSqlQuery query(database());
    QString statement = u"SELECT "_s + MessageColumns + u" FROM messages"_s;
    if (!selection.word.isEmpty())
        statement += u" WHERE "_s + matchAny({u"name"_s, u"text"_s}, m_dialect);
    if (!query.prepare(statement + u" ORDER BY id DESC"_s))
        return failure(query.lastError());
    for (int i = 0; i < 2 && !selection.word.isEmpty(); ++i)
        query.addBindValue(likePattern(selection.word));
    if (!query.exec())
        return failure(query.lastError());
    const auto network = QHostAddress::parseSubnet(selection.network);
    QList<SiteMessage> result;
    while (query.next() && (selection.recent <= 0 || result.size() < selection.recent)) {
        SiteMessage message = readMessage(query);
        if (selection.network.isEmpty() || inNetwork(message.address, network))
            result.append(message);
    }
    return result;
}

Result<void, StoreError> SiteStore::setResourcesHidden(const QList<qint64> &ids, bool hidden,
                                                       const ModerationEntry &entry)
{
    return setHidden(u"resource"_s, ids, hidden, entry);
}

Result<void, StoreError> SiteStore::setMessagesHidden(const QList<qint64> &ids, bool hidden,
                                                      const ModerationEntry &entry)
{
    return setHidden(u"message"_s, ids, hidden, entry);
}

Result<void, StoreError> SiteStore::setHidden(const QString &kind, const QList<qint64> &ids, bool hidden,
                                              const ModerationEntry &entry)
{
    Transaction transaction(database(), m_dialect, m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return begun;
    QSqlQuery query(database());
    if (!query.prepare(u"UPDATE %1s SET hidden = ? WHERE id = ?"_s.arg(kind)))
        return failure(query.lastError());
    for (const qint64 id : ids) {
        query.addBindValue(hidden ? 1 : 0);
        query.addBindValue(id);
        if (!query.exec())
            return failure(query.lastError());
        if (query.numRowsAffected() != 1)
            return Failure(StoreError{u"there is no %1 %2"_s.arg(kind, QString::number(id))});
    }
    // Hidden messages change no catalogue.
    if (kind == u"resource"_s) {
        if (const auto notified = notifyCatalogueChanged(); !notified)
            return notified;
    }
    if (const auto written = write(entry); !written)
        return written;
    if (const auto committed = transaction.commit(); !committed)
        return committed;
    if (kind == u"resource"_s)
        emit catalogueChanged();
    return {};
}

Result<QStringList, StoreError> SiteStore::removeResources(const QList<qint64> &ids, const ModerationEntry &entry)
{
    Transaction transaction(database(), m_dialect, m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    QStringList files;
    QSqlQuery query(database());
    for (const qint64 id : ids) {
        if (!query.prepare(u"SELECT catalogue, file_path FROM resources WHERE id = ?"_s))
            return failure(query.lastError());
        query.addBindValue(id);
        if (!query.exec())
            return failure(query.lastError());
        if (!query.next())
            return Failure(StoreError{u"there is no resource %1"_s.arg(id)});
        // Official resources link to files other resources may share; only uploads own theirs.
        const QString filePath = query.value(0).toString() == u"user"_s ? query.value(1).toString() : QString();
        query.finish();
        if (!query.prepare(u"DELETE FROM resources WHERE id = ?"_s))
            return failure(query.lastError());
        query.addBindValue(id);
        if (!query.exec())
            return failure(query.lastError());
        if (filePath.isEmpty())
            continue;
        if (!query.prepare(u"INSERT INTO removed_uploads (file_path, removed_at) VALUES (?, ?)"
                           " ON CONFLICT (file_path) DO UPDATE SET removed_at = excluded.removed_at"_s))
            return failure(query.lastError());
        query.addBindValue(filePath);
        query.addBindValue(entry.at);
        if (!query.exec())
            return failure(query.lastError());
        files.append(filePath);
    }
    if (const auto notified = notifyCatalogueChanged(); !notified)
        return Failure(notified.error());
    if (const auto written = write(entry); !written)
        return Failure(written.error());
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    emit catalogueChanged();

    // Only once the records are gone: a file deleted before a failed commit would leave a
    // listed resource without one.
    const QDir uploads(uploadFolder());
    QStringList kept;
    for (const QString &file : std::as_const(files)) {
        if (!QFile::remove(uploads.filePath(file)) && QFileInfo::exists(uploads.filePath(file)))
            kept.append(uploads.filePath(file));
    }
    return kept;
}

Result<void, StoreError> SiteStore::block(const SiteBlock &block, const ModerationEntry &entry)
{
    Transaction transaction(database(), m_dialect, m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return begun;
    QSqlQuery query(database());
    if (!query.prepare(u"INSERT INTO blocks (network, blocked_at, until) VALUES (?, ?, ?) ON CONFLICT (network)"
                       " DO UPDATE SET blocked_at = excluded.blocked_at, until = excluded.until"_s))
        return failure(query.lastError());
    query.addBindValue(block.network);
    query.addBindValue(block.blockedAt);
    query.addBindValue(block.until.isEmpty() ? QVariant() : QVariant(block.until));
    if (!query.exec())
        return failure(query.lastError());
    if (const auto written = write(entry); !written)
        return written;
    return transaction.commit();
}

Result<void, StoreError> SiteStore::unblock(const QString &network, const ModerationEntry &entry)
{
    Transaction transaction(database(), m_dialect, m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return begun;
    QSqlQuery query(database());
    if (!query.prepare(u"DELETE FROM blocks WHERE network = ?"_s))
        return failure(query.lastError());
    query.addBindValue(network);
    if (!query.exec())
        return failure(query.lastError());
    if (query.numRowsAffected() != 1)
        return Failure(StoreError{u"%1 is not blocked"_s.arg(network)});
    if (const auto written = write(entry); !written)
        return written;
    return transaction.commit();
}

Result<QList<SiteBlock>, StoreError> SiteStore::blocks(const QDateTime &now) const
{
    QSqlQuery query(database());
    if (!query.prepare(u"SELECT network, blocked_at, COALESCE(until, '') FROM blocks"
                       " WHERE until IS NULL OR until > ? ORDER BY blocked_at, network"_s))
        return failure(query.lastError());
    query.addBindValue(now.toUTC().toString(Qt::ISODate));
    if (!query.exec())
        return failure(query.lastError());
    QList<SiteBlock> result;
    while (query.next())
        result.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString()});
    return result;
}

Result<void, StoreError> SiteStore::record(const ModerationEntry &entry)
{
    return write(entry);
}

Result<void, StoreError> SiteStore::write(const ModerationEntry &entry)
{
    QSqlQuery query(database());
    if (!query.prepare(u"INSERT INTO moderation_log (at, who, action) VALUES (?, ?, ?)"_s))
        return failure(query.lastError());
    query.addBindValue(entry.at);
    query.addBindValue(entry.who);
    query.addBindValue(entry.action);
    if (!query.exec())
        return failure(query.lastError());
    return {};
}

Result<QList<ModerationEntry>, StoreError> SiteStore::moderationLog() const
{
    QSqlQuery query(database());
    if (!query.exec(u"SELECT at, who, action FROM moderation_log ORDER BY id"_s))
        return failure(query.lastError());
    QList<ModerationEntry> result;
    while (query.next())
        result.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString()});
    return result;
}

Result<void, StoreError> SiteStore::copyDatabaseTo(const QString &filePath) const
{
    if (m_dialect.isPostgres())
        return Failure(StoreError{u"a PostgreSQL store is backed up with pg_dump, which takes a consistent copy too"_s});
    // Reads the database in one transaction, so the copy is whole however the site writes.
    QSqlQuery query(database());
    if (!query.prepare(u"VACUUM INTO ?"_s))
        return failure(query.lastError());
    query.addBindValue(filePath);
    if (!query.exec())
        return failure(query.lastError());
    return {};
}

Result<qint64, StoreError> SiteStore::copyInto(SiteStore &target) const
{
    Transaction transaction(target.database(), target.m_dialect, target.m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    if (const auto made = target.runSteps(0, int(schemaSteps().size()), false); !made)
        return Failure(made.error());
    qint64 copied = 0;
    QSqlQuery read(database());
    QSqlQuery write(target.database());
    for (const CopiedTable &table : CopiedTables) {
        const qsizetype columns = table.columns.count(u',') + 1;
        QStringList placeholders(columns, u"?"_s);
        if (!read.exec(u"SELECT %1 FROM %2"_s.arg(table.columns, table.name)))
            return failure(read.lastError());
        if (!write.prepare(u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table.name, table.columns, placeholders.join(u", "_s))))
            return failure(write.lastError());
        while (read.next()) {
            for (int column = 0; column < columns; ++column)
                write.addBindValue(read.value(column));
            if (!write.exec())
                return failure(write.lastError());
            ++copied;
        }
        if (const QString reset = target.m_dialect.resetIds(table.name); table.hasIds && !reset.isEmpty()) {
            if (!write.exec(reset))
                return failure(write.lastError());
        }
    }
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    return copied;
}

Result<bool, StoreError> SiteStore::takePost(PostKind kind, const QHostAddress &address, qint64 nowMs, int count,
                                             qint64 windowMs)
{
    if (count <= 0)
        return true;
    Transaction transaction(database(), m_dialect, m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    QSqlQuery query(database());
    // Two processes counting at once would both see room for one more.
    if (const QString lock = m_dialect.lockPostTimes(); !lock.isEmpty() && !query.exec(lock))
        return failure(query.lastError());
    // Posts that left the window count for nobody any more.
    if (!query.prepare(u"DELETE FROM post_times WHERE kind = ? AND at_ms <= ?"_s))
        return failure(query.lastError());
    query.addBindValue(postKindName(kind));
    query.addBindValue(nowMs - windowMs);
    if (!query.exec())
        return failure(query.lastError());
    const auto recent = recentPosts(kind, address, nowMs - windowMs);
    if (!recent)
        return Failure(recent.error());
    const bool taken = recent->size() < count;
    if (taken) {
        if (!query.prepare(u"INSERT INTO post_times (kind, address, at_ms) VALUES (?, ?, ?)"_s))
            return failure(query.lastError());
        query.addBindValue(postKindName(kind));
        query.addBindValue(plainAddress(address).toString());
        query.addBindValue(nowMs);
        if (!query.exec())
            return failure(query.lastError());
    }
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    return taken;
}

Result<qint64, StoreError> SiteStore::secondsToWait(PostKind kind, const QHostAddress &address, qint64 nowMs,
                                                    int count, qint64 windowMs) const
{
    if (count <= 0)
        return 0;
    const auto recent = recentPosts(kind, address, nowMs - windowMs);
    if (!recent)
        return Failure(recent.error());
    if (recent->size() < count)
        return 0;
    // The oldest of the last count posts decides when room comes free.
    const qint64 freedAt = recent->at(recent->size() - count) + windowMs;
    return (freedAt - nowMs + 999) / 1000;
}

Result<QList<qint64>, StoreError> SiteStore::recentPosts(PostKind kind, const QHostAddress &address,
                                                         qint64 sinceMs) const
{
    QSqlQuery query(database());
    if (!query.prepare(u"SELECT at_ms FROM post_times WHERE kind = ? AND address = ? AND at_ms > ? ORDER BY at_ms"_s))
        return failure(query.lastError());
    query.addBindValue(postKindName(kind));
    query.addBindValue(plainAddress(address).toString());
    query.addBindValue(sinceMs);
    if (!query.exec())
        return failure(query.lastError());
    QList<qint64> times;
    while (query.next())
        times.append(query.value(0).toLongLong());
    return times;
}

std::optional<QString> SiteStore::normalNetwork(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QString addressPart = trimmed.section(u'/', 0, 0);
    // Qt would read "10.1" as 10.0.0.1 and "10/8" as a network; an operator means neither.
    if (!addressPart.contains(u':') && addressPart.count(u'.') != 3)
        return std::nullopt;
    if (!trimmed.contains(u'/')) {
        const QHostAddress address = plainAddress(QHostAddress(trimmed));
        if (address.isNull())
            return std::nullopt;
        const int bits = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
        return address.toString() + u'/' + QString::number(bits);
    }
    const auto [network, prefix] = QHostAddress::parseSubnet(trimmed);
    if (network.isNull() || prefix < 0)
        return std::nullopt;
    return network.toString() + u'/' + QString::number(prefix);
}

QHostAddress SiteStore::plainAddress(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 ipv4 = address.protocol() == QAbstractSocket::IPv6Protocol ? address.toIPv4Address(&mapped) : 0;
    return mapped ? QHostAddress(ipv4) : address;
}
