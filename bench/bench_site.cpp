// The reference site under load, next to nginx serving the same bytes as static files in the
// same run, both writing their access logs to a file as installed: the first page of each
// catalogue, plain and searched (cached once asked), to wrk at 50 connections, the two servers
// taking turns for five rounds each, so that a busy spell of the machine falls on both (the
// medians are shown); a 1 GiB file to curl at full speed. The user catalogue through nginx as the site's proxy: the
// site alone on SQLite, then one and two processes sharing a PostgreSQL store. Then what strangers cost it, each on a
// fresh site, read as growth of its peak resident memory: 10 clients (curl) uploading the largest allowed file at once,
// 64 connections asking for a 50 MB file and never reading, and a 5 MB form of "a&a&...". Usage: bench_site [seconds
// per wrk run, default 4]

#include "BenchSite.h"
#include "LocalNginx.h"

#include "support/LocalPostgres.h"

#include "site/forms/UserUpload.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

constexpr int Connections = 50;
constexpr int Rounds = 5;
constexpr int Uploaders = 10;
constexpr int Idlers = 64;
constexpr double MiB = 1024 * 1024;

struct Page
{
    const char *name;
    QString target;
};

const QList<Page> Pages = {
    {"official catalogue, first page", u"/guanfang/admin_upload.php?page=1"_s},
    {"official catalogue, searched", u"/guanfang/admin_upload.php?page=1&q=%E8%BD%AF%E4%BB%B6&t=0"_s},
    {"user catalogue, first page", u"/wangyou/users_upload.php?page=1"_s},
    {"user catalogue, searched", u"/wangyou/users_upload.php?page=1&q=%E6%95%99%E7%A8%8B"_s},
};

double requestsPerSecond(const QString &wrk, const QString &url, int seconds)
{
    const QByteArray output = run(wrk, {u"-t1"_s, u"-c%1"_s.arg(Connections), u"-d%1s"_s.arg(seconds), url});
    static const QRegularExpression rate(u"Requests/sec:\\s+([0-9.]+)"_s);
    const QRegularExpressionMatch match = rate.match(QString::fromLatin1(output));
    // Errors or non-2xx answers would make the rate meaningless.
    if (!match.hasMatch() || output.contains("Non-2xx") || output.contains("Socket errors"))
        return 0;
    return match.captured(1).toDouble();
}

// A file of size bytes that takes no room on disk, read as zeros.
bool makeFile(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(size);
}

// Bytes a second curl reads url at, to /dev/null; 0 when it failed.
double downloadSpeed(const QString &curl, const QString &url)
{
    return run(curl, {u"-sf"_s, u"-o"_s, u"/dev/null"_s, u"-w"_s, u"%{speed_download}"_s, url}).toDouble();
}

QTcpSocket *connectTo(const SiteProcess &site, QObject *parent)
{
    auto *socket = new QTcpSocket(parent);
    socket->connectToHost(QHostAddress::LocalHost, site.port());
    socket->waitForConnected();
    return socket;
}

QByteArray host(const SiteProcess &site)
{
    return "127.0.0.1:" + QByteArray::number(site.port());
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 4;
    const QStringList systemFolders{u"/usr/sbin"_s, u"/usr/bin"_s, u"/sbin"_s, u"/bin"_s};
    const QString curl = QStandardPaths::findExecutable(u"curl"_s, systemFolders);
    const QString wrk = QStandardPaths::findExecutable(u"wrk"_s, systemFolders);
    if (seconds <= 0 || curl.isEmpty() || wrk.isEmpty()) {
        std::fprintf(stderr, "needs nginx, curl and wrk (scripts/setup.sh --bench) and a number of seconds\n");
        return 2;
    }

    QTemporaryDir work;
    SiteProcess site;
    if (!site.start(work.filePath(u"site"_s))) {
        std::fprintf(stderr, "the site did not start\n");
        return 2;
    }
    // nginx serves each page's bytes, as the site sends them, from a file of its own.
    QDir().mkpath(work.filePath(u"www"_s));
    for (qsizetype i = 0; i < Pages.size(); ++i) {
        QFile copy(work.filePath(u"www/page%1.txt"_s.arg(i)));
        const QByteArray bytes = run(curl, {u"-sf"_s, site.root() + Pages[i].target});
        if (bytes.isEmpty() || !copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot copy %s\n", Pages[i].name);
            return 2;
        }
    }
    LocalNginx nginx;
    if (!nginx.start(work.path(), LocalNginx::Log::Combined))
        return 2;

    for (qsizetype i = 0; i < Pages.size(); ++i) {
        QList<double> siteRates;
        QList<double> nginxRates;
        for (int round = 0; round < Rounds; ++round) {
            siteRates.append(requestsPerSecond(wrk, site.root() + Pages[i].target, seconds));
            nginxRates.append(requestsPerSecond(wrk, nginx.url(u"page%1.txt"_s.arg(i)), seconds));
        }
        const double ours = median(siteRates);
        const double theirs = median(nginxRates);
        std::printf("| site, %s: requests a second at %d connections (wrk), access logs on | %.0f (nginx, same "
                    "bytes: %.0f; %.2fx) | at least 1.0x nginx |\n",
                    Pages[i].name, Connections, ours, theirs, theirs > 0 ? ours / theirs : 0.0);
        std::fflush(stdout);
    }
    // The user catalogue through nginx passing requests on, from the site on SQLite, then from
    // one and from two processes on one PostgreSQL store.
    {
        LocalPostgres postgres;
        const QString database = postgres.start() ? postgres.createDatabase(u"bench"_s) : QString();
        if (database.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(postgres.errorString()));
            return 2;
        }
        const QStringList shared{u"--database"_s, database, u"--origin"_s, u"http://127.0.0.1"_s};
        SiteProcess first;
        SiteProcess second;
        if (!first.start(work.filePath(u"first"_s), shared) || !second.start(work.filePath(u"second"_s), shared))
            return 2;
        QDir().mkpath(work.filePath(u"proxy"_s));
        const auto throughNginx = [&](const QList<quint16> &ports) {
            LocalNginx proxy;
            proxy.proxyTo(ports);
            return proxy.start(work.filePath(u"proxy"_s))
                ? requestsPerSecond(wrk, proxy.url(u"wangyou/users_upload.php?page=1"_s), seconds)
                : 0.0;
        };
        // The SQLite site takes requests for its own address only; nginx gives its Host.
        SiteProcess alone;
        if (!alone.start(work.filePath(u"alone"_s), {u"--origin"_s, u"http://127.0.0.1"_s}))
            return 2;
        const double sqlite = throughNginx({alone.port()});
        const double one = throughNginx({first.port()});
        const double two = throughNginx({first.port(), second.port()});
        std::printf("| site behind nginx, user catalogue, first page: requests a second at %d connections (wrk), "
                    "on PostgreSQL with one and with two processes | one: %.0f, two: %.0f (SQLite, one process: "
                    "%.0f) | at least 10 000 |\n",
                    Connections, one, two, sqlite);
        std::fflush(stdout);
    }
    // A large file at full speed, from both.
    constexpr qint64 LargeFile = 1024 * 1024 * 1024;
    if (!makeFile(work.filePath(u"www/large.bin"_s), LargeFile)
        || !makeFile(work.filePath(u"site/wangyou/up/large.bin"_s), LargeFile))
        return 2;
    const double siteSpeed = downloadSpeed(curl, site.root() + u"/wangyou/up/large.bin"_s);
    const double nginxSpeed = downloadSpeed(curl, nginx.url(u"large.bin"_s));
    std::printf("| site: a 1 GiB file at --rate 0 (curl), MiB a second | %.0f (nginx: %.0f; %.2fx) | at least 0.8x "
                "nginx |\n",
                siteSpeed / MiB, nginxSpeed / MiB, nginxSpeed > 0 ? siteSpeed / nginxSpeed : 0.0);
    std::fflush(stdout);
    nginx.stop();

    // The largest file the site takes, sent by 10 clients at once.
    const QString upload = work.filePath(u"largest.bin"_s);
    if (!makeFile(upload, UserUpload::MaxFileBytes))
        return 2;
    {
        SiteProcess fresh;
        if (!fresh.start(work.filePath(u"uploads"_s)))
            return 2;
        const qint64 before = fresh.peak();
        std::vector<std::unique_ptr<QProcess>> clients;
        for (int i = 0; i < Uploaders; ++i) {
            clients.push_back(std::make_unique<QProcess>());
            clients.back()->start(curl,
                                  {u"-s"_s, u"-o"_s, u"/dev/null"_s, u"-w"_s, u"%{http_code}"_s, u"-F"_s,
                                   u"category=软件"_s, u"-F"_s, u"title=大文件 %1"_s.arg(i), u"-F"_s,
                                   u"file=@"_s + upload, fresh.root() + u"/wangyou/"_s});
        }
        int stored = 0;
        for (const auto &client : clients) {
            client->waitForFinished(-1);
            stored += client->readAllStandardOutput() == "303" ? 1 : 0;
        }
        std::printf("| site: peak resident growth, %d clients uploading %lld MiB each at once | %.1f MiB (%d of %d "
                    "stored) | under 32 MiB, all stored |\n",
                    Uploaders, UserUpload::MaxFileBytes / (1024 * 1024), double(fresh.peak() - before) / MiB, stored,
                    Uploaders);
        std::fflush(stdout);
    }

    // Downloads that are asked for and never read: what the site holds for them.
    {
        SiteProcess fresh;
        if (!makeFile(work.filePath(u"idle/wangyou/up/fifty.bin"_s), 50 * 1000 * 1000)
            || !fresh.start(work.filePath(u"idle"_s)))
            return 2;
        const qint64 before = fresh.peak();
        QObject sockets;
        for (int i = 0; i < Idlers; ++i) {
            QTcpSocket *socket = connectTo(fresh, &sockets);
            // Unread bytes stay in the kernel: no event loop runs to take them.
            socket->write("GET /wangyou/up/fifty.bin HTTP/1.1\r\nHost: " + host(fresh) + "\r\n\r\n");
            socket->waitForBytesWritten();
        }
        QThread::sleep(5);
        std::printf("| site: peak resident growth, %d connections asking for a 50 MB file and never reading | "
                    "%.1f MiB | under 16 MiB |\n",
                    Idlers, double(fresh.peak() - before) / MiB);
        std::fflush(stdout);
    }

    // A form of 2.5 million empty fields.
    {
        SiteProcess fresh;
        if (!fresh.start(work.filePath(u"flood"_s)))
            return 2;
        const qint64 before = fresh.peak();
        const QByteArray flood = QByteArray("a&").repeated(5 * 1000 * 1000 / 2);
        QTcpSocket *socket = connectTo(fresh, &app);
        QElapsedTimer clock;
        clock.start();
        socket->write("POST /nds_wd-nds_wd.html HTTP/1.1\r\nHost: " + host(fresh)
                      + "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                      + QByteArray::number(flood.size()) + "\r\nConnection: close\r\n\r\n" + flood);
        QByteArray answer;
        while (!answer.contains("\r\n") && (socket->bytesAvailable() > 0 || socket->waitForReadyRead(60000)))
            answer += socket->readAll();
        const qint64 elapsed = clock.elapsed();
        std::printf("| site: a 5 MB form of \"a&a&...\": answer, its time and peak resident growth | %s in %lld ms, "
                    "%.1f MiB | 400 within 100 ms, under 8 MiB |\n",
                    answer.isEmpty() ? "no answer" : answer.split(' ').value(1).constData(), elapsed,
                    double(fresh.peak() - before) / MiB);
    }
    return 0;
}
