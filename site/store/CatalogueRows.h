#pragma once

#include "common/Result.h"
#include "site/store/CataloguePage.h"
#include "site/store/RowSelection.h"
#include "site/store/SearchField.h"
#include "site/store/SiteResource.h"
#include "site/store/StoreError.h"

#include <QStringList>

#include <optional>

namespace Site {

class StoreConnection;

// The resources of both catalogues and their links, as rows of the store. Entries the
// operator hid stay out of everything the public sees. Changes run in the caller's
// transaction, or alone.
class CatalogueRows
{
public:
    // What the upload folder's file at a path is to the catalogue.
    enum class UploadState { Listed, Hidden, Removed, Unknown };

    explicit CatalogueRows(StoreConnection &connection)
        : m_connection(connection)
    {
    }

    // Returns the new id.
    Result<qint64, StoreError> add(const SiteResource &resource);
    // An empty keyword matches everything; pages count from 1, a page past the end is empty.
    Result<CataloguePage, StoreError> find(Catalogue catalogue, const QString &keyword, SearchField field,
                                           qint64 page) const;
    // Nothing when the catalogue holds no shown resource of that id, which is not a failure.
    Result<std::optional<SiteResource>, StoreError> resource(Catalogue catalogue, qint64 id) const;
    // The categories of a catalogue, in the order they first appeared. Hidden resources count:
    // the categories are the catalogue's shape, not its content.
    Result<QStringList, StoreError> categories(Catalogue catalogue) const;
    Result<UploadState, StoreError> uploadState(const QString &relativePath) const;
    // Whether a shown resource of the official catalogue links the file at this path below the
    // official files folder, as the site's own links are written ("guanfang/files/<path>",
    // maybe with a query).
    Result<bool, StoreError> isOfficialFileLinked(const QString &relativePath) const;

    // The operator's side.
    Result<QList<SiteResource>, StoreError> select(const RowSelection &selection) const;
    // An id the store does not hold fails.
    Result<void, StoreError> setHidden(const QList<qint64> &ids, bool hidden);
    // Removes the resources for good and remembers their uploads as removed at that time;
    // returns the uploads' files, below the upload folder.
    Result<QStringList, StoreError> remove(const QList<qint64> &ids, const QString &at);

    static QString catalogueName(Catalogue catalogue);

private:
    Result<QList<SiteResource>, StoreError> read(const QString &statement, const QVariantList &values) const;
    Result<void, StoreError> loadLinks(QList<SiteResource> &resources) const;

    StoreConnection &m_connection;
};

}  // namespace Site
