#pragma once

#include "common/Result.h"
#include "site/store/SiteMessage.h"
#include "site/store/SiteResource.h"
#include "site/store/StoreError.h"

#include <QDir>
#include <QString>

#include <optional>

class QSqlDatabase;

// The site's SQLite database and the folders of its files, all inside one data folder.
// Opening a fresh folder creates the schema and the sample catalogue.
class SiteStore
{
public:
    static constexpr int PageSize = 10;
    static constexpr int MessagesPerPage = 10;

    enum class SearchField { Category, Title, Anywhere };

    struct Page
    {
        QList<SiteResource> resources;
        qint64 total = 0;  // matches of the whole query, not of this page
    };

    struct MessagePage
    {
        QList<SiteMessage> messages;
        qint64 total = 0;  // messages on the whole board
    };

    explicit SiteStore(const QString &dataPath);
    ~SiteStore();
    SiteStore(const SiteStore &) = delete;
    SiteStore &operator=(const SiteStore &) = delete;

    Result<void, StoreError> open();

    QString uploadFolder() const;
    QString officialFilesFolder() const;

    // Returns the new id.
    Result<qint64, StoreError> addResource(const SiteResource &resource);

    // An empty keyword matches everything; pages count from 1, a page past the end is empty.
    Result<Page, StoreError> findResources(Catalogue catalogue, const QString &keyword, SearchField field,
                                           qint64 page) const;
    // Nothing when the catalogue holds no resource of that id, which is not a failure.
    Result<std::optional<SiteResource>, StoreError> resource(Catalogue catalogue, qint64 id) const;
    // The categories of a catalogue, in the order they first appeared.
    Result<QStringList, StoreError> categories(Catalogue catalogue) const;

    // Returns the new id.
    Result<qint64, StoreError> addMessage(const SiteMessage &message);
    // Newest first; pages count from 1.
    Result<MessagePage, StoreError> findMessages(qint64 page) const;

private:
    QSqlDatabase database() const;
    Result<void, StoreError> migrate();
    Result<void, StoreError> loadLinks(SiteResource &resource) const;

    QDir m_dataDir;
    QString m_connectionName;
};
