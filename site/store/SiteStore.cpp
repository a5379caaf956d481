#include "site/store/SiteStore.h"

#include "site/store/SampleData.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Schema steps, oldest first; PRAGMA user_version counts the steps a database has taken, so
// a later feature (user uploads, the message board) appends a step instead of editing one.
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

SiteResource readResource(const QSqlQuery &query, Catalogue catalogue)
{
    SiteResource resource;
    resource.id = query.value(0).toLongLong();
    resource.catalogue = catalogue;
    resource.category = query.value(1).toString();
    resource.title = query.value(2).toString();
    resource.remark = query.value(3).toString();
    resource.collectedAt = query.value(4).toString();
    resource.filePath = query.value(5).toString();
    return resource;
}

const QString ResourceColumns = u"id, category, title, remark, collected_at, file_path"_s;

Failure<StoreError> failure(const QSqlError &error)
{
    return Failure(StoreError{error.text()});
}

} // namespace

SiteStore::SiteStore(const QString &dataPath)
    : m_dataDir(dataPath)
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
    return m_dataDir.filePath(u"wangyou/up"_s);
}

QString SiteStore::officialFilesFolder() const
{
    return m_dataDir.filePath(u"guanfang/files"_s);
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
    db.setDatabaseName(m_dataDir.filePath(u"site.sqlite"_s));
    if (!db.open())
        return failure(db.lastError());
    QSqlQuery(db).exec(u"PRAGMA foreign_keys = ON"_s);
    return migrate();
}

Result<void, StoreError> SiteStore::migrate()
{
    QSqlDatabase db = database();
    QSqlQuery query(db);
    if (!query.exec(u"PRAGMA user_version"_s) || !query.next())
        return failure(query.lastError());
    const int version = query.value(0).toInt();
    const QList<QStringList> &steps = schemaSteps();
    if (version >= steps.size())
        return {};

    // All steps and the seeding commit together: a start that fails half-way leaves the
    // database as it was, and the next start tries again.
    db.transaction();
    for (int step = version; step < steps.size(); ++step) {
        for (const QString &statement : steps.at(step)) {
            if (!query.exec(statement)) {
                db.rollback();
                return failure(query.lastError());
            }
        }
    }
    if (version == 0) {
        if (const auto seeded = SampleData::seed(*this); !seeded) {
            db.rollback();
            return seeded;
        }
    }
    query.exec(u"PRAGMA user_version = %1"_s.arg(steps.size()));
    if (!db.commit())
        return failure(db.lastError());
    return {};
}

Result<qint64, StoreError> SiteStore::addResource(const SiteResource &resource)
{
    QSqlQuery query(database());
    query.prepare(u"INSERT INTO resources (catalogue, category, title, remark, collected_at, file_path)"
                  " VALUES (?, ?, ?, COALESCE(?, ''), ?, COALESCE(?, ''))"_s);  // a null QString binds as NULL
    query.addBindValue(catalogueName(resource.catalogue));
    query.addBindValue(resource.category);
    query.addBindValue(resource.title);
    query.addBindValue(resource.remark);
    query.addBindValue(resource.collectedAt);
    query.addBindValue(resource.filePath);
    if (!query.exec())
        return failure(query.lastError());
    const qint64 id = query.lastInsertId().toLongLong();

    QSqlQuery link(database());
    link.prepare(u"INSERT INTO resource_links (resource_id, position, label, target) VALUES (?, ?, ?, ?)"_s);
    for (qsizetype position = 0; position < resource.links.size(); ++position) {
        link.addBindValue(id);
        link.addBindValue(position);
        link.addBindValue(resource.links.at(position).label);
        link.addBindValue(resource.links.at(position).target);
        if (!link.exec())
            return failure(link.lastError());
    }
    return id;
}

Result<SiteStore::Page, StoreError> SiteStore::findResources(Catalogue catalogue, const QString &keyword,
                                                             SearchField field, qint64 page) const
{
    QString where = u" FROM resources WHERE catalogue = ?"_s;
    QVariantList values = {catalogueName(catalogue)};
    if (!keyword.isEmpty()) {
        where += searchCondition(field);
        const qsizetype placeholders = field == SearchField::Anywhere ? 3 : 1;
        for (qsizetype i = 0; i < placeholders; ++i)
            values.append(likePattern(keyword));
    }

    Page result;
    QSqlQuery query(database());
    query.prepare(u"SELECT COUNT(*)"_s + where);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        return failure(query.lastError());
    result.total = query.value(0).toLongLong();

    query.prepare(u"SELECT "_s + ResourceColumns + where
                  + u" ORDER BY collected_at DESC, id DESC LIMIT ? OFFSET ?"_s);
    for (const QVariant &value : values)
        query.addBindValue(value);
    query.addBindValue(PageSize);
    query.addBindValue((std::max<qint64>(page, 1) - 1) * PageSize);
    if (!query.exec())
        return failure(query.lastError());
    while (query.next()) {
        SiteResource resource = readResource(query, catalogue);
        if (const auto loaded = loadLinks(resource); !loaded)
            return Failure(loaded.error());
        result.resources.append(resource);
    }
    return result;
}

Result<std::optional<SiteResource>, StoreError> SiteStore::resource(Catalogue catalogue, qint64 id) const
{
    QSqlQuery query(database());
    query.prepare(u"SELECT "_s + ResourceColumns + u" FROM resources WHERE catalogue = ? AND id = ?"_s);
    query.addBindValue(catalogueName(catalogue));
    query.addBindValue(id);
    if (!query.exec())
        return failure(query.lastError());
    if (!query.next())
        return std::optional<SiteResource>();
    SiteResource resource = readResource(query, catalogue);
    if (const auto loaded = loadLinks(resource); !loaded)
        return Failure(loaded.error());
    return std::make_optional(std::move(resource));
}

Result<QStringList, StoreError> SiteStore::categories(Catalogue catalogue) const
{
    QSqlQuery query(database());
    query.prepare(u"SELECT category FROM resources WHERE catalogue = ? GROUP BY category ORDER BY MIN(id)"_s);
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
    query.prepare(u"INSERT INTO messages (name, text, posted_at) VALUES (?, ?, ?)"_s);
    query.addBindValue(message.name);
    query.addBindValue(message.text);
    query.addBindValue(message.postedAt);
    if (!query.exec())
        return failure(query.lastError());
    return query.lastInsertId().toLongLong();
}

Result<SiteStore::MessagePage, StoreError> SiteStore::findMessages(qint64 page) const
{
    MessagePage result;
    QSqlQuery query(database());
    if (!query.exec(u"SELECT COUNT(*) FROM messages"_s) || !query.next())
        return failure(query.lastError());
    result.total = query.value(0).toLongLong();

    // Ids grow with every post, so they order the board more finely than the minutes of posted_at.
    query.prepare(u"SELECT id, name, text, posted_at FROM messages ORDER BY id DESC LIMIT ? OFFSET ?"_s);
    query.addBindValue(MessagesPerPage);
    query.addBindValue((std::max<qint64>(page, 1) - 1) * MessagesPerPage);
    if (!query.exec())
        return failure(query.lastError());
    while (query.next())
        result.messages.append({query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
                                query.value(3).toString()});
    return result;
}

Result<void, StoreError> SiteStore::loadLinks(SiteResource &resource) const
{
    QSqlQuery query(database());
    query.prepare(u"SELECT label, target FROM resource_links WHERE resource_id = ? ORDER BY position"_s);
    query.addBindValue(resource.id);
    if (!query.exec())
        return failure(query.lastError());
    while (query.next())
        resource.links.append({query.value(0).toString(), query.value(1).toString()});
    return {};
}
