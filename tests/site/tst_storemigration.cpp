#include "site/store/SiteStore.h"

#include "support/HttpClient.h"
#include "support/LocalPostgres.h"
#include "support/ReferenceSite.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

ModerationEntry entry(const QString &action)
{
    return {u"2026-01-01T00:00:00Z"_s, u"tester"_s, action};
}

QString catalogueName(const SiteResource &resource)
{
    return resource.catalogue == Catalogue::Official ? u"official"_s : u"user"_s;
}

// Everything the operator and the public can see of a store, one line a record.
QStringList contents(SiteStore &store)
{
    QStringList lines;
    const auto resources = store.selectResources({});
    const auto messages = store.selectMessages({});
    const auto blocks = store.blocks(QDateTime::currentDateTimeUtc());
    const auto log = store.moderationLog();
    if (!resources || !messages || !blocks || !log)
        return {u"unreadable"_s};
    for (const SiteResource &r : *resources) {
        QString line = u"resource %1|%2|%3|%4|%5|%6|%7|%8"_s.arg(QString::number(r.id), catalogueName(r), r.category,
                                                                 r.title, r.collectedAt, r.filePath, r.address,
                                                                 r.hidden ? u"hidden"_s : u""_s);
        for (const ResourceLink &link : r.links)
            line += u'|' + link.label + u'=' + link.target;
        lines.append(line);
    }
    for (const SiteMessage &m : *messages)
        lines.append(u"message %1|%2|%3|%4|%5|%6"_s.arg(QString::number(m.id), m.name, m.text, m.postedAt, m.address,
                                                        m.hidden ? u"hidden"_s : u""_s));
    for (const SiteBlock &b : *blocks)
        lines.append(u"block %1|%2|%3"_s.arg(b.network, b.blockedAt, b.until));
    for (const ModerationEntry &e : *log)
        lines.append(u"log %1|%2|%3"_s.arg(e.at, e.who, e.action));
    // The public's views, which the index of words and the counts give.
    for (const QString &keyword : {QString(), u"迁"_s, u"迁移"_s, u"迁移之前"_s, u"软件"_s}) {
        const auto found = store.findResources(Catalogue::User, keyword, SearchField::Anywhere, 1);
        QString line = u"search %1|%2"_s.arg(keyword, found ? QString::number(found->total) : u"unreadable"_s);
        for (const SiteResource &r : found ? found->resources : QList<SiteResource>())
            line += u'|' + QString::number(r.id);
        lines.append(line);
    }
    const auto board = store.findMessages(1);
    lines.append(u"board %1"_s.arg(board ? QString::number(board->total) : u"unreadable"_s));
    return lines;
}

}  // namespace

class TstStoreMigration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void migrateCarriesASiteOver();

private:
    LocalPostgres m_postgres;
};

void TstStoreMigration::initTestCase()
{
    QVERIFY2(m_postgres.start(), qPrintable(m_postgres.errorString()));
}

void TstStoreMigration::migrateCarriesASiteOver()
{
    QTemporaryDir data;
    const QString sqlite = u"sqlite:"_s + data.filePath(SiteStore::DatabaseFileName);
    QStringList before;
    qint64 lastResource = 0;
    qint64 lastMessage = 0;
    {
        SiteStore source(data.path());
        QVERIFY(source.open());
        const auto upload = source.addResource({.catalogue = Catalogue::User,
                                                .category = u"软件"_s,
                                                .title = u"迁移之前"_s,
                                                .collectedAt = u"2026-01-02 10:00"_s,
                                                .filePath = u"2026/01/a.zip"_s,
                                                .address = u"203.0.113.5"_s});
        QVERIFY(upload);
        const auto message = source.addMessage(
            {0, u"路人"_s, u"第一行\n第二行"_s, u"2026-01-02 10:01"_s, u"203.0.113.5"_s});
        QVERIFY(message);
        QVERIFY(source.setMessagesHidden({*message}, true, entry(u"hide message"_s)));
        QVERIFY(source.removeResources({*upload - 1}, entry(u"remove resource"_s)));
        QVERIFY(source.block({u"198.51.100.0/24"_s, u"2026-01-02T10:02:00Z"_s, QString()}, entry(u"block"_s)));
        before = contents(source);
        lastResource = *upload;
        lastMessage = *message;
    }

    const QString postgres = m_postgres.createDatabase(u"migrated"_s);
    QVERIFY2(!postgres.isEmpty(), qPrintable(m_postgres.errorString()));
    const auto run = ReferenceSite::runProgram({u"migrate"_s, u"--from"_s, sqlite, u"--to"_s, postgres});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(run.out.contains(u"copied"_s));

    {
        SiteStore target(data.path(), *StoreLocation::parse(postgres));
        QVERIFY(target.open(SiteStore::Opening::Existing));
        QCOMPARE(contents(target), before);
        QCOMPARE(*target.uploadState(u"2026/01/a.zip"_s), SiteStore::UploadState::Listed);
        // New records go past the copied ids.
        const auto message = target.addMessage({0, u"新人"_s, u"你好"_s, u"2026-01-03 09:00"_s, u"192.0.2.1"_s});
        QVERIFY(message);
        QCOMPARE(*message, lastMessage + 1);
        const auto resource = target.addResource({.catalogue = Catalogue::User,
                                                  .category = u"软件"_s,
                                                  .title = u"迁移之后"_s,
                                                  .collectedAt = u"2026-01-03 09:00"_s});
        QVERIFY(resource);
        QCOMPARE(*resource, lastResource + 1);
    }

    // A second copy would mix two sites.
    const auto again = ReferenceSite::runProgram({u"migrate"_s, u"--from"_s, sqlite, u"--to"_s, postgres});
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.err.contains(u"not empty"_s), qPrintable(again.err));

    // The site serves the copy, its address taken from the environment.
    qputenv("QUILLMERE_DATABASE", postgres.toUtf8());
    ReferenceSite site(data.path());
    const bool started = site.start();
    qunsetenv("QUILLMERE_DATABASE");
    QVERIFY2(started, qPrintable(site.errorString()));
    HttpClient http;
    const HttpClient::Reply catalogue = http.get(site.root() + u"wangyou/users_upload.php?page=1"_s);
    QCOMPARE(catalogue.status, 200);
    QVERIFY(catalogue.text().contains(u"迁移之前"_s));
    QVERIFY(catalogue.text().contains(u"迁移之后"_s));
}

QTEST_GUILESS_MAIN(TstStoreMigration)
#include "tst_storemigration.moc"
