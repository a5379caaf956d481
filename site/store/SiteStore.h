#pragma once

#include "common/Result.h"
#include "site/store/ModerationEntry.h"
#include "site/store/SiteBlock.h"
#include "site/store/SiteMessage.h"
#include "site/store/SiteResource.h"
#include "site/store/SqlDialect.h"
#include "site/store/StoreError.h"
#include "site/store/StoreLocation.h"

#include <QDir>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class QDateTime;
class QHostAddress;
class QSqlDatabase;

// The site's database and the folders of its files. The database is an SQLite file in the
// data folder unless a PostgreSQL database is given, which several site processes can share.
// Opening a fresh store creates the schema and the sample catalogue; an older database is
// brought up to date, a newer one refused. Entries the operator hid stay out of everything
// the public sees.
class SiteStore : public QObject
{
    Q_OBJECT

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

    // Which entries the operator's listing shows: hidden ones too, newest first.
    struct Selection
    {
        qint64 recent = 0;   // at most this many; 0 for all
        QString network{};   // from this address or network only ("203.0.113.0/24"); empty for any
        QString word{};      // with this in a title, remark, category, name or text; empty for any
    };

    // What the upload folder's file at a path is to the catalogue.
    enum class UploadState { Listed, Hidden, Removed, Unknown };

    enum class Opening {
        Site,      // a new store is made and seeded, an older one brought up to date
        Existing,  // only a store that holds a site, so a mistyped address never becomes a new one
        Empty,     // only a database without tables, left so for copyInto to fill
    };

    // What is counted against an address's allowance.
    enum class PostKind { Message, Upload };

    static const QString DatabaseFileName;

    // The database is the data folder's SQLite file.
    explicit SiteStore(const QString &dataPath, QObject *parent = nullptr);
    SiteStore(const QString &dataPath, const StoreLocation &location, QObject *parent = nullptr);
    ~SiteStore() override;

    Result<void, StoreError> open(Opening opening = Opening::Site);
    const StoreLocation &location() const { return m_location; }
    // How often a shared database is asked whether it still answers; a silent connection
    // would also miss the other processes' changes.
    void setHeartbeatInterval(int ms) { m_heartbeat.setInterval(ms); }

    // The folder holding the uploaded and the official files, which several site processes
    // may share; the data folder unless set otherwise.
    void setFilesFolder(const QString &path) { m_filesDir.setPath(path); }
    QString filesFolder() const { return m_filesDir.path(); }
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

    // Fails when the store cannot be read.
    Result<void, StoreError> check() const;
    // A number that changes when another process changes the catalogue (on SQLite, anything in
    // the store), so a cache of pages knows when to forget them; on a shared database also when
    // the connection was lost, as changes may have gone unseen meanwhile.
    Result<qint64, StoreError> revision() const;

    // Counts a post of an address at nowMs (milliseconds since the epoch, the clock all
    // processes share) when fewer than count were counted within the window before it, and
    // says whether it was; a count of 0 sets no limit. Processes sharing the database share
    // the allowance.
    Result<bool, StoreError> takePost(PostKind kind, const QHostAddress &address, qint64 nowMs, int count,
                                      qint64 windowMs);
    // Whole seconds until the address may post again under the same limit; 0 when it may now.
    Result<qint64, StoreError> secondsToWait(PostKind kind, const QHostAddress &address, qint64 nowMs, int count,
                                             qint64 windowMs) const;

    Result<UploadState, StoreError> uploadState(const QString &relativePath) const;
    // The SHA-256 (32 bytes) kept for the file at filePath below the files folder, as it is on
    // disk now; nothing when none was taken of it since it last changed.
    Result<std::optional<QByteArray>, StoreError> fileDigest(const QString &filePath) const;
    // Keeps the SHA-256 of the file at filePath as it is on disk now.
    Result<void, StoreError> setFileDigest(const QString &filePath, const QByteArray &sha256);
    // True when posts from the address are refused at that time.
    Result<bool, StoreError> isBlocked(const QHostAddress &address, const QDateTime &now) const;

    // The operator's side. Each change is written with its entry in the moderation log, and
    // an id the store does not hold fails the whole change.
    Result<QList<SiteResource>, StoreError> selectResources(const Selection &selection) const;
    Result<QList<SiteMessage>, StoreError> selectMessages(const Selection &selection) const;
    Result<void, StoreError> setResourcesHidden(const QList<qint64> &ids, bool hidden, const ModerationEntry &entry);
    Result<void, StoreError> setMessagesHidden(const QList<qint64> &ids, bool hidden, const ModerationEntry &entry);
    // Removes the resources and their files for good; returns the files that could not be
    // deleted, which nobody is served any more.
    Result<QStringList, StoreError> removeResources(const QList<qint64> &ids, const ModerationEntry &entry);
    // Blocks a network given as "address/prefix" (see normalNetwork), replacing its earlier block.
    Result<void, StoreError> block(const SiteBlock &block, const ModerationEntry &entry);
    Result<void, StoreError> unblock(const QString &network, const ModerationEntry &entry);
    // Blocks still in force at that time.
    Result<QList<SiteBlock>, StoreError> blocks(const QDateTime &now) const;
    Result<void, StoreError> record(const ModerationEntry &entry);
    // Oldest first.
    Result<QList<ModerationEntry>, StoreError> moderationLog() const;

    // Writes a consistent copy of an SQLite database to a new file while the site may be writing.
    Result<void, StoreError> copyDatabaseTo(const QString &filePath) const;
    // Gives a store opened Empty the schema and every record of this one, ids and times kept, in
    // one transaction, so a failed copy leaves it empty. Returns how many rows were copied.
    Result<qint64, StoreError> copyInto(SiteStore &target) const;

    // "203.0.113.7" or "203.0.113.0/24" (IPv6 too) as "network/prefix" with the host bits
    // cleared; nothing for anything else.
    static std::optional<QString> normalNetwork(const QString &text);
    // An IPv4 client reached over an IPv6 socket is the IPv4 address it stands for.
    static QHostAddress plainAddress(const QHostAddress &address);

signals:
    // The catalogue changed, through this store or, on a shared database, another process.
    void catalogueChanged();
    // The shared database stopped answering: changes may go unseen until the store is back,
    // which it tries by itself, waiting longer after each failure.
    void connectionLost(const QString &reason);

private:
    QSqlDatabase database() const;
    Result<void, StoreError> migrate(Opening opening);
    Result<void, StoreError> runSteps(int from, int to, bool seed);
    Result<void, StoreError> notifyCatalogueChanged();
    void listen();
    void beat();
    void reconnect();
    Result<void, StoreError> loadLinks(QList<SiteResource> &resources) const;
    // The times of an address's counted posts after sinceMs, oldest first.
    Result<QList<qint64>, StoreError> recentPosts(PostKind kind, const QHostAddress &address, qint64 sinceMs) const;
    Result<void, StoreError> setHidden(const QString &table, const QList<qint64> &ids, bool hidden,
                                       const ModerationEntry &entry);
    Result<void, StoreError> write(const ModerationEntry &entry);
    QString fileVersion(const QString &filePath) const;

    QDir m_dataDir;
    StoreLocation m_location;
    SqlDialect m_dialect;
    QDir m_filesDir;
    QString m_connectionName;
    int m_transactionDepth = 0;
    qint64 m_changesSeen = 0;  // on a shared database, the other processes' changes and lost connections
    QTimer m_heartbeat;
    QTimer m_reconnect;
};
