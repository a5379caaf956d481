#include "site/store/SiteStore.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The schema as it stood before the operator's side existed.
const QStringList VersionTwo = {
    u"CREATE TABLE resources (id INTEGER PRIMARY KEY, catalogue TEXT NOT NULL, category TEXT NOT NULL,"
    " title TEXT NOT NULL, remark TEXT NOT NULL DEFAULT '', collected_at TEXT NOT NULL,"
    " file_path TEXT NOT NULL DEFAULT '')"_s,
    u"CREATE TABLE resource_links (resource_id INTEGER NOT NULL REFERENCES resources (id) ON DELETE CASCADE,"
    " position INTEGER NOT NULL, label TEXT NOT NULL, target TEXT NOT NULL, PRIMARY KEY (resource_id, position))"_s,
    u"CREATE TABLE messages (id INTEGER PRIMARY KEY, name TEXT NOT NULL, text TEXT NOT NULL, posted_at TEXT NOT NULL)"_s,
    u"INSERT INTO resources VALUES (7, 'user', '软件', '旧的上传', '', '2024-01-01 10:00', '2024/01/old.zip')"_s,
    u"PRAGMA user_version = 2"_s,
};

// Runs statements on a database from outside the store; returns the first column of the last one's first row.
QVariant outside(const QString &dataPath, const QStringList &statements)
{
    QVariant result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"outside"_s);
        db.setDatabaseName(dataPath + u"/site.sqlite"_s);
        if (db.open()) {
            for (const QString &statement : statements) {
                QSqlQuery query(db);
                if (!query.exec(statement))
                    qWarning() << statement << query.lastError().text();
                if (query.next())
                    result = query.value(0);
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"outside"_s);
    return result;
}

ModerationEntry entry(const QString &action)
{
    return {u"2026-01-01T00:00:00Z"_s, u"tester"_s, action};
}

QList<qint64> idsOf(const QList<SiteResource> &resources)
{
    QList<qint64> ids;
    for (const SiteResource &resource : resources)
        ids.append(resource.id);
    return ids;
}

} // namespace

class TstSiteStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaAtStart_data();
    void schemaAtStart();
    void hiddenEntriesLeaveThePublicViews();
    void failedChangesChangeNothing_data();
    void failedChangesChangeNothing();
    void removedUploadsAreGoneForGood();
    void blocksCoverAddressesAndNetworks_data();
    void blocksCoverAddressesAndNetworks();
    void networksAreReadStrictly_data();
    void networksAreReadStrictly();
    void selectionFindsASendersEntries_data();
    void selectionFindsASendersEntries();
    void revisionFollowsOtherProcesses();

private:
    // A user upload with a file, from an address.
    qint64 addUpload(const QString &title, const QString &address);

    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<SiteStore> m_store;
};

void TstSiteStore::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    m_store = std::make_unique<SiteStore>(m_data->path());
}

void TstSiteStore::cleanup()
{
    m_store.reset();
    m_data.reset();
}

qint64 TstSiteStore::addUpload(const QString &title, const QString &address)
{
    SiteResource resource;
    resource.catalogue = Catalogue::User;
    resource.category = u"软件"_s;
    resource.title = title;
    resource.collectedAt = u"2026-01-01 10:00"_s;
    resource.filePath = u"2026/01/"_s + title + u".bin"_s;
    resource.address = address;
    QDir().mkpath(m_store->uploadFolder() + u"/2026/01"_s);
    QFile file(QDir(m_store->uploadFolder()).filePath(resource.filePath));
    if (!file.open(QIODevice::WriteOnly) || file.write("data") != 4)
        return 0;
    const auto id = m_store->addResource(resource);
    return id ? *id : 0;
}

void TstSiteStore::schemaAtStart_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("error");  // empty when the store opens
    QTest::addColumn<int>("versionAfter");
    QTest::addColumn<bool>("hasAddresses");

    QTest::newRow("new folder") << QStringList() << QString() << 3 << true;
    QTest::newRow("older database brought up to date") << VersionTwo << QString() << 3 << true;
    QTest::newRow("newer database refused") << QStringList({u"CREATE TABLE later (x)"_s, u"PRAGMA user_version = 9"_s})
                                            << u"newer"_s << 9 << false;
    // The step fails on a table in its way; none of its changes may stay.
    QTest::newRow("failed step leaves the version it found")
        << VersionTwo + QStringList({u"CREATE TABLE blocks (x)"_s}) << u"blocks"_s << 2 << false;
}

void TstSiteStore::schemaAtStart()
{
    QFETCH(QStringList, before);
    QFETCH(QString, error);
    QFETCH(int, versionAfter);
    QFETCH(bool, hasAddresses);

    if (!before.isEmpty())
        outside(m_data->path(), before);
    const auto opened = m_store->open();
    QCOMPARE(opened.ok(), error.isEmpty());
    if (!opened)
        QVERIFY2(opened.error().text.contains(error), qPrintable(opened.error().text));
    m_store.reset();
    QCOMPARE(outside(m_data->path(), {u"PRAGMA user_version"_s}).toInt(), versionAfter);
    QCOMPARE(outside(m_data->path(), {u"SELECT COUNT(*) FROM pragma_table_info('resources') WHERE name = 'address'"_s})
                 .toInt(),
             hasAddresses ? 1 : 0);
    if (before == VersionTwo) {
        SiteStore reopened(m_data->path());
        QVERIFY(reopened.open());
        const auto kept = reopened.resource(Catalogue::User, 7);
        QVERIFY(kept && kept->has_value());
        QCOMPARE(kept->value().title, u"旧的上传"_s);
    }
}

void TstSiteStore::hiddenEntriesLeaveThePublicViews()
{
    QVERIFY(m_store->open());
    const qint64 spam = addUpload(u"垃圾上传"_s, u"203.0.113.5"_s);
    QVERIFY(spam > 0);
    const auto message = m_store->addMessage({0, u"路人"_s, u"广告"_s, u"2026-01-01 10:00"_s, u"203.0.113.5"_s});
    QVERIFY(message);
    const qint64 messagesBefore = m_store->findMessages(1)->total;

    QVERIFY(m_store->setResourcesHidden({spam}, true, entry(u"hide resource"_s)));
    QVERIFY(m_store->setMessagesHidden({*message}, true, entry(u"hide message"_s)));
    QCOMPARE(m_store->findResources(Catalogue::User, u"垃圾"_s, SiteStore::SearchField::Anywhere, 1)->total, 0);
    QVERIFY(!m_store->resource(Catalogue::User, spam)->has_value());
    QCOMPARE(m_store->findMessages(1)->total, messagesBefore - 1);
    QCOMPARE(*m_store->uploadState(u"2026/01/垃圾上传.bin"_s), SiteStore::UploadState::Hidden);
    // The operator still sees it, marked.
    const auto listed = m_store->selectResources({.recent = 1});
    QVERIFY(listed && listed->size() == 1);
    QVERIFY(listed->first().hidden);
    QCOMPARE(listed->first().address, u"203.0.113.5"_s);

    QVERIFY(m_store->setResourcesHidden({spam}, false, entry(u"unhide resource"_s)));
    QVERIFY(m_store->setMessagesHidden({*message}, false, entry(u"unhide message"_s)));
    QCOMPARE(m_store->findResources(Catalogue::User, u"垃圾"_s, SiteStore::SearchField::Anywhere, 1)->total, 1);
    QCOMPARE(m_store->findMessages(1)->total, messagesBefore);
    QCOMPARE(m_store->moderationLog()->size(), 4);
}

void TstSiteStore::failedChangesChangeNothing_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("hide with an unknown id") << u"hide"_s;
    QTest::newRow("hide an unknown message") << u"hide message"_s;
    QTest::newRow("remove with an unknown id") << u"remove"_s;
    QTest::newRow("unblock what is not blocked") << u"unblock"_s;
}

void TstSiteStore::failedChangesChangeNothing()
{
    QFETCH(QString, change);
    QVERIFY(m_store->open());
    const qint64 id = addUpload(u"留着"_s, u"198.51.100.1"_s);
    QVERIFY(id > 0);
    const qint64 unknown = id + 1000;

    Result<void, StoreError> done;
    if (change == u"hide"_s)
        done = m_store->setResourcesHidden({id, unknown}, true, entry(change));
    else if (change == u"hide message"_s)
        done = m_store->setMessagesHidden({unknown}, true, entry(change));
    else if (change == u"remove"_s) {
        const auto removed = m_store->removeResources({id, unknown}, entry(change));
        if (!removed)
            done = Failure(removed.error());
    } else {
        done = m_store->unblock(u"192.0.2.1/32"_s, entry(change));
    }
    QVERIFY(!done);
    QVERIFY(!done.error().text.isEmpty());
    QVERIFY(m_store->resource(Catalogue::User, id)->has_value());
    QVERIFY(QFile::exists(m_store->uploadFolder() + u"/2026/01/留着.bin"_s));
    QCOMPARE(m_store->moderationLog()->size(), 0);
}

void TstSiteStore::removedUploadsAreGoneForGood()
{
    QVERIFY(m_store->open());
    const qint64 gone = addUpload(u"违法"_s, u"203.0.113.5"_s);
    const qint64 kept = addUpload(u"正常"_s, u"198.51.100.1"_s);
    QVERIFY(gone > 0 && kept > 0);

    const auto removed = m_store->removeResources({gone}, entry(u"remove resource"_s));
    QVERIFY(removed);
    QVERIFY(removed->isEmpty());
    QVERIFY(!QFile::exists(m_store->uploadFolder() + u"/2026/01/违法.bin"_s));
    QVERIFY(!idsOf(*m_store->selectResources({})).contains(gone));
    QCOMPARE(*m_store->uploadState(u"2026/01/违法.bin"_s), SiteStore::UploadState::Removed);
    QCOMPARE(*m_store->uploadState(u"2026/01/正常.bin"_s), SiteStore::UploadState::Listed);
    QCOMPARE(*m_store->uploadState(u"2026/01/别的.bin"_s), SiteStore::UploadState::Unknown);
    QCOMPARE(m_store->moderationLog()->size(), 1);
}

void TstSiteStore::blocksCoverAddressesAndNetworks_data()
{
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<qint64>("forSeconds");  // 0 for good; below 0 already over
    QTest::addColumn<QString>("peer");
    QTest::addColumn<bool>("refused");

    QTest::newRow("the address") << u"203.0.113.7/32"_s << 0LL << u"203.0.113.7"_s << true;
    QTest::newRow("its neighbour") << u"203.0.113.7/32"_s << 0LL << u"203.0.113.8"_s << false;
    QTest::newRow("inside a network") << u"203.0.113.0/24"_s << 0LL << u"203.0.113.200"_s << true;
    QTest::newRow("outside a network") << u"203.0.113.0/24"_s << 0LL << u"203.0.114.1"_s << false;
    QTest::newRow("IPv6 network") << u"2001:db8::/32"_s << 0LL << u"2001:db8:5::1"_s << true;
    QTest::newRow("IPv4 over an IPv6 socket") << u"203.0.113.0/24"_s << 0LL << u"::ffff:203.0.113.9"_s << true;
    QTest::newRow("not over yet") << u"203.0.113.7/32"_s << 3600LL << u"203.0.113.7"_s << true;
    QTest::newRow("over") << u"203.0.113.7/32"_s << -60LL << u"203.0.113.7"_s << false;
}

void TstSiteStore::blocksCoverAddressesAndNetworks()
{
    QFETCH(QString, blocked);
    QFETCH(qint64, forSeconds);
    QFETCH(QString, peer);
    QFETCH(bool, refused);

    QVERIFY(m_store->open());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString until = forSeconds == 0 ? QString() : now.addSecs(forSeconds).toString(Qt::ISODate);
    QVERIFY(m_store->block({blocked, now.toString(Qt::ISODate), until}, entry(u"block"_s)));
    const auto isBlocked = m_store->isBlocked(QHostAddress(peer), now);
    QVERIFY(isBlocked);
    QCOMPARE(*isBlocked, refused);
}

void TstSiteStore::networksAreReadStrictly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normal");  // empty when refused

    QTest::newRow("address") << u"203.0.113.7"_s << u"203.0.113.7/32"_s;
    QTest::newRow("network with host bits") << u"203.0.113.7/24"_s << u"203.0.113.0/24"_s;
    QTest::newRow("IPv6 address") << u"2001:DB8::1"_s << u"2001:db8::1/128"_s;
    QTest::newRow("IPv6 network") << u"2001:db8::/32"_s << u"2001:db8::/32"_s;
    QTest::newRow("IPv4 mapped") << u"::ffff:203.0.113.7"_s << u"203.0.113.7/32"_s;
    QTest::newRow("short form") << u"10.1"_s << QString();
    QTest::newRow("prefix too long") << u"203.0.113.0/33"_s << QString();
    QTest::newRow("name") << u"example.org"_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TstSiteStore::networksAreReadStrictly()
{
    QFETCH(QString, text);
    QFETCH(QString, normal);
    QCOMPARE(SiteStore::normalNetwork(text).value_or(QString()), normal);
}

void TstSiteStore::selectionFindsASendersEntries_data()
{
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("word");
    QTest::addColumn<qint64>("recent");
    QTest::addColumn<QList<int>>("expected");  // indexes of the uploads below, newest first

    QTest::newRow("one address") << u"203.0.113.5/32"_s << QString() << 0LL << QList<int>{0};
    QTest::newRow("a network") << u"203.0.113.0/24"_s << QString() << 0LL << QList<int>{1, 0};
    QTest::newRow("a word") << QString() << u"广告"_s << 0LL << QList<int>{2, 1, 0};
    QTest::newRow("recent after the address") << u"203.0.113.0/24"_s << QString() << 1LL << QList<int>{1};
    QTest::newRow("word and network") << u"198.51.100.0/24"_s << u"广告"_s << 0LL << QList<int>{2};
}

void TstSiteStore::selectionFindsASendersEntries()
{
    QFETCH(QString, network);
    QFETCH(QString, word);
    QFETCH(qint64, recent);
    QFETCH(QList<int>, expected);

    QVERIFY(m_store->open());
    const QList<qint64> ids = {addUpload(u"广告一"_s, u"203.0.113.5"_s), addUpload(u"广告二"_s, u"203.0.113.6"_s),
                               addUpload(u"广告三"_s, u"198.51.100.1"_s)};
    QList<qint64> wanted;
    for (const int index : expected)
        wanted.append(ids.at(index));
    const auto selected = m_store->selectResources({.recent = recent, .network = network, .word = word});
    QVERIFY(selected);
    QCOMPARE(idsOf(*selected), wanted);
}

void TstSiteStore::revisionFollowsOtherProcesses()
{
    QVERIFY(m_store->open());
    const auto before = m_store->revision();
    QVERIFY(before);
    SiteStore other(m_data->path());
    QVERIFY(other.open());
    QVERIFY(other.block({u"192.0.2.1/32"_s, u"2026-01-01T00:00:00Z"_s, QString()}, entry(u"block"_s)));
    const auto after = m_store->revision();
    QVERIFY(after);
    QVERIFY(*after != *before);
}

QTEST_GUILESS_MAIN(TstSiteStore)
#include "tst_sitestore.moc"
