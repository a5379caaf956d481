// The site at a community's size: a fresh store (SQLite, then PostgreSQL in a cluster of the
// benchmark's own) filled with N uploads and N messages, then the site's own program on it,
// access log on, asked for each kind of page with nothing cached, for searches, for a cached
// page and /healthz while 20 connections search distinct words, and for a cached page at 50
// connections next to nginx serving the same bytes, both logging every request, the two taking
// turns for three rounds (the medians are shown).
// Usage: bench_growth [--store sqlite|postgresql] [--seconds S per wrk run, default 4] [N ...]
//        (default N: 10000 100000 1000000)

#include "BenchSite.h"
#include "GrowthFill.h"
#include "LocalNginx.h"

#include "support/LocalPostgres.h"

#include "site/store/SiteStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

constexpr int ColdRounds = 5;
constexpr int SearchConnections = 20;
constexpr int SearchPages = 3;
constexpr int CachedConnections = 50;
constexpr int NginxRounds = 3;
const QString UserCatalogue = u"/wangyou/users_upload.php"_s;

QByteArray encoded(const QString &keyword)
{
    return QUrl::toPercentEncoding(keyword);
}

QString searchTarget(const QString &keyword, int page = 1)
{
    return UserCatalogue + u"?page=%1&q="_s.arg(page) + QString::fromLatin1(encoded(keyword));
}

struct Answer
{
    int status = 0;
    QByteArray body;
    double ms = 0;
};

// One request on a connection of its own, timed from connecting to the last byte.
Answer get(quint16 port, const QString &target)
{
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(10'000))
        return {};
    socket.write("GET " + target.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                 + "\r\nConnection: close\r\n\r\n");
    QByteArray bytes;
    while (socket.waitForReadyRead(60'000))
        bytes += socket.readAll();
    bytes += socket.readAll();
    Answer answer;
    answer.ms = double(clock.nsecsElapsed()) / 1e6;
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return answer;
    answer.status = bytes.mid(9, 3).toInt();
    answer.body = bytes.mid(headEnd + 4);
    return answer;
}

// The matches a catalogue page counts, from its trailer "?TtbBa?<total>?<pages>".
qint64 matchesOf(const QByteArray &page)
{
    const qsizetype trailer = page.lastIndexOf("?TtbBa?");
    return trailer < 0 ? -1 : page.mid(trailer + 7).split('?').value(0).toLongLong();
}

double worst(const QList<double> &values)
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

QString ms(double value)
{
    return value < 10 ? u"%1 ms"_s.arg(value, 0, 'f', 1) : u"%1 ms"_s.arg(value, 0, 'f', 0);
}

QString count(qint64 value)
{
    // Thin spaces between thousands, as the README writes sizes.
    QString digits = QString::number(value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u' ');
    return digits;
}

struct WrkRun
{
    double perSecond = 0;
    qint64 requests = 0;
    bool clean = false;  // every answer 2xx, no socket errors
};

WrkRun readWrk(const QByteArray &output)
{
    static const QRegularExpression rate(u"Requests/sec:\\s+([0-9.]+)"_s);
    static const QRegularExpression total(u"([0-9]+) requests in"_s);
    const QString text = QString::fromLatin1(output);
    WrkRun result;
    result.perSecond = rate.match(text).captured(1).toDouble();
    result.requests = total.match(text).captured(1).toLongLong();
    result.clean = rate.match(text).hasMatch() && !output.contains("Non-2xx") && !output.contains("Socket errors");
    return result;
}

// What is measured for one size of one store, in the order of the table's rows.
struct Row
{
    const char *figure;
    const char *target;  // at 1 000 000
};

const QList<Row> Rows = {
    {"fill: N uploads (with their digests) and N messages, one transaction", "—"},
    {"first page of the user catalogue, cold (the first request after an upload)", "within 20 ms"},
    {"deep page (page N/20), cold", "within 100 ms"},
    {"upload page", "within 10 ms"},
    {"start page", "within 10 ms"},
    {"message board", "within 10 ms"},
    {"search, common word, cold", "within 100 ms"},
    {"search, rare word, cold", "within 10 ms"},
    {"search, absent word, cold", "within 10 ms"},
    {"a cached page while 20 connections search distinct words: median, worst", "within 20 ms"},
    {"/healthz meanwhile: median, worst", "within 20 ms"},
    {"distinct searches a second at 20 connections (wrk)", "at least 100"},
    {"cached first page, requests a second at 50 connections (wrk), both logging: site, nginx serving the same bytes",
     "at least 1.0x nginx"},
};

class GrowthBench
{
public:
    GrowthBench(const QString &wrk, const QString &curl, int seconds, QTemporaryDir &work)
        : m_wrk(wrk)
        , m_curl(curl)
        , m_seconds(seconds)
        , m_work(work)
    {
    }

    // The column of one size; empty when the site could not be filled or run.
    QStringList measure(qint64 size, const QString &database);
    double firstPage() const { return m_firstPage; }
    double rareSearch() const { return m_rareSearch; }

private:
    bool upload(const SiteProcess &site);
    // The median time of a page asked for after an upload, so that nothing of it is cached.
    double cold(const SiteProcess &site, const QString &target, qint64 *matches = nullptr);
    double plain(const SiteProcess &site, const QString &target);
    QStringList underSearches(const SiteProcess &site, const GrowthFill &fill);
    QString againstNginx(const SiteProcess &site, const QString &folder);

    QString m_wrk;
    QString m_curl;
    int m_seconds;
    QTemporaryDir &m_work;
    int m_uploads = 0;
    bool m_failed = false;
    double m_firstPage = 0;
    double m_rareSearch = 0;
};

bool GrowthBench::upload(const SiteProcess &site)
{
    const QString file = m_work.filePath(u"upload.txt"_s);
    if (!QFile::exists(file)) {
        QFile made(file);
        if (!made.open(QIODevice::WriteOnly) || made.write("a small upload\n") < 0)
            return false;
    }
    ++m_uploads;
    const QByteArray status = run(m_curl,
                                  {u"-s"_s, u"-o"_s, u"/dev/null"_s, u"-w"_s, u"%{http_code}"_s, u"-F"_s,
                                   u"category=软件"_s, u"-F"_s, u"title=测试上传 %1"_s.arg(m_uploads), u"-F"_s,
                                   u"file=@"_s + file, site.root() + u"/wangyou/"_s});
    return status == "303";
}

double GrowthBench::cold(const SiteProcess &site, const QString &target, qint64 *matches)
{
    QList<double> times;
    for (int round = 0; round < ColdRounds; ++round) {
        if (!upload(site)) {
            std::fprintf(stderr, "an upload failed\n");
            m_failed = true;
            return 0;
        }
        const Answer answer = get(site.port(), target);
        if (answer.status != 200) {
            std::fprintf(stderr, "%s answered %d\n", qPrintable(target), answer.status);
            m_failed = true;
        }
        if (matches)
            *matches = matchesOf(answer.body);
        times.append(answer.ms);
    }
    return median(times);
}

double GrowthBench::plain(const SiteProcess &site, const QString &target)
{
    QList<double> times;
    for (int round = 0; round < ColdRounds; ++round) {
        const Answer answer = get(site.port(), target);
        if (answer.status != 200) {
            std::fprintf(stderr, "%s answered %d\n", qPrintable(target), answer.status);
            m_failed = true;
        }
        times.append(answer.ms);
    }
    return median(times);
}

// wrk asks for distinct searches while this process asks, every 100 ms, for a cached page
// and for /healthz.
QStringList GrowthBench::underSearches(const SiteProcess &site, const GrowthFill &fill)
{
    // Each keyword's first page, then each one's second and third: a page of its own to read.
    const QStringList keywords = fill.distinctKeywords(60'000);
    QString script = u"local paths = {\n"_s;
    for (int page = 1; page <= SearchPages; ++page) {
        for (const QString &keyword : keywords)
            script += u"  \"%1\",\n"_s.arg(searchTarget(keyword, page));
    }
    script += u"}\nlocal i = 0\nrequest = function()\n  i = i + 1\n"
              "  return wrk.format(nil, paths[(i - 1) % #paths + 1])\nend\n"_s;
    QFile lua(m_work.filePath(u"searches.lua"_s));
    if (!lua.open(QIODevice::WriteOnly) || lua.write(script.toUtf8()) < 0)
        return {u"—"_s, u"—"_s, u"—"_s};
    lua.close();

    const QString cached = UserCatalogue + u"?page=1"_s;
    get(site.port(), cached);
    QProcess wrk;
    wrk.start(m_wrk,
              {u"-t1"_s, u"-c%1"_s.arg(SearchConnections), u"-d%1s"_s.arg(m_seconds), u"-s"_s, lua.fileName(),
               site.root() + UserCatalogue});
    if (!wrk.waitForStarted())
        return {u"—"_s, u"—"_s, u"—"_s};
    wrk.waitForFinished(500);
    QList<double> pages;
    QList<double> health;
    // The state of a process is learnt only in a wait, as no event loop runs.
    while (wrk.state() == QProcess::Running) {
        const Answer page = get(site.port(), cached);
        const Answer healthz = get(site.port(), u"/healthz"_s);
        if (wrk.waitForFinished(100))
            break;
        if (page.status != 200 || healthz.status != 200)
            m_failed = true;
        pages.append(page.ms);
        health.append(healthz.ms);
    }
    wrk.waitForFinished(-1);
    const WrkRun searches = readWrk(wrk.readAllStandardOutput());
    QString rate = u"%1"_s.arg(searches.perSecond, 0, 'f', 0);
    if (!searches.clean)
        rate += u" (with errors)"_s;
    if (searches.requests > keywords.size() * SearchPages)
        rate += u" (past %1 searches, some cached)"_s.arg(keywords.size() * SearchPages);
    return {ms(median(pages)) + u", "_s + ms(worst(pages)), ms(median(health)) + u", "_s + ms(worst(health)), rate};
}

QString GrowthBench::againstNginx(const SiteProcess &site, const QString &folder)
{
    const QString cached = UserCatalogue + u"?page=1"_s;
    const Answer page = get(site.port(), cached);
    QDir().mkpath(folder + u"/www"_s);
    QFile copy(folder + u"/www/page.txt"_s);
    if (page.status != 200 || !copy.open(QIODevice::WriteOnly) || copy.write(page.body) != page.body.size())
        return u"—"_s;
    copy.close();
    LocalNginx nginx;
    if (!nginx.start(folder, LocalNginx::Log::BytesSent))
        return u"—"_s;
    const auto rate = [&](const QString &url) {
        const WrkRun result = readWrk(
            run(m_wrk, {u"-t1"_s, u"-c%1"_s.arg(CachedConnections), u"-d%1s"_s.arg(m_seconds), url}));
        return result.clean ? result.perSecond : 0.0;
    };
    // Taking turns, so that a busy spell of the machine falls on both.
    QList<double> ours;
    QList<double> theirs;
    for (int round = 0; round < NginxRounds; ++round) {
        ours.append(rate(site.root() + cached));
        theirs.append(rate(nginx.url(u"page.txt"_s)));
    }
    return u"%1, %2 (%3x)"_s.arg(median(ours), 0, 'f', 0)
        .arg(median(theirs), 0, 'f', 0)
        .arg(median(theirs) > 0 ? median(ours) / median(theirs) : 0, 0, 'f', 2);
}

QStringList GrowthBench::measure(qint64 size, const QString &database)
{
    m_failed = false;
    const QString folder = m_work.filePath(u"size-%1-%2"_s.arg(size).arg(database.isEmpty() ? u"sqlite"_s : u"pg"_s));
    const QString data = folder + u"/site"_s;
    const GrowthFill fill(size);
    QElapsedTimer clock;
    clock.start();
    {
        const auto location = database.isEmpty()
            ? StoreLocation::sqliteFile(QDir(data).filePath(SiteStore::DatabaseFileName))
            : *StoreLocation::parse(database);
        SiteStore store(data, location);
        if (const auto opened = store.open(); !opened) {
            std::fprintf(stderr, "cannot open the store: %s\n", qPrintable(opened.error().text));
            return {};
        }
        if (const auto filled = fill.fill(store); !filled) {
            std::fprintf(stderr, "cannot fill the store: %s\n", qPrintable(filled.error().text));
            return {};
        }
    }
    // As autovacuum does after a load: a store that grew over years has its statistics.
    if (!database.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, u"vacuum"_s);
        StoreLocation::parse(database)->configure(db);
        if (!db.open() || !QSqlQuery(db).exec(u"VACUUM ANALYZE"_s))
            std::fprintf(stderr, "cannot vacuum the store\n");
        db.close();
    }
    QSqlDatabase::removeDatabase(u"vacuum"_s);
    const double fillSeconds = double(clock.elapsed()) / 1000;
    std::fprintf(stderr, "filled %lld rows in %.1f s\n", size, fillSeconds);

    SiteProcess site;
    site.setErrorFile(data + u"/errors.log"_s);
    if (!site.start(data, database.isEmpty() ? QStringList() : QStringList{u"--database"_s, database})) {
        std::fprintf(stderr, "the site did not start; see %s/errors.log\n", qPrintable(data));
        return {};
    }
    QStringList column;
    column.append(u"%1 s"_s.arg(fillSeconds, 0, 'f', 1));
    m_firstPage = cold(site, UserCatalogue + u"?page=1"_s);
    column.append(ms(m_firstPage));
    column.append(ms(cold(site, UserCatalogue + u"?page=%1"_s.arg(std::max<qint64>(size / 20, 1)))));
    column.append(ms(plain(site, u"/wangyou/"_s)));
    column.append(ms(plain(site, u"/zorvik/"_s)));
    column.append(ms(plain(site, u"/nds_wd-nds_wd.html"_s)));
    for (const QString &word : {GrowthFill::CommonWord, GrowthFill::RareWord, GrowthFill::AbsentWord}) {
        qint64 matches = 0;
        const double time = cold(site, searchTarget(word), &matches);
        if (word == GrowthFill::RareWord)
            m_rareSearch = time;
        column.append(u"%1 (%2, %3 matches)"_s.arg(ms(time), word, count(matches)));
    }
    column += underSearches(site, fill);
    column.append(againstNginx(site, folder));
    if (m_failed)
        column.last() += u" (some answers failed)"_s;
    return column;
}

void printTable(const QString &store, const QList<qint64> &sizes, const QList<QStringList> &columns, const QString &growth)
{
    QString head = u"| %1 | "_s.arg(store);
    QString rule = u"|---|"_s;
    for (const qint64 size : sizes) {
        head += count(size) + u" | "_s;
        rule += u"---|"_s;
    }
    std::printf("%s\n%s\n", qPrintable(head + u"target at 1 000 000 |"_s), qPrintable(rule + u"---|"_s));
    for (qsizetype row = 0; row < Rows.size(); ++row) {
        QString line = u"| "_s + QString::fromUtf8(Rows[row].figure) + u" | "_s;
        for (const QStringList &column : columns)
            line += column.value(row, u"—"_s) + u" | "_s;
        std::printf("%s%s |\n", qPrintable(line), Rows[row].target);
    }
    if (!growth.isEmpty())
        std::printf("%s\n", qPrintable(growth));
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList stores{u"sqlite"_s, u"postgresql"_s};
    int seconds = 4;
    QList<qint64> sizes;
    const QStringList arguments = app.arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--store"_s && i + 1 < arguments.size())
            stores = {arguments[++i]};
        else if (arguments[i] == u"--seconds"_s && i + 1 < arguments.size())
            seconds = arguments[++i].toInt();
        else
            sizes.append(arguments[i].toLongLong());
    }
    if (sizes.isEmpty())
        sizes = {10'000, 100'000, 1'000'000};
    const QStringList systemFolders{u"/usr/sbin"_s, u"/usr/bin"_s, u"/sbin"_s, u"/bin"_s};
    const QString curl = QStandardPaths::findExecutable(u"curl"_s, systemFolders);
    const QString wrk = QStandardPaths::findExecutable(u"wrk"_s, systemFolders);
    if (seconds <= 0 || curl.isEmpty() || wrk.isEmpty() || std::find(sizes.begin(), sizes.end(), 0) != sizes.end()) {
        std::fprintf(stderr, "needs nginx, curl and wrk (scripts/setup.sh --bench), sizes and seconds above 0\n");
        return 2;
    }

    QTemporaryDir work;
    GrowthBench bench(wrk, curl, seconds, work);
    std::optional<LocalPostgres> postgres;
    for (const QString &store : stores) {
        const bool onPostgres = store == u"postgresql"_s;
        if (onPostgres) {
            postgres.emplace();
            if (!postgres->start()) {
                std::fprintf(stderr, "%s\n", qPrintable(postgres->errorString()));
                return 2;
            }
        }
        QList<QStringList> columns;
        QMap<qint64, std::pair<double, double>> costs;
        for (const qint64 size : sizes) {
            const QString database = onPostgres ? postgres->createDatabase(u"growth%1"_s.arg(size)) : QString();
            if (onPostgres && database.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(postgres->errorString()));
                return 2;
            }
            columns.append(bench.measure(size, database));
            costs.insert(size, {bench.firstPage(), bench.rareSearch()});
        }
        QString growth;
        if (costs.contains(100'000) && costs.contains(1'000'000) && costs[100'000].first > 0
            && costs[100'000].second > 0) {
            growth = u"| from 100 000 to 1 000 000: first page, rare search | "_s + u"| "_s.repeated(sizes.size() - 1)
                + u"%1x, %2x | at most 2x |"_s.arg(costs[1'000'000].first / costs[100'000].first, 0, 'f', 2)
                      .arg(costs[1'000'000].second / costs[100'000].second, 0, 'f', 2);
        }
        printTable(onPostgres ? u"PostgreSQL"_s : u"SQLite"_s, sizes, columns, growth);
        postgres.reset();
    }
    return 0;
}
