#include "site/store/SiteStore.h"

#include "site/store/SampleData.h"
#include "site/store/StoreCopy.h"
#include "site/store/StoreSchema.h"
#include "site/store/StoredPath.h"
#include "site/store/Transaction.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Site {

const QString SiteStore::DatabaseFileName = u"site.sqlite"_s;

SiteStore::SiteStore(const QString &dataPath, QObject *parent)
    : SiteStore(dataPath, StoreLocation::sqliteFile(QDir(dataPath).filePath(DatabaseFileName)), parent)
{
}

SiteStore::SiteStore(const QString &dataPath, const StoreLocation &location, QObject *parent)
    : QObject(parent)
    , m_dataDir(dataPath)
    , m_filesDir(dataPath)
    , m_connection(location)
    , m_catalogue(m_connection)
    , m_messages(m_connection)
    , m_moderation(m_connection)
    , m_posts(m_connection)
    , m_uploadQuota(m_connection)
    , m_digests(m_connection, m_filesDir)
    , m_scans(m_connection)
    , m_held(m_connection)
{
    connect(&m_connection, &StoreConnection::othersChanged, this, &SiteStore::catalogueChanged);
    connect(&m_connection, &StoreConnection::connectionLost, this, &SiteStore::connectionLost);
}

QString SiteStore::uploadFolder() const
{
    return m_filesDir.filePath(u"wangyou/up"_s);
}

QString SiteStore::heldFolder() const
{
    return m_filesDir.filePath(u"wangyou/held"_s);
}

QString SiteStore::officialFilesFolder() const
{
    return m_filesDir.filePath(u"guanfang/files"_s);
}

Result<std::optional<QString>, StoreError> SiteStore::uploadWith(const QByteArray &sha256) const
{
    static const QString Folder = u"wangyou/up/"_s;
    const auto found = m_digests.fileWith(sha256, Folder);
    if (!found || !*found)
        return found;
    return std::optional<QString>(found->value().sliced(Folder.size()));
}

Result<void, StoreError> SiteStore::open(Opening opening)
{
    if (!m_dataDir.mkpath(u"."_s))
        return Failure(StoreError{u"cannot create the data folder %1"_s.arg(m_dataDir.path())});
    // Opening an SQLite file that is not there would make one.
    if (opening == Opening::Existing && location().kind() == StoreLocation::Kind::Sqlite
        && !QFileInfo::exists(location().sqlitePath()))
        return Failure(StoreError{u"no site in %1"_s.arg(location().displayName())});
    if (const auto opened = m_connection.open(); !opened)
        return opened;
    if (opening == Opening::Empty)
        return StoreSchema::checkEmpty(m_connection);
    if (opening == Opening::Beside) {
        m_connection.keepUp();
        return {};
    }
    const auto upToDate = StoreSchema::bringUpToDate(
        m_connection, opening == Opening::Existing ? StoreSchema::Start::Existing : StoreSchema::Start::Any,
        [this] { return SampleData::seed(*this); });
    if (!upToDate)
        return upToDate;
    m_connection.watch();
    return {};
}

Result<qint64, StoreError> SiteStore::addResource(const SiteResource &resource)
{
    const auto id = m_catalogue.add(resource);
    if (id)
        emit catalogueChanged();
    return id;
}

Result<std::optional<qint64>, StoreError> SiteStore::counted(const std::function<Result<qint64, StoreError>()> &add,
                                                             const QHostAddress &sender, qint64 bytes, qint64 nowMs,
                                                             qint64 bytesPerDay)
{
    Transaction transaction(m_connection);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    const auto taken = m_uploadQuota.take(sender, nowMs, bytes, bytesPerDay);
    if (!taken)
        return Failure(taken.error());
    if (!*taken)
        return std::optional<qint64>();
    const auto id = add();
    if (!id)
        return Failure(id.error());
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    return std::optional<qint64>(*id);
}

Result<std::optional<qint64>, StoreError> SiteStore::addUpload(const SiteResource &resource, const UploadedFile &file,
                                                               const QHostAddress &sender, qint64 nowMs,
                                                               qint64 bytesPerDay)
{
    // One commit for all of it: each is a wait for the disk.
    const auto add = [&]() -> Result<qint64, StoreError> {
        if (!file.sha256.isEmpty()) {
            if (const auto kept = m_digests.keep(u"wangyou/up/"_s + resource.filePath, file.sha256); !kept)
                return Failure(kept.error());
        }
        if (file.verdict) {
            if (const auto kept = m_scans.keep(file.sha256, *file.verdict); !kept)
                return Failure(kept.error());
        }
        return m_catalogue.add(resource);
    };
    const auto id = counted(add, sender, file.bytes, nowMs, bytesPerDay);
    if (id && *id)
        emit catalogueChanged();
    return id;
}

Result<std::optional<qint64>, StoreError> SiteStore::holdUpload(const HeldUpload &upload, const QHostAddress &sender,
                                                                qint64 nowMs, qint64 bytesPerDay)
{
    return counted([&] { return m_held.add(upload); }, sender, upload.size, nowMs, bytesPerDay);
}

Result<std::optional<qint64>, StoreError> SiteStore::publishHeld(qint64 heldId, const SiteResource &resource)
{
    Transaction transaction(m_connection);
    if (const auto begun = transaction.begun(); !begun)
        return Failure(begun.error());
    const auto left = m_held.remove(heldId);
    if (!left)
        return Failure(left.error());
    if (!*left)
        return std::optional<qint64>();
    const auto id = m_catalogue.add(resource);
    if (!id)
        return Failure(id.error());
    if (const auto committed = transaction.commit(); !committed)
        return Failure(committed.error());
    emit catalogueChanged();
    return std::optional<qint64>(*id);
}

Result<void, StoreError> SiteStore::moderate(const std::function<Result<void, StoreError>()> &change,
                                             const ModerationEntry &entry, bool catalogue)
{
    Transaction transaction(m_connection);
    if (const auto begun = transaction.begun(); !begun)
        return begun;
    if (const auto changed = change(); !changed)
        return changed;
    if (catalogue) {
        if (const auto notified = m_connection.notifyCatalogueChanged(); !notified)
            return notified;
    }
    if (const auto written = m_moderation.record(entry); !written)
        return written;
    if (const auto committed = transaction.commit(); !committed)
        return committed;
    if (catalogue)
        emit catalogueChanged();
    return {};
}

Result<void, StoreError> SiteStore::setResourcesHidden(const QList<qint64> &ids, bool hidden, const ModerationEntry &entry)
{
    return moderate([&] { return m_catalogue.setHidden(ids, hidden); }, entry, true);
}

// Hidden messages change no catalogue.
Result<void, StoreError> SiteStore::setMessagesHidden(const QList<qint64> &ids, bool hidden, const ModerationEntry &entry)
{
    return moderate([&] { return m_messages.setHidden(ids, hidden); }, entry, false);
}

Result<QStringList, StoreError> SiteStore::removeResources(const QList<qint64> &ids, const ModerationEntry &entry)
{
    QStringList files;
    const auto removed = moderate(
        [&]() -> Result<void, StoreError> {
            auto gone = m_catalogue.remove(ids, entry.at);
            if (!gone)
                return Failure(gone.error());
            files = std::move(gone).value();
            return {};
        },
        entry, true);
    if (!removed)
        return Failure(removed.error());
    // Only once the records are gone: a file deleted before a failed commit would leave a
    // listed resource without one.
    const QDir uploads(uploadFolder());
    QStringList kept;
    for (const QString &file : std::as_const(files)) {
        const std::optional<QString> path = StoredPath::inside(uploadFolder(), file);
        if (!path || (!QFile::remove(*path) && QFileInfo::exists(*path)))
            kept.append(uploads.filePath(file));
    }
    return kept;
}

Result<void, StoreError> SiteStore::block(const SiteBlock &block, const ModerationEntry &entry)
{
    return moderate([&] { return m_moderation.block(block); }, entry, false);
}

Result<void, StoreError> SiteStore::unblock(const QString &network, const ModerationEntry &entry)
{
    return moderate([&] { return m_moderation.unblock(network); }, entry, false);
}

Result<void, StoreError> SiteStore::copyDatabaseTo(const QString &filePath) const
{
    return StoreCopy::toFile(m_connection, filePath);
}

Result<qint64, StoreError> SiteStore::copyInto(SiteStore &target) const
{
    return StoreCopy::into(m_connection, target.m_connection);
}

}  // namespace Site
