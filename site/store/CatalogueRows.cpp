#include "site/store/CatalogueRows.h"

#include "site/store/CatalogueSearch.h"
#include "site/store/NetworkAddress.h"
#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"
#include "site/store/Transaction.h"

#include <QHash>
#include <QHostAddress>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

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

}  // namespace

QString CatalogueRows::catalogueName(Catalogue catalogue)
{
    return catalogue == Catalogue::Official ? u"official"_s : u"user"_s;
}

Result<QList<SiteResource>, StoreError> CatalogueRows::read(const QString &statement, const QVariantList &values) const
{
    auto query = SqlQuery::run(m_connection.database(), statement, values);
    if (!query)
        return Failure(query.error());
    QList<SiteResource> resources;
    while (query->next())
        resources.append(readResource(*query));
    return resources;
}

Result<qint64, StoreError> CatalogueRows::add(const SiteResource &resource)
{
    Transaction transaction(m_connection);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    // A null QString binds as NULL.
    const auto id = SqlQuery::single(
        m_connection.database(),
        u"INSERT INTO resources (catalogue, category, title, remark, collected_at, file_path, address)"
        " VALUES (?, ?, ?, COALESCE(?, ''), ?, COALESCE(?, ''), COALESCE(?, '')) RETURNING id"_s,
        {catalogueName(resource.catalogue), resource.category, resource.title, resource.remark, resource.collectedAt,
         resource.filePath, resource.address});
    if (!id)
        return Failure(id.error());
    for (qsizetype position = 0; position < resource.links.size(); ++position) {
        const ResourceLink &link = resource.links.at(position);
        if (const auto added = SqlQuery::run(
                m_connection.database(),
                u"INSERT INTO resource_links (resource_id, position, label, target) VALUES (?, ?, ?, ?)"_s,
                {*id, position, link.label, link.target});
            !added)
            return Failure(added.error());
    }
    if (const auto notified = m_connection.notifyCatalogueChanged(); !notified)
        return Failure(notified.error());
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    return id->toLongLong();
}

Result<CataloguePage, StoreError> CatalogueRows::find(Catalogue catalogue, const QString &keyword, SearchField field,
                                                      qint64 page) const
{
    const qint64 offset = (std::max<qint64>(page, 1) - 1) * CataloguePage::Size;
    const auto shown = SqlQuery::single(m_connection.database(), u"SELECT shown FROM shown_counts WHERE name = ?"_s,
                                        {catalogueName(catalogue)});
    if (!shown)
        return Failure(shown.error());

    CataloguePage result;
    result.total = shown->toLongLong();
    CatalogueSearch::Statement rows;
    if (keyword.isEmpty()) {
        // The ids come from the index alone, however deep the page; only the page's rows are read.
        rows = {u"SELECT %1 FROM resources WHERE id IN (SELECT id FROM resources WHERE catalogue = ? AND hidden = 0"
                " ORDER BY collected_at DESC, id DESC LIMIT ? OFFSET ?) ORDER BY collected_at DESC, id DESC"_s.arg(
                    ResourceColumns),
                {catalogueName(catalogue), CataloguePage::Size, offset}};
    } else {
        CatalogueSearch search(m_connection, catalogue, keyword, field);
        if (const auto prepared = search.prepare(); !prepared)
            return Failure(prepared.error());
        const auto total = search.count();
        if (!total)
            return Failure(total.error());
        result.total = *total;
        rows = search.page(ResourceColumns, offset, *total, shown->toLongLong());
    }
    if (offset >= result.total)
        return result;
    auto resources = read(rows.text, rows.values);
    if (!resources)
        return Failure(resources.error());
    result.resources = std::move(resources).value();
    if (const auto loaded = loadLinks(result.resources); !loaded)
        return Failure(loaded.error());
    return result;
}

Result<std::optional<SiteResource>, StoreError> CatalogueRows::resource(Catalogue catalogue, qint64 id) const
{
    auto found = read(u"SELECT "_s + ResourceColumns + u" FROM resources WHERE catalogue = ? AND id = ? AND hidden = 0"_s,
                      {catalogueName(catalogue), id});
    if (!found)
        return Failure(found.error());
    if (found->isEmpty())
        return std::optional<SiteResource>();
    if (const auto loaded = loadLinks(*found); !loaded)
        return Failure(loaded.error());
    return std::make_optional(std::move(found->first()));
}

Result<QStringList, StoreError> CatalogueRows::categories(Catalogue catalogue) const
{
    // Skips from one category to the next through the index, so a catalogue of a million
    // entries in ten categories costs some twenty lookups, not a million rows.
    const QString name = catalogueName(catalogue);
    auto query = SqlQuery::run(
        m_connection.database(),
        u"WITH RECURSIVE found (category) AS ("
        " SELECT MIN(category) FROM resources WHERE catalogue = ?"
        " UNION ALL SELECT (SELECT MIN(category) FROM resources WHERE catalogue = ? AND category > found.category)"
        " FROM found WHERE found.category IS NOT NULL)"
        " SELECT category FROM found WHERE category IS NOT NULL"
        " ORDER BY (SELECT MIN(id) FROM resources WHERE catalogue = ? AND category = found.category)"_s,
        {name, name, name});
    if (!query)
        return Failure(query.error());
    QStringList result;
    while (query->next())
        result.append(query->value(0).toString());
    return result;
}

// All in one query: each is a round trip to a PostgreSQL server, or three for a prepared one.
Result<void, StoreError> CatalogueRows::loadLinks(QList<SiteResource> &resources) const
{
    if (resources.isEmpty())
        return {};
    QHash<qint64, SiteResource *> byId;
    QVariantList ids;
    for (SiteResource &resource : resources) {
        byId.insert(resource.id, &resource);
        ids.append(resource.id);
    }
    const QStringList placeholders(resources.size(), u"?"_s);
    auto query = SqlQuery::run(m_connection.database(),
                               u"SELECT resource_id, label, target FROM resource_links WHERE resource_id IN (%1)"
                               " ORDER BY resource_id, position"_s.arg(placeholders.join(u", "_s)),
                               ids);
    if (!query)
        return Failure(query.error());
    while (query->next())
        byId.value(query->value(0).toLongLong())->links.append({query->value(1).toString(), query->value(2).toString()});
    return {};
}

Result<CatalogueRows::UploadState, StoreError> CatalogueRows::uploadState(const QString &relativePath) const
{
    // "<> ''" lets the database take the index of files, which holds no row without one.
    auto listed = SqlQuery::run(m_connection.database(),
                                u"SELECT hidden FROM resources WHERE file_path = ? AND file_path <> ''"
                                " AND catalogue = 'user'"_s,
                                {relativePath});
    if (!listed)
        return Failure(listed.error());
    if (listed->next())
        return listed->value(0).toBool() ? UploadState::Hidden : UploadState::Listed;
    auto removed = SqlQuery::run(m_connection.database(), u"SELECT 1 FROM removed_uploads WHERE file_path = ?"_s,
                                 {relativePath});
    if (!removed)
        return Failure(removed.error());
    return removed->next() ? UploadState::Removed : UploadState::Unknown;
}

Result<bool, StoreError> CatalogueRows::isOfficialFileLinked(const QString &relativePath) const
{
    static const QString Folder = u"guanfang/files/"_s;
    auto links = SqlQuery::run(m_connection.database(),
                               u"SELECT l.target FROM resource_links l JOIN resources r ON r.id = l.resource_id"
                               " WHERE r.catalogue = 'official' AND r.hidden = 0 AND l.target LIKE 'guanfang/files/%'"_s);
    if (!links)
        return Failure(links.error());
    // Compared decoded, as the request's path is.
    while (links->next()) {
        if (QUrl(links->value(0).toString()).path(QUrl::FullyDecoded) == Folder + relativePath)
            return true;
    }
    return false;
}

Result<QList<SiteResource>, StoreError> CatalogueRows::select(const RowSelection &selection) const
{
    QString statement = u"SELECT "_s + ResourceColumns + u" FROM resources"_s;
    QVariantList values;
    if (!selection.word.isEmpty()) {
        statement += u" WHERE "_s + m_connection.dialect().matchAny({u"title"_s, u"category"_s, u"remark"_s});
        values = QVariantList(3, SqlDialect::likePattern(selection.word));
    }
    auto query = SqlQuery::run(m_connection.database(), statement + u" ORDER BY id DESC"_s, values);
    if (!query)
        return Failure(query.error());
    const auto network = QHostAddress::parseSubnet(selection.network);
    QList<SiteResource> result;
    while (query->next() && (selection.recent <= 0 || result.size() < selection.recent)) {
        SiteResource resource = readResource(*query);
        if (selection.network.isEmpty() || NetworkAddress::inNetwork(resource.address, network))
            result.append(resource);
    }
    return result;
}

Result<void, StoreError> CatalogueRows::setHidden(const QList<qint64> &ids, bool hidden)
{
    for (const qint64 id : ids) {
        const auto changed = SqlQuery::change(m_connection.database(),
                                              u"UPDATE resources SET hidden = ? WHERE id = ?"_s, {hidden ? 1 : 0, id});
        if (!changed)
            return Failure(changed.error());
        if (*changed != 1)
            return Failure(StoreError{u"there is no resource %1"_s.arg(id)});
    }
    return {};
}

Result<QStringList, StoreError> CatalogueRows::remove(const QList<qint64> &ids, const QString &at)
{
    QStringList files;
    for (const qint64 id : ids) {
        auto found = SqlQuery::run(m_connection.database(),
                                   u"SELECT catalogue, file_path FROM resources WHERE id = ?"_s, {id});
        if (!found)
            return Failure(found.error());
        if (!found->next())
            return Failure(StoreError{u"there is no resource %1"_s.arg(id)});
        // Official resources link to files other resources may share; only uploads own theirs.
        const QString filePath = found->value(0).toString() == u"user"_s ? found->value(1).toString() : QString();
        found->finish();
        if (const auto removed = SqlQuery::run(m_connection.database(), u"DELETE FROM resources WHERE id = ?"_s, {id});
            !removed)
            return Failure(removed.error());
        if (filePath.isEmpty())
            continue;
        if (const auto recorded = SqlQuery::run(m_connection.database(),
                                                u"INSERT INTO removed_uploads (file_path, removed_at) VALUES (?, ?)"
                                                " ON CONFLICT (file_path) DO UPDATE SET removed_at = excluded.removed_at"_s,
                                                {filePath, at});
            !recorded)
            return Failure(recorded.error());
        files.append(filePath);
    }
    return files;
}

}  // namespace Site
