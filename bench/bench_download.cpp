// Downloads one large file over loopback from nginx with AsyncReader + Downloader and with
// curl -o in the same run, in several rounds. The client's download ends with the file synced
// and in place, so each round also times `sync -d` on curl's file (the same durability) and
// `dd conv=fdatasync` writing as many bytes into the same folder (what the disk itself allows),
// and the client's wait from the last byte received to the file in place. It prints those with
// peak resident memory growth and the rate of progress notifications; then downloads the file
// once more, cut at half-way and resumed, and prints how many bytes nginx sent for it in all
// (from its access log). Each round also downloads the file once more with its digest named
// (Repr-Digest), which the client checks as it writes, against the unchecked download of the
// same round, and both again with nginx keeping to PacedRate; the two SHA-256
// implementations at hand are timed on bytes in memory.
// Usage: bench_download [size in MiB, default 1024]

#include "LocalNginx.h"

#include "common/ReprDigest.h"
#include "common/Sha256.h"
#include "download/Downloader.h"
#include "download/MessageBox.h"
#include "platform/AsyncReader.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <tuple>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr int Rounds = 5;
// The loopback speed the downloads came to here in earlier, busier runs.
constexpr int PacedRate = 340;

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
    // From the last byte received to the file synced and in place.
    double tailSeconds = 0;
    qint64 residentGrowth = 0;
    qint64 notifications = 0;
    qint64 busiestSecond = 0;
    bool verified = false;  // checked against the digest its server named
};

// One round's figures, in seconds; 0 for a step that failed.
struct Round
{
    double curl = 0;
    double curlSync = 0;  // sync -d on curl's file, after curl
    Figures ours;
    Figures checked;  // the same download with its digest named, and so checked
    Figures paced;    // both again, nginx keeping to PacedRate
    Figures pacedChecked;
    double disk = 0;  // dd conv=fdatasync of as many bytes
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

// Seconds the program took, 0 when it failed.
double timeRun(const QString &program, const QStringList &arguments)
{
    QElapsedTimer clock;
    clock.start();
    const int exitCode = QProcess::execute(program, arguments);
    const double seconds = clock.nsecsElapsed() / 1e9;
    return exitCode == 0 ? seconds : 0;
}

// Writes out what is waiting for the disk under folder, so that a step does not pay for the
// write-back the one before left behind.
void settle(const QString &folder)
{
    QProcess::execute(u"sync"_s, {u"-f"_s, folder});
}

Figures downloadWithDownloader(const QString &url, const QString &target)
{
    PrintingMessageBox messageBox;
    Figures figures;
    QElapsedTimer clock;
    qint64 lastByteAt = 0;
    auto reader = std::make_unique<AsyncReader>();
    // Connected before the downloader is: it sees the last bytes before they are written.
    QObject::connect(reader.get(), &AsyncReader::AsyncReadProgress, [&](const AsyncProperty &property) {
        if (property.StatusCode == AsyncProperty::DownloadingData && property.BytesRead == property.BytesMax)
            lastByteAt = clock.nsecsElapsed();
    });
    Downloader downloader(std::move(reader), messageBox);
    std::map<qint64, qint64> perSecond;
    QEventLoop loop;
    QObject::connect(&downloader, &Downloader::DownloadProgress, [&] {
        ++figures.notifications;
        ++perSecond[clock.elapsed() / 1000];
    });
    QObject::connect(&downloader, &Downloader::DownloadComplete, [&] { figures.succeeded = true; });
    QObject::connect(&downloader, &Downloader::DownloadVerified, [&] { figures.verified = true; });
    QObject::connect(&downloader, &Downloader::DownloadAllComplete, &loop, &QEventLoop::quit);

    const qint64 residentBefore = LocalNginx::statusField(u"self"_s, "VmRSS:");
    resetPeakResident();
    clock.start();
    downloader.BeginDownload(url, target);
    loop.exec();
    const qint64 endedAt = clock.nsecsElapsed();
    figures.seconds = endedAt / 1e9;
    figures.tailSeconds = (endedAt - lastByteAt) / 1e9;
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

// The SHA-256 of the file, from libcrypto as the client takes it.
QByteArray sha256Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Sha256 digest;
    while (!file.atEnd())
        digest.addData(file.read(4 * MiB));
    return digest.result();
}

// MiB a second each implementation hashes 256 MiB at, libcrypto's, then Qt's own, a 256 KiB
// piece at a time from the cache, as a download's pieces come just after being read.
std::pair<double, double> sha256Rates()
{
    const QByteArray piece(256 * 1024, 'x');
    constexpr int Pieces = 1024;
    QElapsedTimer clock;
    clock.start();
    Sha256 ours;
    for (int n = 0; n < Pieces; ++n)
        ours.addData(piece);
    ours.result();
    const double oursSeconds = clock.nsecsElapsed() / 1e9;
    clock.restart();
    QCryptographicHash qt(QCryptographicHash::Sha256);
    for (int n = 0; n < Pieces; ++n)
        qt.addData(piece);
    qt.result();
    const double qtSeconds = clock.nsecsElapsed() / 1e9;
    return {256 / oursSeconds, 256 / qtSeconds};
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

// The first time over the second (how many times faster the second is); 0 when either failed.
double ratio(double first, double second)
{
    return first > 0 && second > 0 ? first / second : 0;
}

double mibPerSecond(qint64 size, double seconds)
{
    return seconds > 0 ? double(size) / MiB / seconds : 0;
}

double oursSeconds(const Round &round)
{
    return round.ours.succeeded ? round.ours.seconds : 0;
}

double curlSyncedSeconds(const Round &round)
{
    return round.curlSync > 0 ? round.curl + round.curlSync : 0;
}

// The round in the middle by key: its figures are printed whole, so that a ratio stands next
// to the times it was made of. Rounds is odd.
Round medianRound(QList<Round> rounds, const std::function<double(const Round &)> &key)
{
    std::sort(rounds.begin(), rounds.end(), [&](const Round &a, const Round &b) { return key(a) < key(b); });
    return rounds[rounds.size() / 2];
}

}  // namespace

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
    // The same file once more, under a name whose answers name its digest, as the site's do;
    // and both under names nginx sends at a rate a disk or a line could set.
    const QString digestField = u"add_header Repr-Digest \"%1\";"_s.arg(
        QString::fromLatin1(ReprDigest::fieldValue(sha256Of(served))));
    const QString pace = u"limit_rate %1m;"_s.arg(PacedRate);
    server.alsoServe(u"/checked.bin"_s, u"big.bin"_s, digestField);
    server.alsoServe(u"/paced.bin"_s, u"big.bin"_s, pace);
    server.alsoServe(u"/paced-checked.bin"_s, u"big.bin"_s, pace + digestField);
    if (!server.start(work.path(), LocalNginx::Log::BytesSent))
        return 2;

    const QString url = server.url(u"big.bin"_s);
    const QString checkedUrl = server.url(u"checked.bin"_s);
    const QString pacedUrl = server.url(u"paced.bin"_s);
    const QString pacedCheckedUrl = server.url(u"paced-checked.bin"_s);
    const QString target = work.filePath(u"downloaded.bin"_s);
    const QString written = work.filePath(u"written.bin"_s);
    QList<Round> rounds;
    for (int number = 1; number <= Rounds; ++number) {
        Round round;
        settle(work.path());
        round.curl = timeRun(curl, {u"-s"_s, u"-f"_s, u"-o"_s, target, url});
        if (round.curl > 0)
            round.curlSync = timeRun(u"sync"_s, {u"-d"_s, target});
        QFile::remove(target);
        settle(work.path());
        round.ours = downloadWithDownloader(url, target);
        round.ours.succeeded = round.ours.succeeded && QFileInfo(target).size() == size;
        QFile::remove(target);
        settle(work.path());
        for (auto [figures, address, checks] :
             {std::tuple{&round.checked, checkedUrl, true}, std::tuple{&round.paced, pacedUrl, false},
              std::tuple{&round.pacedChecked, pacedCheckedUrl, true}}) {
            *figures = downloadWithDownloader(address, target);
            figures->succeeded = figures->succeeded && figures->verified == checks && QFileInfo(target).size() == size;
            QFile::remove(target);
            settle(work.path());
        }
        // The same bytes, read from the page cache as nginx reads them.
        round.disk = timeRun(u"dd"_s,
                             {u"if="_s + served, u"of="_s + written, u"bs=1M"_s, u"conv=fdatasync"_s, u"status=none"_s});
        QFile::remove(written);
        const double ours = oursSeconds(round);
        const double curlSynced = curlSyncedSeconds(round);
        std::printf("round %d: synced and in place in %.2f s (%.0f ms after the last byte): %.2fx curl -o + sync -d "
                    "(%.2f + %.2f s), %.2fx the time of dd conv=fdatasync (%.2f s); %.2fx curl -o alone; "
                    "%.1f MiB resident growth, %.1f progress notifications a second (%lld in the busiest second)%s; "
                    "checked against its digest in %.2f s%s; at %d MiB/s, %.2f s and checked %.2f s\n",
                    number, round.ours.seconds, round.ours.tailSeconds * 1000, ratio(curlSynced, ours), round.curl,
                    round.curlSync, ratio(ours, round.disk), round.disk, ratio(round.curl, ours),
                    double(round.ours.residentGrowth) / MiB, round.ours.notifications / round.ours.seconds,
                    round.ours.busiestSecond, round.ours.succeeded ? "" : ", FAILED", round.checked.seconds,
                    round.checked.succeeded ? "" : ", FAILED", PacedRate, round.paced.seconds,
                    round.pacedChecked.seconds);
        std::fflush(stdout);
        rounds.append(round);
    }
    // Its own address, so that the log tells its requests apart from the rounds above.
    const bool resumed = downloadCutAtHalf(url + u"?cut"_s, target, size) && sameContent(served, target);
    QFile::remove(target);
    server.stop();  // writes out its log
    const qint64 sent = bytesSentFor(work.filePath(u"access.log"_s), "/big.bin?cut");

    // Medians of the rounds: the rounds interleave the three, so each round's ratios compare
    // them under the same load, whatever else the machine does.
    const auto againstSynced = [](const Round &round) { return ratio(curlSyncedSeconds(round), oursSeconds(round)); };
    const auto againstDisk = [](const Round &round) { return ratio(oursSeconds(round), round.disk); };
    const auto againstCurl = [](const Round &round) { return ratio(round.curl, oursSeconds(round)); };
    const auto seconds = [](const Figures &figures) { return figures.succeeded ? figures.seconds : 0; };
    const auto checkedAgainstUnchecked = [&](const Round &round) {
        return ratio(oursSeconds(round), seconds(round.checked));
    };
    const auto pacedCheckedAgainstUnchecked = [&](const Round &round) {
        return ratio(seconds(round.paced), seconds(round.pacedChecked));
    };
    const Round synced = medianRound(rounds, againstSynced);
    const Round checked = medianRound(rounds, checkedAgainstUnchecked);
    const Round pacedChecked = medianRound(rounds, pacedCheckedAgainstUnchecked);
    const Round disk = medianRound(rounds, againstDisk);
    const Round unsynced = medianRound(rounds, againstCurl);
    const Round tail = medianRound(rounds, [](const Round &round) { return round.ours.tailSeconds; });
    qint64 residentGrowth = 0;
    qint64 busiestSecond = 0;
    double fastestRate = 0;
    for (const Round &round : rounds) {
        residentGrowth = qMax(residentGrowth, round.ours.residentGrowth);
        busiestSecond = qMax(busiestSecond, round.ours.busiestSecond);
        fastestRate = qMax(fastestRate, round.ours.notifications / round.ours.seconds);
    }
    std::printf("file: %lld MiB over loopback from nginx; medians of %d rounds\n", size / MiB, Rounds);
    std::printf("| download of %lld MiB over loopback, synced and in place: throughput against `curl -o` then "
                "`sync -d` on its file (the same durability) | %.2fx (%.2f vs %.2f s) | at least 0.95x |\n",
                size / MiB, againstSynced(synced), oursSeconds(synced), curlSyncedSeconds(synced));
    std::printf("| the same download against the disk's own limit: `dd conv=fdatasync` of as many bytes into the "
                "same folder | %.2fx its time (%.2f vs %.2f s) | within 1.2x |\n",
                againstDisk(disk), oursSeconds(disk), disk.disk);
    std::printf("| download: from the last byte received to the file synced and in place | %.0f ms | — |\n",
                tail.ours.tailSeconds * 1000);
    std::printf("| download: throughput against `curl -o` alone, which leaves its file unsynced | %.2fx (%.0f vs "
                "%.0f MiB/s) | at least 0.8x; at least 0.9x with resume support |\n",
                againstCurl(unsynced), mibPerSecond(size, oursSeconds(unsynced)), mibPerSecond(size, unsynced.curl));
    std::printf("| download checked against the digest its server names (SHA-256 from libcrypto, as the bytes are "
                "written): throughput against the same download unchecked | %.3fx (%.2f vs %.2f s) | at least 0.95x |\n",
                checkedAgainstUnchecked(checked), checked.checked.seconds, oursSeconds(checked));
    std::printf("| the same, nginx sending at most %d MiB/s (`limit_rate`) | %.3fx (%.2f vs %.2f s) | at least 0.95x |\n",
                PacedRate, pacedCheckedAgainstUnchecked(pacedChecked), pacedChecked.pacedChecked.seconds,
                pacedChecked.paced.seconds);
    const auto [libcryptoRate, qtRate] = sha256Rates();
    std::printf("| SHA-256 of 256 MiB in 256 KiB pieces from the cache: OpenSSL's libcrypto, Qt's QCryptographicHash "
                "| %.0f MiB/s, %.0f MiB/s | — |\n",
                libcryptoRate, qtRate);
    std::printf("| download cut once at half-way and resumed: bytes nginx sent | %.4fx the file%s | at most 1.01x |\n",
                double(sent) / double(size), resumed ? "" : " (FAILED)");
    std::printf("| download: peak resident memory growth | %.1f MiB | under 64 MiB |\n", double(residentGrowth) / MiB);
    std::printf("| download: progress notifications (bar redraws) | %lld in the busiest second, %.1f a second on "
                "average | about 60 a second at most |\n",
                busiestSecond, fastestRate);
    return 0;
}
