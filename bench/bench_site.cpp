// The reference site under load. Serves the first page of each catalogue, plain and searched,
// to wrk at 50 connections, next to nginx serving the same bytes as static files in the same
// run; then has 10 clients (curl) upload the largest allowed file at once and reads the site's
// peak resident memory. Usage: bench_site [seconds per wrk run, default 10]

#include "LocalNginx.h"

#include "site/forms/UserUpload.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int Connections = 50;
constexpr int Uploaders = 10;

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

// Runs a program to its end and returns what it printed; empty when it failed.
QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

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

// The site's own program on a fresh data folder.
class Site
{
public:
    bool start(const QString &dataPath)
    {
        m_port = LocalNginx::freeLoopbackPort();
        m_process.start(QStringLiteral(QUILLMERE_SITE_EXECUTABLE),
                        {u"--port"_s, QString::number(m_port), u"--data"_s, dataPath, u"--uploads-per-minute"_s,
                         u"0"_s, u"--no-access-log"_s});
        return m_process.waitForStarted() && LocalNginx::waitUntilListening(m_port);
    }
    ~Site()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }
    QString root() const { return u"http://127.0.0.1:%1"_s.arg(m_port); }
    QString pid() const { return QString::number(m_process.processId()); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 10;
    const QStringList systemFolders{u"/usr/sbin"_s, u"/usr/bin"_s, u"/sbin"_s, u"/bin"_s};
    const QString curl = QStandardPaths::findExecutable(u"curl"_s, systemFolders);
    const QString wrk = QStandardPaths::findExecutable(u"wrk"_s, systemFolders);
    if (seconds <= 0 || curl.isEmpty() || wrk.isEmpty()) {
        std::fprintf(stderr, "needs nginx, curl and wrk (scripts/setup.sh --bench) and a number of seconds\n");
        return 2;
    }

    QTemporaryDir work;
    Site site;
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
    if (!nginx.start(work.path()))
        return 2;

    for (qsizetype i = 0; i < Pages.size(); ++i) {
        const double ours = requestsPerSecond(wrk, site.root() + Pages[i].target, seconds);
        const double theirs = requestsPerSecond(wrk, nginx.url(u"page%1.txt"_s.arg(i)), seconds);
        std::printf("| site, %s: requests a second at %d connections (wrk) | %.0f (nginx, same bytes: %.0f) | at "
                    "least 10 000 |\n", Pages[i].name, Connections, ours, theirs);
        std::fflush(stdout);
    }
    // The largest file the site takes, sent by 10 clients at once.
    const QString upload = work.filePath(u"largest.bin"_s);
    QFile file(upload);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(UserUpload::MaxFileBytes))
        return 2;
    file.close();
    const qint64 residentBefore = LocalNginx::statusField(site.pid(), "VmRSS:");
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < Uploaders; ++i) {
        clients.push_back(std::make_unique<QProcess>());
        clients.back()->start(curl, {u"-s"_s, u"-o"_s, u"/dev/null"_s, u"-w"_s, u"%{http_code}"_s, u"-F"_s,
                                     u"category=软件"_s, u"-F"_s, u"title=大文件 %1"_s.arg(i), u"-F"_s,
                                     u"file=@"_s + upload, site.root() + u"/wangyou/"_s});
    }
    int stored = 0;
    for (const auto &client : clients) {
        client->waitForFinished(-1);
        stored += client->readAllStandardOutput() == "303" ? 1 : 0;
    }
    const qint64 peak = LocalNginx::statusField(site.pid(), "VmHWM:");
    std::printf("| site: peak resident memory, %d clients uploading %lld MiB each at once | %.0f MiB (%.0f MiB before; "
                "%d of %d stored) | bounded |\n", Uploaders, UserUpload::MaxFileBytes / (1024 * 1024),
                double(peak) / (1024 * 1024), double(residentBefore) / (1024 * 1024), stored, Uploaders);
    return 0;
}
