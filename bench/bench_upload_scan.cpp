// Ten clients uploading the largest file the site takes (50 MiB) at once to the site as it runs
// in public, access log on, with every upload scanned by a real clamd (with the signatures a
// test writes, as no signature database is downloaded here) before it is stored: every upload
// stored, the growth of the site's peak resident memory (VmHWM, and VmRSS sampled as it goes),
// and how long a cached catalogue page takes meanwhile, asked for again and again on a
// connection of its own.
// Usage: bench_upload_scan

#include "LocalNginx.h"

#include "support/LocalClamd.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int Uploaders = 10;
constexpr qint64 FileBytes = 50 * 1024 * 1024;
constexpr double MiB = 1024 * 1024;
const QByteArray CataloguePage = "/wangyou/users_upload.php?page=1";

// A file of its own bytes, so that no upload is stored once for another.
bool makeFile(const QString &path, quint32 seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator random(seed);
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    for (qint64 written = 0; written < FileBytes; written += piece.size()) {
        random.fillRange(reinterpret_cast<quint32 *>(piece.data()), piece.size() / 4);
        if (file.write(piece) != piece.size())
            return false;
    }
    return true;
}

// One GET on a kept-alive connection, read to the end of its body; its time in ms, or -1.
double timedGet(QTcpSocket &socket, const QByteArray &host)
{
    QElapsedTimer timer;
    timer.start();
    socket.write("GET " + CataloguePage + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    QByteArray answer;
    qsizetype headEnd = -1;
    qint64 length = -1;
    while (headEnd < 0 || answer.size() < headEnd + 4 + length) {
        if (!socket.waitForReadyRead(30000))
            return -1;
        answer += socket.readAll();
        if (headEnd < 0 && (headEnd = answer.indexOf("\r\n\r\n")) >= 0) {
            const qsizetype field = answer.toLower().indexOf("content-length:");
            if (field < 0 || !answer.startsWith("HTTP/1.1 200"))
                return -1;
            length = answer.mid(field + 15, answer.indexOf('\r', field) - field - 15).trimmed().toLongLong();
        }
    }
    return timer.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString curl = QStandardPaths::findExecutable(u"curl"_s, {u"/usr/bin"_s, u"/bin"_s});
    if (curl.isEmpty()) {
        std::fprintf(stderr, "needs curl (scripts/setup.sh --bench)\n");
        return 2;
    }
    QTemporaryDir work;
    LocalClamd clamd;
    if (!work.isValid() || !clamd.start()) {
        std::fprintf(stderr, "clamd did not start: %s\n", qPrintable(clamd.errorString()));
        return 2;
    }
    QStringList files;
    for (int i = 0; i < Uploaders; ++i) {
        files.append(work.filePath(u"upload-%1.bin"_s.arg(i)));
        if (!makeFile(files.last(), quint32(i + 1)))
            return 2;
    }

    // As it runs in public: the defaults, access log included, and scanning on.
    const quint16 port = LocalNginx::freeLoopbackPort();
    QProcess site;
    site.setStandardOutputFile(QProcess::nullDevice());
    site.start(QStringLiteral(QUILLMERE_SITE_EXECUTABLE),
               {u"--port"_s, QString::number(port), u"--data"_s, work.filePath(u"site"_s), u"--scan"_s, clamd.address()});
    if (!site.waitForStarted() || !LocalNginx::waitUntilListening(port))
        return 2;
    const QString pid = QString::number(site.processId());
    const QByteArray host = "127.0.0.1:" + QByteArray::number(port);
    QTcpSocket reader;
    reader.connectToHost(QHostAddress::LocalHost, port);
    if (!reader.waitForConnected() || timedGet(reader, host) < 0)
        return 2;
    const qint64 before = LocalNginx::statusField(pid, "VmHWM:");
    const qint64 residentBefore = LocalNginx::statusField(pid, "VmRSS:");

    // Ten clients, each from an address of its own.
    QElapsedTimer elapsed;
    elapsed.start();
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < Uploaders; ++i) {
        clients.push_back(std::make_unique<QProcess>());
        clients.back()->start(curl,
                              {u"-s"_s, u"-o"_s, u"/dev/null"_s, u"-w"_s, u"%{http_code}"_s, u"--interface"_s,
                               u"127.0.0.%1"_s.arg(i + 2), u"-F"_s, u"category=软件"_s, u"-F"_s,
                               u"title=大文件 %1"_s.arg(i), u"-F"_s, u"file=@"_s + files.at(i),
                               u"http://%1/wangyou/"_s.arg(QString::fromLatin1(host))});
    }
    // The cached page, asked for every 20 ms until the last upload is answered.
    std::vector<double> times;
    qint64 residentMost = residentBefore;
    const auto running = [&] {
        return std::any_of(clients.cbegin(), clients.cend(),
                           [](const auto &client) { return client->state() != QProcess::NotRunning; });
    };
    while (running()) {
        const double ms = timedGet(reader, host);
        if (ms < 0) {
            std::fprintf(stderr, "the catalogue page was not answered\n");
            return 1;
        }
        times.push_back(ms);
        residentMost = std::max(residentMost, LocalNginx::statusField(pid, "VmRSS:"));
        for (const auto &client : clients)
            client->waitForFinished(20);
    }
    const double seconds = elapsed.elapsed() / 1000.0;
    int stored = 0;
    for (const auto &client : clients)
        stored += client->readAllStandardOutput() == "303" ? 1 : 0;
    const qint64 peak = LocalNginx::statusField(pid, "VmHWM:");

    // Each one scanned, as the operator's listing says.
    QProcess list;
    list.start(
        QStringLiteral(QUILLMERE_SITE_EXECUTABLE),
        {u"list"_s, u"resources"_s, u"--recent"_s, QString::number(Uploaders), u"--data"_s, work.filePath(u"site"_s)});
    list.waitForFinished();
    const int clean = int(QString::fromUtf8(list.readAllStandardOutput()).count(u"\tclean"_s));

    std::sort(times.begin(), times.end());
    std::printf("| site, scanning with clamd: %d clients uploading %lld MiB each at once | %d of %d stored, %d scanned "
                "clean, in %.1f s; peak resident growth %.1f MiB (resident, sampled meanwhile: %+.1f MiB at most) | "
                "all stored, under 32 MiB |\n",
                Uploaders, FileBytes / (1024 * 1024), stored, Uploaders, clean, seconds, double(peak - before) / MiB,
                double(residentMost - residentBefore) / MiB);
    std::printf("| site, scanning with clamd: a cached catalogue page meanwhile, asked %zu times | longest %.1f ms, "
                "median %.1f ms | within 20 ms |\n",
                times.size(), times.back(), times.at(times.size() / 2));
    site.terminate();
    site.waitForFinished();
    return 0;
}
