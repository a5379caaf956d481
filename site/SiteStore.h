#pragma once

#include "site/SiteMessage.h"
#include "site/SiteResource.h"

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

    bool open();
    QString errorString() const { return m_error; }

    QString uploadFolder() const;
    QString officialFilesFolder() const;

    // Returns the new id, or 0 when the database refused the row.
    qint64 addResource(const SiteResource &resource);

    // An empty keyword matches everything; pages count from 1, a page past the end is empty.
    // Nothing when the database fails, which is not the same as no matches.
    std::optional<Page> findResources(Catalogue catalogue, const QString &keyword, SearchField field,
                                      qint64 page) const;
    std::optional<SiteResource> resource(Catalogue catalogue, qint64 id) const;
    // The categories of a catalogue, in the order they first appeared; nothing when the database fails.
    std::optional<QStringList> categories(Catalogue catalogue) const;

    // Returns the new id, or 0 when the database refused the row.
    qint64 addMessage(const SiteMessage &message);
    // Newest first; pages count from 1. Nothing when the database fails.
    std::optional<MessagePage> findMessages(qint64 page) const;

private:
    QSqlDatabase database() const;
    bool migrate();
    bool loadLinks(SiteResource &resource) const;

    QDir m_dataDir;
    QString m_connectionName;
    QString m_error;
};
