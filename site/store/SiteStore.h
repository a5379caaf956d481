#pragma once

#include "common/Result.h"
#include "site/store/CataloguePage.h"
#include "site/store/CatalogueRows.h"
#include "site/store/FileDigests.h"
#include "site/store/FileScans.h"
#include "site/store/HeldUploads.h"
#include "site/store/MessagePage.h"
#include "site/store/MessageRows.h"
#include "site/store/Moderation.h"
#include "site/store/PostAllowance.h"
#include "site/store/RowSelection.h"
#include "site/store/SearchField.h"
#include "site/store/StoreConnection.h"
#include "site/store/StoreError.h"
#include "site/store/StoreLocation.h"
#include "site/store/UploadQuota.h"

#include <QDir>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QDateTime;
class QHostAddress;

namespace Site {

// The site's database and the folders of its files. The database is an SQLite file in the
// data folder unless a PostgreSQL database is given, which several site processes can share.
// Opening a fresh store creates the schema and the sample catalogue; an older database is
// brought up to date, a newer one refused. Entries the operator hid stay out of everything
// the public sees. A store is used by the thread that opened it.
class SiteStore : public QObject
{
    Q_OBJECT

public:
    using SearchField = Site::SearchField;
    using Page = CataloguePage;
    using MessagePage = Site::MessagePage;
    using Selection = RowSelection;
    using UploadState = CatalogueRows::UploadState;
    using PostKind = PostAllowance::Kind;
    static constexpr int PageSize = CataloguePage::Size;
    static constexpr int MessagesPerPage = MessagePage::Size;

    enum class Opening {
        Site,      // a new store is made and seeded, an older one brought up to date
        Existing,  // only a store that holds a site, so a mistyped address never becomes a new one
        Empty,     // only a database without tables, left so for copyInto to fill
        // Another connection of this process opened the store already: only connects, and
        // hears nothing of the other processes' changes.
        Beside,
    };

    static const QString DatabaseFileName;

    // The database is the data folder's SQLite file.
    explicit SiteStore(const QString &dataPath, QObject *parent = nullptr);
    SiteStore(const QString &dataPath, const StoreLocation &location, QObject *parent = nullptr);

    Result<void, StoreError> open(Opening opening = Opening::Site);
    const StoreLocation &location() const { return m_connection.location(); }
    StoreConnection &connection() { return m_connection; }
    const StoreConnection &connection() const { return m_connection; }
    void setHeartbeatInterval(int ms) { m_connection.setHeartbeatInterval(ms); }

    // The folder holding the uploaded and the official files, which several site processes
    // may share; the data folder unless set otherwise.
    void setFilesFolder(const QString &path) { m_filesDir.setPath(path); }
    QString dataFolder() const { return m_dataDir.path(); }
    QString filesFolder() const { return m_filesDir.path(); }
    QString uploadFolder() const;
    // Of uploads held until a scan passes them: served by no route.
    QString heldFolder() const;
    QString officialFilesFolder() const;

    // Returns the new id.
    Result<qint64, StoreError> addResource(const SiteResource &resource);
    // An upload's file, kept with its record.
    struct UploadedFile
    {
        qint64 bytes = 0;
        QByteArray sha256;                          // empty when not known
        std::optional<FileScans::Verdict> verdict;  // what a scan found of it, if it was scanned
    };
    // Adds an upload, with its file's digest and verdict, and counts its bytes against its
    // sender's day (see UploadQuota), in one transaction; nothing, and nothing added, when they
    // do not fit in it. Returns the new id.
    Result<std::optional<qint64>, StoreError> addUpload(const SiteResource &resource, const UploadedFile &file,
                                                        const QHostAddress &sender, qint64 nowMs, qint64 bytesPerDay);
    // Holds an upload until a scan passes it (see HeldUploads), counting its bytes as addUpload
    // does; nothing, and nothing held, when they do not fit. Returns the held upload's id.
    Result<std::optional<qint64>, StoreError> holdUpload(const HeldUpload &upload, const QHostAddress &sender,
                                                         qint64 nowMs, qint64 bytesPerDay);
    Result<QList<HeldUpload>, StoreError> heldUploads() const { return m_held.all(); }
    // Adds the resource of a held upload that passed its scan, in one transaction with its
    // leaving the held ones; nothing, and nothing added, when it had left already.
    Result<std::optional<qint64>, StoreError> publishHeld(qint64 heldId, const SiteResource &resource);
    // Says whether it was still held.
    Result<bool, StoreError> dropHeld(qint64 heldId) { return m_held.remove(heldId); }
    // See FileScans.
    Result<std::optional<FileScans::Verdict>, StoreError> scanVerdict(const QByteArray &sha256) const
    {
        return m_scans.find(sha256);
    }
    Result<void, StoreError> keepScanVerdict(const QByteArray &sha256, const FileScans::Verdict &verdict)
    {
        return m_scans.keep(sha256, verdict);
    }
    Result<qint64, StoreError> uploadedBytes(const QHostAddress &sender, qint64 nowMs) const
    {
        return m_uploadQuota.used(sender, nowMs);
    }
    Result<qint64, StoreError> secondsUntilUploadRoom(const QHostAddress &sender, qint64 nowMs, qint64 bytes,
                                                      qint64 bytesPerDay) const
    {
        return m_uploadQuota.secondsUntilRoom(sender, nowMs, bytes, bytesPerDay);
    }
    Result<Page, StoreError> findResources(Catalogue catalogue, const QString &keyword, SearchField field, qint64 page) const
    {
        return m_catalogue.find(catalogue, keyword, field, page);
    }
    Result<std::optional<SiteResource>, StoreError> resource(Catalogue catalogue, qint64 id) const
    {
        return m_catalogue.resource(catalogue, id);
    }
    Result<QStringList, StoreError> categories(Catalogue catalogue) const { return m_catalogue.categories(catalogue); }
    Result<UploadState, StoreError> uploadState(const QString &path) const { return m_catalogue.uploadState(path); }
    Result<bool, StoreError> isOfficialFileLinked(const QString &path) const
    {
        return m_catalogue.isOfficialFileLinked(path);
    }
    // See FileDigests; paths are below the files folder.
    Result<std::optional<QByteArray>, StoreError> fileDigest(const QString &filePath) const
    {
        return m_digests.find(filePath);
    }
    Result<void, StoreError> setFileDigest(const QString &filePath, const QByteArray &sha256)
    {
        return m_digests.keep(filePath, sha256);
    }
    // An upload's file, below the upload folder, that holds exactly these bytes as it is now.
    Result<std::optional<QString>, StoreError> uploadWith(const QByteArray &sha256) const;

    Result<qint64, StoreError> addMessage(const SiteMessage &message) { return m_messages.add(message); }
    Result<MessagePage, StoreError> findMessages(qint64 page) const { return m_messages.find(page); }

    Result<void, StoreError> check() const { return m_connection.check(); }
    Result<qint64, StoreError> revision() const { return m_connection.revision(); }

    // See PostAllowance.
    Result<bool, StoreError> takePost(PostKind kind, const QHostAddress &address, qint64 nowMs, int count, qint64 windowMs)
    {
        return m_posts.take(kind, address, nowMs, count, windowMs);
    }
    Result<qint64, StoreError> secondsToWait(PostKind kind, const QHostAddress &address, qint64 nowMs, int count,
                                             qint64 windowMs) const
    {
        return m_posts.secondsToWait(kind, address, nowMs, count, windowMs);
    }
    Result<bool, StoreError> isBlocked(const QHostAddress &address, const QDateTime &now) const
    {
        return m_moderation.isBlocked(address, now);
    }

    // The operator's side. Each change is written with its entry in the moderation log, and
    // an id the store does not hold fails the whole change.
    Result<QList<SiteResource>, StoreError> selectResources(const Selection &selection) const
    {
        return m_catalogue.select(selection);
    }
    Result<QList<SiteMessage>, StoreError> selectMessages(const Selection &selection) const
    {
        return m_messages.select(selection);
    }
    Result<void, StoreError> setResourcesHidden(const QList<qint64> &ids, bool hidden, const ModerationEntry &entry);
    Result<void, StoreError> setMessagesHidden(const QList<qint64> &ids, bool hidden, const ModerationEntry &entry);
    // Removes the resources and their files for good; returns the files that could not be
    // deleted, which nobody is served any more, and those a record names outside the upload
    // folder, which are left alone.
    Result<QStringList, StoreError> removeResources(const QList<qint64> &ids, const ModerationEntry &entry);
    // Blocks a network given as "address/prefix" (see NetworkAddress), replacing its earlier block.
    Result<void, StoreError> block(const SiteBlock &block, const ModerationEntry &entry);
    Result<void, StoreError> unblock(const QString &network, const ModerationEntry &entry);
    // Blocks still in force at that time.
    Result<QList<SiteBlock>, StoreError> blocks(const QDateTime &now) const { return m_moderation.blocks(now); }
    Result<void, StoreError> record(const ModerationEntry &entry) { return m_moderation.record(entry); }
    // Oldest first.
    Result<QList<ModerationEntry>, StoreError> moderationLog() const { return m_moderation.log(); }

    // Writes a consistent copy of an SQLite database to a new file while the site may be writing.
    Result<void, StoreError> copyDatabaseTo(const QString &filePath) const;
    // Gives a store opened Empty the schema and every record of this one, ids and times kept, in
    // one transaction, so a failed copy leaves it empty. Returns how many rows were copied.
    Result<qint64, StoreError> copyInto(SiteStore &target) const;

signals:
    // The catalogue changed, through this store or, on a shared database, another process.
    void catalogueChanged();
    // The shared database stopped answering: changes may go unseen until the store is back,
    // which it tries by itself, waiting longer after each failure.
    void connectionLost(const QString &reason);

private:
    // Runs add in one transaction with counting the bytes of its upload; nothing when they do not fit.
    Result<std::optional<qint64>, StoreError> counted(const std::function<Result<qint64, StoreError>()> &add,
                                                      const QHostAddress &sender, qint64 bytes, qint64 nowMs,
                                                      qint64 bytesPerDay);
    // Runs change and the moderation log's entry in one transaction.
    Result<void, StoreError> moderate(const std::function<Result<void, StoreError>()> &change,
                                      const ModerationEntry &entry, bool catalogue);

    QDir m_dataDir;
    QDir m_filesDir;
    StoreConnection m_connection;
    CatalogueRows m_catalogue;
    MessageRows m_messages;
    Moderation m_moderation;
    PostAllowance m_posts;
    UploadQuota m_uploadQuota;
    FileDigests m_digests;
    FileScans m_scans;
    HeldUploads m_held;
};

}  // namespace Site
