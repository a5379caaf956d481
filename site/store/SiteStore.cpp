#include "site/store/SiteStore.h"

#include "site/store/SampleData.h"
#include "site/store/StoreCopy.h"
#include "site/store/StoredPath.h"
#include "site/store/StoreSchema.h"
#include "site/store/Transaction.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

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
    , m_digests(m_connection, m_filesDir)
{
    connect(&m_connection, &StoreConnection::othersChanged, this, &SiteStore::catalogueChanged);
    connect(&m_connection, &StoreConnection::connectionLost, this, &SiteStore::connectionLost);
}

QString SiteStore::uploadFolder() const
{
    return m_filesDir.filePath(u"wangyou/up"_s);
}

QString SiteStore::officialFilesFolder() const
{
    return m_filesDir.filePath(u"guanfang/files"_s);
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

Result<void, StoreError> SiteStore::setResourcesHidden(const QList<qint64> &ids, bool hidden,
                                                       const ModerationEntry &entry)
{
    return moderate([&] { return m_catalogue.setHidden(ids, hidden); }, entry, true);
}

// Hidden messages change no catalogue.
Result<void, StoreError> SiteStore::setMessagesHidden(const QList<qint64> &ids, bool hidden,
                                                      const ModerationEntry &entry)
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
