#include "site/store/SiteStore.h"

#include "site/store/SampleData.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Schema steps, oldest first; PRAGMA user_version counts the steps a database has taken, so
// a later feature appends a step instead of editing one.
const QList<QStringList> &schemaSteps()
{
    static const QList<QStringList> steps = {
        {
            u"CREATE TABLE resources ("
            " id INTEGER PRIMARY KEY,"
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
            " id INTEGER PRIMARY KEY,"
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
            " id INTEGER PRIMARY KEY,"
            " at TEXT NOT NULL,"
            " who TEXT NOT NULL,"
            " action TEXT NOT NULL)"_s,
        },
    };
    return steps;
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

QString searchCondition(SiteStore::SearchField field)
{
    switch (field) {
    case SiteStore::SearchField::Category:
        return u" AND category LIKE ? ESCAPE '\\'"_s;
    case SiteStore::SearchField::Title:
        return u" AND title LIKE ? ESCAPE '\\'"_s;
    case SiteStore::SearchField::Anywhere:
        break;
    }
    return u" AND (title LIKE ? ESCAPE '\\' OR category LIKE ? ESCAPE '\\' OR remark LIKE ? ESCAPE '\\')"_s;
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
    Transaction(const QSqlDatabase &db, int &depth)
        : m_db(db)
        , m_depth(depth)
        , m_outermost(depth == 0)
    {
        QSqlQuery query(m_db);
        m_open = query.exec(m_outermost ? u"BEGIN IMMEDIATE"_s : u"SAVEPOINT inner"_s);
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
            query.exec(u"ROLLBACK TO inner"_s);
            query.exec(u"RELEASE inner"_s);
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
        if (!query.exec(m_outermost ? u"COMMIT"_s : u"RELEASE inner"_s))
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

SiteStore::SiteStore(const QString &dataPath)
    : m_dataDir(dataPath)
    , m_filesDir(dataPath)
    , m_connectionName(u"site-"_s + QString::number(quintptr(this), 16))
{
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
    return QSqlDatabase::database(m_connectionName);
}

Result<void, StoreError> SiteStore::open()
{
    if (!m_dataDir.mkpath(u"."_s))
        return Failure(StoreError{u"cannot create the data folder %1"_s.arg(m_dataDir.path())});
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connectionName);
    db.setDatabaseName(m_dataDir.filePath(DatabaseFileName));
    if (!db.open())
        return failure(db.lastError());
    QSqlQuery(db).exec(u"PRAGMA foreign_keys = ON"_s);
    return migrate();
}

Result<void, StoreError> SiteStore::migrate()
{
    QSqlQuery query(database());
    if (!query.exec(u"PRAGMA user_version"_s) || !query.next())
        return failure(query.lastError());
    const int version = query.value(0).toInt();
    query.finish();
    const int known = int(schemaSteps().size());
    if (version > known) {
        return Failure(StoreError{u"the database was written by a newer quillmere-site (schema %1; this one reads up "
                                  "to %2)"_s.arg(QString::number(version), QString::number(known))});
    }
    // A new database takes every step and its sample catalogue in one transaction; an older
    // one takes each missing step in a transaction with the version that records it, so a
    // start that fails half-way leaves a database the next start can carry on from.
    if (version == 0)
        return runSteps(0, known);
    for (int step = version; step < known; ++step) {
        if (const auto ran = runSteps(step, step + 1); !ran)
            return ran;
    }
    return {};
}

Result<void, StoreError> SiteStore::runSteps(int from, int to)
{
    Transaction transaction(database(), m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return begun;
    QSqlQuery query(database());
    for (int step = from; step < to; ++step) {
        for (const QString &statement : schemaSteps().at(step)) {
            if (!query.exec(statement))
                return failure(query.lastError());
        }
    }
    if (from == 0) {
        if (const auto seeded = SampleData::seed(*this); !seeded)
            return seeded;
    }
    if (!query.exec(u"PRAGMA user_version = %1"_s.arg(to)))
        return failure(query.lastError());
    return transaction.commit();
}

Result<qint64, StoreError> SiteStore::addResource(const SiteResource &resource)
{
    Transaction transaction(database(), m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    QSqlQuery query(database());
    // A null QString binds as NULL.
    if (!query.prepare(u"INSERT INTO resources (catalogue, category, title, remark, collected_at, file_path, address)"
                       " VALUES (?, ?, ?, COALESCE(?, ''), ?, COALESCE(?, ''), COALESCE(?, ''))"_s))
        return failure(query.lastError());
    query.addBindValue(catalogueName(resource.catalogue));
    query.addBindValue(resource.category);
    query.addBindValue(resource.title);
    query.addBindValue(resource.remark);
    query.addBindValue(resource.collectedAt);
    query.addBindValue(resource.filePath);
    query.addBindValue(resource.address);
    if (!query.exec())
        return failure(query.lastError());
    const qint64 id = query.lastInsertId().toLongLong();

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
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    return id;
}

Result<SiteStore::Page, StoreError> SiteStore::findResources(Catalogue catalogue, const QString &keyword,
                                                             SearchField field, qint64 page) const
{
    QString where = u" FROM resources WHERE catalogue = ? AND hidden = 0"_s;
    QVariantList values = {catalogueName(catalogue)};
    if (!keyword.isEmpty()) {
        where += searchCondition(field);
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
    while (query.next()) {
        SiteResource resource = readResource(query);
        if (const auto loaded = loadLinks(resource); !loaded)
            return Failure(loaded.error());
        result.resources.append(resource);
    }
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
    SiteResource resource = readResource(query);
    if (const auto loaded = loadLinks(resource); !loaded)
        return Failure(loaded.error());
    return std::make_optional(std::move(resource));
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
    if (!query.prepare(u"INSERT INTO messages (name, text, posted_at, address) VALUES (?, ?, ?, COALESCE(?, ''))"_s))
        return failure(query.lastError());
    query.addBindValue(message.name);
    query.addBindValue(message.text);
    query.addBindValue(message.postedAt);
    query.addBindValue(message.address);
    if (!query.exec())
        return failure(query.lastError());
    return query.lastInsertId().toLongLong();
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

Result<void, StoreError> SiteStore::loadLinks(SiteResource &resource) const
{
    QSqlQuery query(database());
    if (!query.prepare(u"SELECT label, target FROM resource_links WHERE resource_id = ? ORDER BY position"_s))
        return failure(query.lastError());
    query.addBindValue(resource.id);
    if (!query.exec())
        return failure(query.lastError());
    while (query.next())
        resource.links.append({query.value(0).toString(), query.value(1).toString()});
    return {};
}

Result<void, StoreError> SiteStore::check() const
{
    QSqlQuery query(database());
    if (!query.exec(u"SELECT COUNT(*) FROM resources WHERE id = 0"_s) || !query.next())
        return failure(query.lastError());
    return {};
}

Result<qint64, StoreError> SiteStore::revision() const
{
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
        statement += u" WHERE title LIKE ? ESCAPE '\\' OR category LIKE ? ESCAPE '\\' OR remark LIKE ? ESCAPE '\\'"_s;
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
        statement += u" WHERE name LIKE ? ESCAPE '\\' OR text LIKE ? ESCAPE '\\'"_s;
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
    Transaction transaction(database(), m_transactionDepth);
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
    if (const auto written = write(entry); !written)
        return written;
    return transaction.commit();
}

Result<QStringList, StoreError> SiteStore::removeResources(const QList<qint64> &ids, const ModerationEntry &entry)
{
    Transaction transaction(database(), m_transactionDepth);
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
        if (!query.prepare(u"INSERT OR REPLACE INTO removed_uploads (file_path, removed_at) VALUES (?, ?)"_s))
            return failure(query.lastError());
        query.addBindValue(filePath);
        query.addBindValue(entry.at);
        if (!query.exec())
            return failure(query.lastError());
        files.append(filePath);
    }
    if (const auto written = write(entry); !written)
        return Failure(written.error());
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());

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
    Transaction transaction(database(), m_transactionDepth);
    if (const auto begun = transaction.begun(); !begun)
        return begun;
    QSqlQuery query(database());
    if (!query.prepare(u"INSERT OR REPLACE INTO blocks (network, blocked_at, until) VALUES (?, ?, ?)"_s))
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
    Transaction transaction(database(), m_transactionDepth);
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
    // Reads the database in one transaction, so the copy is whole however the site writes.
    QSqlQuery query(database());
    if (!query.prepare(u"VACUUM INTO ?"_s))
        return failure(query.lastError());
    query.addBindValue(filePath);
    if (!query.exec())
        return failure(query.lastError());
    return {};
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
