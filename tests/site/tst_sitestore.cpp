#include "site/store/NetworkAddress.h"
#include "site/store/SiteStore.h"
#include "site/store/StoreSchema.h"

#include "support/LocalPostgres.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

// The schema as it stood before the operator's side existed, without its version.
const QStringList VersionTwo = {
    u"CREATE TABLE resources (id INTEGER PRIMARY KEY, catalogue TEXT NOT NULL, category TEXT NOT NULL,"
    " title TEXT NOT NULL, remark TEXT NOT NULL DEFAULT '', collected_at TEXT NOT NULL,"
    " file_path TEXT NOT NULL DEFAULT '')"_s,
    u"CREATE TABLE resource_links (resource_id INTEGER NOT NULL REFERENCES resources (id) ON DELETE CASCADE,"
    " position INTEGER NOT NULL, label TEXT NOT NULL, target TEXT NOT NULL, PRIMARY KEY (resource_id, position))"_s,
    u"CREATE TABLE messages (id INTEGER PRIMARY KEY, name TEXT NOT NULL, text TEXT NOT NULL, posted_at TEXT NOT NULL)"_s,
    u"INSERT INTO resources VALUES (7, 'user', '软件', '旧的上传', '', '2024-01-01 10:00', '2024/01/old.zip')"_s,
};

// Runs statements on a database from outside the store; returns the first column of the last one's first row.
QVariant outside(const StoreLocation &location, const QStringList &statements)
{
    QVariant result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(location.driverName(), u"outside"_s);
        location.configure(db);
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

// The user catalogue's shown entries holding keyword where field says, newest first, as a
// plain substring match finds them, row by row.
QList<qint64> substringMatches(const StoreLocation &location, const QString &keyword, SearchField field)
{
    const QString like = location.kind() == StoreLocation::Kind::Postgres ? u"ILIKE"_s : u"LIKE"_s;
    const QStringList columns = field == SearchField::Title ? QStringList{u"title"_s}
        : field == SearchField::Category                    ? QStringList{u"category"_s}
                                                            : QStringList{u"title"_s, u"category"_s, u"remark"_s};
    QStringList conditions;
    for (const QString &column : columns)
        conditions.append(column + u' ' + like + u" ? ESCAPE '\\'"_s);
    QString pattern = keyword;
    pattern.replace(u'\\', u"\\\\"_s).replace(u'%', u"\\%"_s).replace(u'_', u"\\_"_s);
    QList<qint64> ids;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(location.driverName(), u"substring"_s);
        location.configure(db);
        QSqlQuery query(db);
        if (db.open()
            && query.prepare(u"SELECT id FROM resources WHERE catalogue = 'user' AND hidden = 0 AND ("_s
                             + conditions.join(u" OR "_s) + u") ORDER BY collected_at DESC, id DESC"_s)) {
            for (qsizetype i = 0; i < columns.size(); ++i)
                query.addBindValue(u'%' + pattern + u'%');
            if (query.exec()) {
                while (query.next())
                    ids.append(query.value(0).toLongLong());
            }
        }
        if (!query.lastError().text().trimmed().isEmpty())
            qWarning() << query.lastError().text();
    }
    QSqlDatabase::removeDatabase(u"substring"_s);
    return ids;
}

QList<qint64> idsOf(const QList<SiteResource> &resources)
{
    QList<qint64> ids;
    for (const SiteResource &resource : resources)
        ids.append(resource.id);
    return ids;
}

}  // namespace

// Every case runs on both stores: an SQLite file, and a database of a PostgreSQL server the
// test starts.
class TstSiteStore : public QObject
{
    Q_OBJECT

public:
    explicit TstSiteStore(StoreLocation::Kind kind = StoreLocation::Kind::Sqlite)
        : m_kind(kind)
    {
    }

private slots:
    void initTestCase();
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
    void searchFindsWhatTheSubstringMatchFinds_data();
    void searchFindsWhatTheSubstringMatchFinds();
    void revisionFollowsOtherProcesses();
    void postsAreCountedPerAddress_data();
    void postsAreCountedPerAddress();
    void uploadedBytesAreCountedPerDay_data();
    void uploadedBytesAreCountedPerDay();
    void catalogueChangesReachTheOtherStore_data();
    void catalogueChangesReachTheOtherStore();
    void lostConnectionIsReportedAndMadeAgain();

private:
    bool onPostgres() const { return m_kind == StoreLocation::Kind::Postgres; }
    // A user upload with a file, from an address, through a store (the test's own by default).
    qint64 addUpload(const QString &title, const QString &address, SiteStore *store = nullptr);
    void setVersionOutside(int version);
    int versionOutside();

    StoreLocation::Kind m_kind;
    LocalPostgres m_postgres;
    int m_databases = 0;
    StoreLocation m_location;
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<SiteStore> m_store;
};

class TstSiteStoreOnPostgres : public TstSiteStore
{
    Q_OBJECT

public:
    TstSiteStoreOnPostgres()
        : TstSiteStore(StoreLocation::Kind::Postgres)
    {
    }
};

void TstSiteStore::initTestCase()
{
    if (onPostgres())
        QVERIFY2(m_postgres.start(), qPrintable(m_postgres.errorString()));
}

void TstSiteStore::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    if (onPostgres()) {
        const QString address = m_postgres.createDatabase(u"store%1"_s.arg(++m_databases));
        QVERIFY2(!address.isEmpty(), qPrintable(m_postgres.errorString()));
        m_location = *StoreLocation::parse(address);
    } else {
        m_location = StoreLocation::sqliteFile(m_data->filePath(SiteStore::DatabaseFileName));
    }
    m_store = std::make_unique<SiteStore>(m_data->path(), m_location);
}

void TstSiteStore::cleanup()
{
    m_store.reset();
    m_data.reset();
}

void TstSiteStore::setVersionOutside(int version)
{
    if (onPostgres()) {
        outside(m_location,
                {u"CREATE TABLE schema_version (version INTEGER NOT NULL)"_s,
                 u"INSERT INTO schema_version VALUES (%1)"_s.arg(version)});
    } else {
        outside(m_location, {u"PRAGMA user_version = %1"_s.arg(version)});
    }
}

int TstSiteStore::versionOutside()
{
    return outside(m_location, {onPostgres() ? u"SELECT MAX(version) FROM schema_version"_s : u"PRAGMA user_version"_s})
        .toInt();
}

qint64 TstSiteStore::addUpload(const QString &title, const QString &address, SiteStore *store)
{
    store = store ? store : m_store.get();
    SiteResource resource;
    resource.catalogue = Catalogue::User;
    resource.category = u"软件"_s;
    resource.title = title;
    resource.collectedAt = u"2026-01-01 10:00"_s;
    resource.filePath = u"2026/01/"_s + title + u".bin"_s;
    resource.address = address;
    QDir().mkpath(store->uploadFolder() + u"/2026/01"_s);
    QFile file(QDir(store->uploadFolder()).filePath(resource.filePath));
    if (!file.open(QIODevice::WriteOnly) || file.write("data") != 4)
        return 0;
    const auto id = store->addResource(resource);
    return id ? *id : 0;
}

void TstSiteStore::schemaAtStart_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("versionBefore");
    QTest::addColumn<QString>("error");  // empty when the store opens
    QTest::addColumn<int>("versionAfter");
    QTest::addColumn<bool>("hasAddresses");

    QTest::newRow("new folder") << QStringList() << 0 << QString() << StoreSchema::version() << true;
    QTest::newRow("older database brought up to date") << VersionTwo << 2 << QString() << StoreSchema::version() << true;
    const int newer = StoreSchema::version() + 1;
    QTest::newRow("newer database refused")
        << QStringList({u"CREATE TABLE later (x INTEGER)"_s}) << newer << u"newer"_s << newer << false;
    // The step fails on a table in its way; none of its changes may stay.
    QTest::newRow("failed step leaves the version it found")
        << VersionTwo + QStringList({u"CREATE TABLE blocks (x INTEGER)"_s}) << 2 << u"blocks"_s << 2 << false;
}

void TstSiteStore::schemaAtStart()
{
    QFETCH(QStringList, before);
    QFETCH(int, versionBefore);
    QFETCH(QString, error);
    QFETCH(int, versionAfter);
    QFETCH(bool, hasAddresses);

    if (!before.isEmpty()) {
        outside(m_location, before);
        setVersionOutside(versionBefore);
    }
    const auto opened = m_store->open();
    QCOMPARE(opened.ok(), error.isEmpty());
    if (!opened)
        QVERIFY2(opened.error().text.contains(error), qPrintable(opened.error().text));
    m_store.reset();
    QCOMPARE(versionOutside(), versionAfter);
    const QString addressColumns = onPostgres()
        ? u"SELECT COUNT(*) FROM information_schema.columns WHERE table_name = 'resources' AND column_name = 'address'"_s
        : u"SELECT COUNT(*) FROM pragma_table_info('resources') WHERE name = 'address'"_s;
    QCOMPARE(outside(m_location, {addressColumns}).toInt(), hasAddresses ? 1 : 0);
    if (before == VersionTwo) {
        SiteStore reopened(m_data->path(), m_location);
        QVERIFY(reopened.open());
        const auto kept = reopened.resource(Catalogue::User, 7);
        QVERIFY(kept && kept->has_value());
        QCOMPARE(kept->value().title, u"旧的上传"_s);
        // Its rows are found by the words the steps added, counted alike.
        for (const QString &keyword : {u"旧"_s, u"旧的"_s, u"的上传"_s, u"旧的上传"_s}) {
            const auto found = reopened.findResources(Catalogue::User, keyword, SearchField::Anywhere, 1);
            QVERIFY(found);
            QCOMPARE(idsOf(found->resources), QList<qint64>{7});
            QCOMPARE(found->total, 1);
        }
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
    QCOMPARE(NetworkAddress::normalNetwork(text).value_or(QString()), normal);
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

void TstSiteStore::searchFindsWhatTheSubstringMatchFinds_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("one Chinese character") << u"教"_s;
    QTest::newRow("two") << u"教程"_s;
    QTest::newRow("three") << u"中文版"_s;
    QTest::newRow("four") << u"软件教程"_s;
    QTest::newRow("Latin in another case") << u"qT"_s;
    QTest::newRow("one Latin letter") << u"A"_s;
    QTest::newRow("digits") << u"2024"_s;
    QTest::newRow("percent sign") << u"%"_s;
    QTest::newRow("underscore") << u"_"_s;
    QTest::newRow("backslash") << u"\\"_s;
    QTest::newRow("a space between") << u"t 6"_s;
    QTest::newRow("a double quote among three") << u"说\"明"_s;
    QTest::newRow("two characters, one past the first plane") << u"😀教"_s;
    QTest::newRow("absent") << u"龘龘"_s;
    QTest::newRow("its characters there, never side by side") << u"程教"_s;
    QTest::newRow("longer than the characters looked up") << u"教程软件"_s.repeated(20);
}

// The index finds the same rows in the same order, and counts them alike, as the substring
// match it stands in for, in every field; and goes on doing so as entries are hidden,
// removed and uploaded.
void TstSiteStore::searchFindsWhatTheSubstringMatchFinds()
{
    QFETCH(QString, keyword);
    QVERIFY(m_store->open());
    const QStringList pieces = {u"教程"_s, u"中文版"_s,  u"软件"_s,   u"Qt 6"_s, u"QT"_s,   u"2024"_s, u"100%"_s,
                                u"a_b"_s,  u"C:\\dir"_s, u"说\"明"_s, u"😀"_s,    u"教"_s,   u"程序"_s, u"软件教程"_s,
                                u"中文"_s, u"abc"_s,     u"版"_s,     u"文"_s,   u"文版"_s, u"件教"_s};
    const QStringList categories = {u"软件"_s, u"教程"_s, u"游戏"_s, u"工具"_s};
    quint32 random = 7;
    const auto next = [&random](quint32 below) {
        random = random * 1103515245u + 12345u;
        return (random >> 16) % below;
    };
    const auto text = [&](int most) {
        QString joined;
        for (quint32 n = next(most + 1); n > 0; --n)
            joined += pieces.at(next(pieces.size())) + (next(3) == 0 ? u" "_s : QString());
        return joined;
    };
    QList<qint64> ids;
    for (int i = 0; i < 150; ++i) {
        SiteResource resource;
        resource.catalogue = i % 10 == 0 ? Catalogue::Official : Catalogue::User;
        resource.category = categories.at(next(categories.size()));
        resource.title = u"第%1 "_s.arg(i) + text(3);
        resource.remark = text(3);
        // Few times, so that many entries share one and their ids decide.
        resource.collectedAt = u"2026-01-0%1 10:00"_s.arg(next(4) + 1);
        const auto id = m_store->addResource(resource);
        QVERIFY(id);
        ids.append(*id);
    }
    const auto compare = [&]() {
        for (const SearchField field : {SearchField::Anywhere, SearchField::Title, SearchField::Category}) {
            const QList<qint64> expected = substringMatches(m_location, keyword, field);
            QList<qint64> found;
            qint64 total = -1;
            for (qint64 page = 1; page <= expected.size() / SiteStore::PageSize + 1; ++page) {
                const auto result = m_store->findResources(Catalogue::User, keyword, field, page);
                if (!result)
                    return QStringList{result.error().text};
                total = result->total;
                found += idsOf(result->resources);
            }
            if (found != expected || total != expected.size())
                return QStringList{u"field %1: %2 found, %3 counted, %4 expected"_s.arg(
                    QString::number(int(field)), QString::number(found.size()), QString::number(total),
                    QString::number(expected.size()))};
        }
        return QStringList();
    };
    QCOMPARE(compare(), QStringList());
    QVERIFY(m_store->setResourcesHidden({ids.at(1), ids.at(2), ids.at(3)}, true, entry(u"hide"_s)));
    QVERIFY(m_store->removeResources({ids.at(4), ids.at(5)}, entry(u"remove"_s)));
    SiteResource later;
    later.catalogue = Catalogue::User;
    later.category = keyword;
    later.title = u"新"_s + keyword + keyword.toUpper();
    later.collectedAt = u"2026-01-02 10:00"_s;
    QVERIFY(m_store->addResource(later));
    QCOMPARE(compare(), QStringList());
    QVERIFY(m_store->setResourcesHidden({ids.at(2)}, false, entry(u"unhide"_s)));
    QCOMPARE(compare(), QStringList());
}

void TstSiteStore::revisionFollowsOtherProcesses()
{
    QVERIFY(m_store->open());
    const auto before = m_store->revision();
    QVERIFY(before);
    SiteStore other(m_data->path(), m_location);
    QVERIFY(other.open());
    QVERIFY(addUpload(u"别处"_s, u"192.0.2.1"_s, &other) > 0);
    // A shared database tells of the change a moment later.
    QTRY_VERIFY(m_store->revision() && *m_store->revision() != *before);
}

void TstSiteStore::postsAreCountedPerAddress_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("windowMs");
    // Each post: the store it goes through (a, or b for another process), its kind, address and time.
    QTest::addColumn<QStringList>("posts");
    QTest::addColumn<QString>("taken");  // y or n per post
    QTest::addColumn<qint64>("wait");    // seconds the last post's address then waits for its kind

    QTest::newRow("room left") << 3 << 60'000LL << QStringList{u"a upload 203.0.113.5 0"_s, u"a upload 203.0.113.5 1"_s}
                               << u"yy"_s << 0LL;
    QTest::newRow("past the allowance") << 2 << 60'000LL
                                        << QStringList{u"a upload 203.0.113.5 0"_s, u"a upload 203.0.113.5 1"_s,
                                                       u"a upload 203.0.113.5 2"_s}
                                        << u"yyn"_s << 60LL;
    QTest::newRow("the window moves on") << 1 << 10'000LL
                                         << QStringList{u"a message 203.0.113.5 0"_s, u"a message 203.0.113.5 9999"_s,
                                                        u"a message 203.0.113.5 10000"_s,
                                                        u"a message 203.0.113.5 10001"_s}
                                         << u"ynyn"_s << 10LL;
    QTest::newRow("a refused post is not counted")
        << 1 << 10'000LL
        << QStringList{u"a message 203.0.113.5 0"_s, u"a message 203.0.113.5 6000"_s, u"a message 203.0.113.5 12000"_s}
        << u"yny"_s << 10LL;
    QTest::newRow("addresses and kinds apart")
        << 1 << 10'000LL
        << QStringList{u"a message 203.0.113.5 0"_s, u"a message 203.0.113.6 0"_s, u"a upload 203.0.113.5 0"_s}
        << u"yyy"_s << 10LL;
    QTest::newRow("IPv4 over an IPv6 socket is the same address")
        << 1 << 10'000LL << QStringList{u"a message ::ffff:203.0.113.5 0"_s, u"a message 203.0.113.5 1"_s} << u"yn"_s
        << 10LL;
    QTest::newRow("another process shares the allowance")
        << 2 << 60'000LL
        << QStringList{u"a upload 203.0.113.5 0"_s, u"b upload 203.0.113.5 1"_s, u"a upload 203.0.113.5 2"_s,
                       u"b upload 203.0.113.5 3"_s}
        << u"yynn"_s << 60LL;
    QTest::newRow("no limit") << 0 << 60'000LL << QStringList{u"a upload 203.0.113.5 0"_s, u"a upload 203.0.113.5 0"_s}
                              << u"yy"_s << 0LL;
}

void TstSiteStore::postsAreCountedPerAddress()
{
    QFETCH(int, count);
    QFETCH(qint64, windowMs);
    QFETCH(QStringList, posts);
    QFETCH(QString, taken);
    QFETCH(qint64, wait);

    QVERIFY(m_store->open());
    SiteStore other(m_data->path(), m_location);
    QVERIFY(other.open());
    // Milliseconds since the epoch, as the site counts them.
    const qint64 start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    QString answers;
    Result<qint64, StoreError> waited = 0;
    for (const QString &post : posts) {
        const QStringList parts = post.split(u' ');
        SiteStore &store = parts.at(0) == u"b"_s ? other : *m_store;
        const auto kind = parts.at(1) == u"message"_s ? SiteStore::PostKind::Message : SiteStore::PostKind::Upload;
        const qint64 at = start + parts.at(3).toLongLong();
        const auto took = store.takePost(kind, QHostAddress(parts.at(2)), at, count, windowMs);
        QVERIFY2(took, took ? "" : qPrintable(took.error().text));
        answers += *took ? u'y' : u'n';
        waited = m_store->secondsToWait(kind, QHostAddress(parts.at(2)), at, count, windowMs);
    }
    QCOMPARE(answers, taken);
    QVERIFY(waited);
    QCOMPARE(*waited, wait);
}

void TstSiteStore::uploadedBytesAreCountedPerDay_data()
{
    constexpr qint64 Day = 24 * 60 * 60 * 1000LL;
    QTest::addColumn<qint64>("limit");
    // Each upload: the store it goes through (a, or b for another process), its bytes and time.
    QTest::addColumn<QStringList>("uploads");
    QTest::addColumn<QString>("taken");  // y or n per upload
    QTest::addColumn<qint64>("wait");    // seconds until one more byte fits

    QTest::newRow("within the share") << 10LL << QStringList{u"a 4 0"_s, u"a 6 1"_s} << u"yy"_s << 86400LL;
    QTest::newRow("room left") << 10LL << QStringList{u"a 4 0"_s, u"a 4 1"_s} << u"yy"_s << 0LL;
    QTest::newRow("past the share, and nothing added")
        << 10LL << QStringList{u"a 4 0"_s, u"a 4 1"_s, u"a 4 2"_s, u"a 2 3"_s} << u"yyny"_s << 86400LL;
    QTest::newRow("the day moves on") << 10LL << QStringList{u"a 6 0"_s, u"a 6 %1"_s.arg(Day - 1), u"a 6 %1"_s.arg(Day)}
                                      << u"yny"_s << 0LL;
    QTest::newRow("another process shares it") << 10LL << QStringList{u"a 6 0"_s, u"b 6 1"_s} << u"yn"_s << 0LL;
    QTest::newRow("no limit") << 0LL << QStringList{u"a 60 0"_s, u"b 60 1"_s} << u"yy"_s << 0LL;
}

// Counted with the upload's record, in one transaction: a refused upload leaves no entry.
void TstSiteStore::uploadedBytesAreCountedPerDay()
{
    QFETCH(qint64, limit);
    QFETCH(QStringList, uploads);
    QFETCH(QString, taken);
    QFETCH(qint64, wait);

    QVERIFY(m_store->open());
    SiteStore other(m_data->path(), m_location);
    QVERIFY(other.open());
    const qint64 start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const QHostAddress sender(u"203.0.113.5"_s);
    const qint64 before = m_store->findResources(Catalogue::User, {}, SiteStore::SearchField::Anywhere, 1)->total;
    QString answers;
    qint64 at = start;
    for (const QString &upload : uploads) {
        const QStringList parts = upload.split(u' ');
        SiteStore &store = parts.at(0) == u"b"_s ? other : *m_store;
        at = start + parts.at(2).toLongLong();
        const SiteResource resource{.catalogue = Catalogue::User,
                                    .category = u"软件"_s,
                                    .title = upload,
                                    .collectedAt = u"2026-01-01 00:00"_s,
                                    .filePath = upload + u".bin"_s};
        const SiteStore::UploadedFile file{.bytes = parts.at(1).toLongLong(), .sha256 = {}, .verdict = std::nullopt};
        const auto added = store.addUpload(resource, file, sender, at, limit);
        QVERIFY2(added, added ? "" : qPrintable(added.error().text));
        answers += added->has_value() ? u'y' : u'n';
    }
    QCOMPARE(answers, taken);
    QCOMPARE(m_store->findResources(Catalogue::User, {}, SiteStore::SearchField::Anywhere, 1)->total - before,
             taken.count(u'y'));
    const auto waited = m_store->secondsUntilUploadRoom(sender, at, 1, limit);
    QVERIFY(waited);
    QCOMPARE(*waited, wait);
}

void TstSiteStore::catalogueChangesReachTheOtherStore_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("upload added") << u"add"_s;
    QTest::newRow("resource hidden") << u"hide"_s;
    QTest::newRow("resource removed") << u"remove"_s;
}

void TstSiteStore::catalogueChangesReachTheOtherStore()
{
    QFETCH(QString, change);
    QVERIFY(m_store->open());
    SiteStore other(m_data->path(), m_location);
    QVERIFY(other.open());
    QSignalSpy seenHere(m_store.get(), &SiteStore::catalogueChanged);
    const qint64 id = addUpload(u"共享"_s, u"198.51.100.1"_s, &other);
    QVERIFY(id > 0);
    // Its news comes first, so the change below is counted alone.
    if (onPostgres())
        QTRY_COMPARE(seenHere.count(), 1);
    seenHere.clear();
    QSignalSpy seenThere(&other, &SiteStore::catalogueChanged);

    if (change == u"add"_s)
        QVERIFY(addUpload(u"又一个"_s, u"198.51.100.1"_s, &other) > 0);
    else if (change == u"hide"_s)
        QVERIFY(other.setResourcesHidden({id}, true, entry(change)));
    else
        QVERIFY(other.removeResources({id}, entry(change)));
    QCOMPARE(seenThere.count(), 1);
    // An SQLite site's other processes learn of it from revision() instead.
    if (onPostgres())
        QTRY_COMPARE(seenHere.count(), 1);
}

void TstSiteStore::lostConnectionIsReportedAndMadeAgain()
{
    if (!onPostgres())
        QSKIP("an SQLite file has no connection to lose");
    m_store->setHeartbeatInterval(100);
    QVERIFY(m_store->open());
    QSignalSpy lost(m_store.get(), &SiteStore::connectionLost);
    QSignalSpy changed(m_store.get(), &SiteStore::catalogueChanged);
    outside(m_location,
            {u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
             " WHERE datname = current_database() AND pid <> pg_backend_pid()"_s});
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!lost.first().first().toString().isEmpty());
    QTRY_VERIFY(m_store->check());
    // What changed while nobody listened is unknown, so the cache goes.
    QVERIFY(changed.count() >= 1);

    changed.clear();
    SiteStore other(m_data->path(), m_location);
    QVERIFY(other.open());
    QVERIFY(addUpload(u"重连之后"_s, u"198.51.100.1"_s, &other) > 0);
    QTRY_COMPARE(changed.count(), 1);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TstSiteStore onSqlite;
    TstSiteStoreOnPostgres onPostgres;
    const int sqliteFailures = QTest::qExec(&onSqlite, argc, argv);
    return sqliteFailures + QTest::qExec(&onPostgres, argc, argv);
}
#include "tst_sitestore.moc"
