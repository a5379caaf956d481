// Downloads one large file over loopback from nginx with AsyncReader + Downloader and with
// curl -o in the same run, and prints throughput, peak resident memory growth and the rate of
// progress notifications; then downloads it once more, cut at half-way and resumed, and prints
// how many bytes nginx sent for it in all (from its access log).
// Usage: bench_download [size in MiB, default 1024]

#include "LocalNginx.h"

#include "download/Downloader.h"
#include "download/MessageBox.h"
#include "platform/AsyncReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <map>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr int Rounds = 3;

class PrintingMessageBox : public MessageBox
{
public:
    void show(Icon, const QString &title, const QString &text) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    }
};

struct Figures
{
    double seconds = 0;
    bool succeeded = false;
    qint64 residentGrowth = 0;
    qint64 notifications = 0;
    qint64 busiestSecond = 0;
};

// Restarts the kernel's peak-resident count, so that the peak is that of the download alone.
void resetPeakResident()
{
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

bool writeServedFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(MiB, '\0');
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char(i * 31 % 253);
    for (qint64 written = 0; written < size; written += block.size()) {
        if (file.write(block) != block.size())
            return false;
    }
    return true;
}

Figures downloadWithCurl(const QString &curl, const QString &url, const QString &target)
{
    Figures figures;
    QElapsedTimer clock;
    clock.start();
    const int exitCode = QProcess::execute(curl, {u"-s"_s, u"-f"_s, u"-o"_s, target, url});
    figures.seconds = clock.nsecsElapsed() / 1e9;
    figures.succeeded = exitCode == 0;
    return figures;
}

Figures downloadWithDownloader(const QString &url, const QString &target)
{
    PrintingMessageBox messageBox;
    Downloader downloader(std::make_unique<AsyncReader>(), messageBox);
    Figures figures;
    std::map<qint64, qint64> perSecond;
    QElapsedTimer clock;
    QEventLoop loop;
    QObject::connect(&downloader, &Downloader::DownloadProgress, [&] {
        ++figures.notifications;
        ++perSecond[clock.elapsed() / 1000];
    });
    QObject::connect(&downloader, &Downloader::DownloadComplete, [&] { figures.succeeded = true; });
    QObject::connect(&downloader, &Downloader::DownloadAllComplete, &loop, &QEventLoop::quit);

    const qint64 residentBefore = LocalNginx::statusField(u"self"_s, "VmRSS:");
    resetPeakResident();
    clock.start();
    downloader.BeginDownload(url, target);
    loop.exec();
    figures.seconds = clock.nsecsElapsed() / 1e9;
    figures.residentGrowth = LocalNginx::statusField(u"self"_s, "VmHWM:") - residentBefore;
    for (const auto &[second, count] : perSecond)
        figures.busiestSecond = qMax(figures.busiestSecond, count);
    return figures;
}

// Starts a download and stops it (as closing the window does) once half the file is on disk,
// then starts it again, which continues from the partial file. True when the file ends whole.
bool downloadCutAtHalf(const QString &url, const QString &target, qint64 size)
{
    PrintingMessageBox messageBox;
    {
        QEventLoop loop;
        auto *first = new Downloader(std::make_unique<AsyncReader>(), messageBox);
        QObject::connect(first, &Downloader::DownloadProgress, [&](qint64 done) {
            if (done >= size / 2 && !loop.property("cut").toBool()) {
                loop.setProperty("cut", true);
                first->deleteLater();
                loop.quit();
            }
        });
        QObject::connect(first, &Downloader::DownloadAllComplete, &loop, &QEventLoop::quit);
        first->BeginDownload(url, target);
        loop.exec();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    Downloader second(std::make_unique<AsyncReader>(), messageBox);
    bool completed = false;
    QEventLoop loop;
    QObject::connect(&second, &Downloader::DownloadComplete, [&] { completed = true; });
    QObject::connect(&second, &Downloader::DownloadAllComplete, &loop, &QEventLoop::quit);
    second.BeginDownload(url, target);
    loop.exec();
    return completed && QFileInfo(target).size() == size;
}

// The bytes nginx logged as sent for the requests of uri.
qint64 bytesSentFor(const QString &accessLog, const QByteArray &uri)
{
    QFile log(accessLog);
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    qint64 sent = 0;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && fields[0] == uri)
            sent += fields[2].toLongLong();
    }
    return sent;
}

bool sameContent(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        if (first.read(4 * MiB) != second.read(4 * MiB))
            return false;
    }
    return true;
}

double mibPerSecond(qint64 size, const Figures &figures)
{
    return figures.succeeded ? double(size) / MiB / figures.seconds : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 size = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024) * MiB;
    const QStringList systemFolders{u"/usr/sbin"_s, u"/usr/bin"_s, u"/sbin"_s, u"/bin"_s};
    const QString curl = QStandardPaths::findExecutable(u"curl"_s, systemFolders);
    if (size <= 0 || curl.isEmpty()) {
        std::fprintf(stderr, "needs nginx and curl (scripts/setup.sh --bench) and a size in MiB\n");
        return 2;
    }

    QTemporaryDir work;
    const QString served = work.filePath(u"www/big.bin"_s);
    if (!QDir().mkpath(work.filePath(u"www"_s)) || !writeServedFile(served, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(served));
        return 2;
    }
    LocalNginx server;
    if (!server.start(work.path(), LocalNginx::Log::BytesSent))
        return 2;

    const QString url = server.url(u"big.bin"_s);
    const QString target = work.filePath(u"downloaded.bin"_s);
    double bestCurl = 0;
    double bestOurs = 0;
    Figures worst;
    double fastestRate = 0;
    for (int round = 1; round <= Rounds; ++round) {
        const Figures byCurl = downloadWithCurl(curl, url, target);
        QFile::remove(target);
        Figures ours = downloadWithDownloader(url, target);
        ours.succeeded = ours.succeeded && QFileInfo(target).size() == size;
        QFile::remove(target);
        const double rate = ours.notifications / ours.seconds;
        std::printf("round %d: curl -o %.0f MiB/s; AsyncReader+Downloader %.0f MiB/s, %.1f MiB resident "
                    "growth, %.1f progress notifications a second (%lld in the busiest second)%s\n",
                    round, mibPerSecond(size, byCurl), mibPerSecond(size, ours),
                    double(ours.residentGrowth) / MiB, rate, ours.busiestSecond,
                    ours.succeeded ? "" : ", FAILED");
        bestCurl = qMax(bestCurl, mibPerSecond(size, byCurl));
        bestOurs = qMax(bestOurs, mibPerSecond(size, ours));
        worst.residentGrowth = qMax(worst.residentGrowth, ours.residentGrowth);
        worst.busiestSecond = qMax(worst.busiestSecond, ours.busiestSecond);
        fastestRate = qMax(fastestRate, rate);
    }
    // Its own address, so that the log tells its requests apart from the rounds above.
    const bool resumed = downloadCutAtHalf(url + u"?cut"_s, target, size) && sameContent(served, target);
    QFile::remove(target);
    server.stop();  // writes out its log
    const qint64 sent = bytesSentFor(work.filePath(u"access.log"_s), "/big.bin?cut");

    std::printf("file: %lld MiB over loopback from nginx, best of %d rounds each\n", size / MiB, Rounds);
    std::printf("throughput: %.2fx curl (%.0f vs %.0f MiB/s; target >= 0.8x, >= 0.9x with resume support)\n",
                bestCurl > 0 ? bestOurs / bestCurl : 0.0, bestOurs, bestCurl);
    std::printf("cut at half-way and resumed: %s, nginx sent %.4fx the file (%lld bytes; target <= 1.01x)\n",
                resumed ? "file whole" : "FAILED", double(sent) / double(size), sent);
    std::printf("peak resident growth: %.1f MiB at most (target < 64 MiB)\n", double(worst.residentGrowth) / MiB);
    std::printf("progress notifications: %.1f a second at most on average, %lld in the busiest second "
                "(target <= ~60)\n", fastestRate, worst.busiestSecond);
    std::printf("| download of %lld MiB over loopback: throughput against `curl -o` | %.2fx (%.0f vs %.0f MiB/s) | at "
                "least 0.8x |\n", size / MiB, bestCurl > 0 ? bestOurs / bestCurl : 0.0, bestOurs, bestCurl);
    std::printf("| download with resume support: throughput against `curl -o` | %.2fx | at least 0.9x |\n",
                bestCurl > 0 ? bestOurs / bestCurl : 0.0);
    std::printf("| download cut once at half-way and resumed: bytes nginx sent | %.4fx the file%s | at most 1.01x |\n",
                double(sent) / double(size), resumed ? "" : " (FAILED)");
    std::printf("| download: peak resident memory growth | %.1f MiB | under 64 MiB |\n",
                double(worst.residentGrowth) / MiB);
    std::printf("| download: progress notifications (bar redraws) | %lld in the busiest second | about 60 a second "
                "at most |\n", worst.busiestSecond);
    return 0;
}
