#include "site/SiteServer.h"
#include "site/admin/AdminCommand.h"
#include "site/store/SiteStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

#include <csignal>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

// Every connection holds a file descriptor; the usual soft limit of 1024 is below the
// connections the site takes.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// systemd stops the site with SIGTERM, a terminal with SIGINT: either leaves the event loop, so
// that the server flushes the access log lines it batches. The signals are blocked and read
// from a descriptor, so nothing runs inside a signal handler.
void quitOnTermination(QCoreApplication &app)
{
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGINT);
    const int descriptor = ::signalfd(-1, &stopping, SFD_NONBLOCK | SFD_CLOEXEC);
    // Without the descriptor the signals keep ending the site at once, as they always did.
    if (descriptor < 0 || ::sigprocmask(SIG_BLOCK, &stopping, nullptr) != 0)
        return;
    auto *notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [descriptor] {
        signalfd_siginfo received{};
        while (::read(descriptor, &received, sizeof received) == qint64(sizeof received)) { }
        QCoreApplication::quit();
    });
}

int fail(const QString &message)
{
    QTextStream(stderr) << "quillmere-site: " << message << Qt::endl;
    return 1;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quillmere-site"_s);
    // Warnings and errors go to standard error with their level, for the journal to keep.
    qSetMessagePattern(u"%{if-warning}warning: %{endif}%{if-critical}error: %{endif}%{if-fatal}fatal: %{endif}"
                       "%{message}"_s);
    const QString defaultData = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!AdminCommand::commandIn(app.arguments()).isEmpty())
        return AdminCommand::run(app.arguments(), defaultData);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"The Quillmere community site: both catalogues, their pages and files.\n\n"_s
                                     + AdminCommand::usage());
    parser.addHelpOption();
    const QCommandLineOption hostOption(u"host"_s, u"Address to listen on."_s, u"address"_s, u"127.0.0.1"_s);
    const QCommandLineOption portOption(u"port"_s, u"Port to listen on; 0 picks a free one."_s, u"port"_s, u"8642"_s);
    const QCommandLineOption dataOption(u"data"_s, u"Folder of the database and the files; seeded when new."_s,
                                        u"folder"_s, defaultData);
    const QCommandLineOption databaseOption(
        u"database"_s,
        u"The database: sqlite:PATH (the default, site.sqlite in the data folder) or postgresql://user@host/database "
        "for several site processes; else taken from QUILLMERE_DATABASE. A password comes from PGPASSWORD or "
        "~/.pgpass, not from the command line."_s,
        u"address"_s);
    const QCommandLineOption rateOption(u"rate"_s, u"Send files at most this many KiB a second; 0 for no limit."_s,
                                        u"KiB"_s, u"0"_s);
    const QCommandLineOption messageOption(u"message-interval"_s,
                                           u"Seconds between two messages from one address; 0 for no limit."_s,
                                           u"seconds"_s, u"10"_s);
    const QCommandLineOption uploadOption(
        u"uploads-per-minute"_s, u"Uploads one address may make in a minute; 0 for no limit."_s, u"count"_s, u"3"_s);
    const QCommandLineOption quotaOption(
        u"upload-quota"_s,
        u"MB one address (an IPv6 /64) may upload in 24 hours, counted in the store; 0 for no limit."_s, u"MB"_s,
        QString::number(UploadShare::DefaultBytesPerDay / (1024 * 1024)));
    const QCommandLineOption reserveOption(
        u"free-space-reserve"_s,
        u"MB of the files folder's disk that uploads never take: past that, they are refused with 507."_s, u"MB"_s,
        QString::number(UploadShare::DefaultReserveBytes / (1024 * 1024)));
    const QCommandLineOption scanOption(
        u"scan"_s,
        u"Scan each upload before it is stored, with the clamd at this socket (clamd:/run/clamav/clamd.ctl)."_s,
        u"clamd:socket"_s);
    const QCommandLineOption scanUnavailableOption(
        u"scan-unavailable"_s,
        u"When clamd cannot scan an upload: refuse it, or hold it unpublished until quillmere-site scan passes it."_s,
        u"refuse|hold"_s, u"refuse"_s);
    const QCommandLineOption connectionsOption(
        u"max-connections"_s,
        u"Connections held at once; past that, idle ones give way to a newcomer, and else it is told 503."_s,
        u"count"_s, u"1000"_s);
    const QCommandLineOption clientConnectionsOption(
        u"client-connections"_s,
        u"Connections one client may hold (an IPv4 address, an IPv6 /64); behind a trusted proxy, its requests "
        "in progress."_s,
        u"count"_s, u"64"_s);
    const QCommandLineOption noAccessLogOption(u"no-access-log"_s,
                                               u"Write no line for each request on standard output."_s);
    const QCommandLineOption originOption(
        u"origin"_s,
        u"An address the site is reached by, such as https://example.org or, served under a path, "
        "https://example.org/share/; may be given again. Requests for other hosts are refused, posts from other "
        "origins too, and pages link to the first. Paths are answered with the origin's path before them or "
        "without it. Default: the listening address and port, and localhost and [::1] on that port."_s,
        u"URL"_s);
    const QCommandLineOption proxyOption(
        u"trusted-proxy"_s,
        u"A proxy in front of the site, as an address or a network such as 10.0.0.0/8; may be given again. Only "
        "from these is X-Forwarded-For believed, for flood limits, blocks, stored addresses and the access log."_s,
        u"address"_s);
    const QCommandLineOption filesOption(
        u"files"_s,
        u"Folder of the uploaded and official files, which several site processes may share. Default: "
        "the data folder."_s,
        u"folder"_s);
    const QCommandLineOption accelOption(
        u"accel-redirect"_s,
        u"Leave sending files to nginx: answer them with X-Accel-Redirect naming this prefix (such as /_files) and "
        "the file's path below the files folder."_s,
        u"prefix"_s);
    parser.addOptions({hostOption, portOption, dataOption, databaseOption, filesOption, rateOption, messageOption,
                       uploadOption, quotaOption, reserveOption, scanOption, scanUnavailableOption, originOption,
                       proxyOption, accelOption, connectionsOption, clientConnectionsOption, noAccessLogOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(u"unknown command: %1 (see --help)"_s.arg(parser.positionalArguments().first()));

    const QHostAddress address(parser.value(hostOption));
    if (address.isNull())
        return fail(u"not an IP address: %1"_s.arg(parser.value(hostOption)));
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535)
        return fail(u"not a port number: %1"_s.arg(parser.value(portOption)));

    const qint64 rate = parser.value(rateOption).toLongLong(&ok);
    if (!ok || rate < 0)
        return fail(u"not a rate in KiB a second: %1"_s.arg(parser.value(rateOption)));

    const int messageInterval = parser.value(messageOption).toInt(&ok);
    if (!ok || messageInterval < 0)
        return fail(u"not a number of seconds: %1"_s.arg(parser.value(messageOption)));
    const int uploadsPerMinute = parser.value(uploadOption).toInt(&ok);
    if (!ok || uploadsPerMinute < 0)
        return fail(u"not a number of uploads: %1"_s.arg(parser.value(uploadOption)));

    const qint64 quotaMb = parser.value(quotaOption).toLongLong(&ok);
    if (!ok || quotaMb < 0)
        return fail(u"not a number of MB: %1"_s.arg(parser.value(quotaOption)));
    const qint64 reserveMb = parser.value(reserveOption).toLongLong(&ok);
    if (!ok || reserveMb < 0)
        return fail(u"not a number of MB: %1"_s.arg(parser.value(reserveOption)));

    std::optional<ClamdClient> scanner;
    if (parser.isSet(scanOption)) {
        const auto socket = ClamdClient::socketIn(parser.value(scanOption));
        if (!socket)
            return fail(u"not a scanner such as clamd:/run/clamav/clamd.ctl: %1"_s.arg(parser.value(scanOption)));
        scanner.emplace(*socket);
    }
    const QString whenUnavailable = parser.value(scanUnavailableOption);
    if (whenUnavailable != u"refuse"_s && whenUnavailable != u"hold"_s)
        return fail(u"--scan-unavailable takes refuse or hold, not %1"_s.arg(whenUnavailable));

    const int maxConnections = parser.value(connectionsOption).toInt(&ok);
    if (!ok || maxConnections <= 0)
        return fail(u"not a number of connections: %1"_s.arg(parser.value(connectionsOption)));
    const int clientConnections = parser.value(clientConnectionsOption).toInt(&ok);
    if (!ok || clientConnections <= 0)
        return fail(u"not a number of connections: %1"_s.arg(parser.value(clientConnectionsOption)));

    std::optional<Origins> origins;
    if (parser.isSet(originOption)) {
        auto listed = Origins::fromList(parser.values(originOption));
        if (!listed)
            return fail(listed.error());
        origins = *listed;
    }

    const auto proxies = TrustedProxies::fromList(parser.values(proxyOption));
    if (!proxies)
        return fail(proxies.error());

    const QString dataPath = parser.value(dataOption);
    const auto location = StoreLocation::choose(parser.value(databaseOption),
                                                QDir(dataPath).filePath(SiteStore::DatabaseFileName));
    if (!location)
        return fail(location.error().text);
    SiteStore store(dataPath, *location);
    if (parser.isSet(filesOption))
        store.setFilesFolder(parser.value(filesOption));
    if (const auto opened = store.open(); !opened)
        return fail(u"cannot open the store %1: %2"_s.arg(location->displayName(), opened.error().text));

    raiseDescriptorLimit();
    // Before the server starts its threads, which take the signals' mask from this one.
    quitOnTermination(app);
    SiteServer::Options options;
    options.messagesPerWindow = messageInterval > 0 ? 1 : 0;
    options.messageWindowMs = messageInterval * 1000LL;
    options.uploadsPerWindow = uploadsPerMinute;
    options.uploadShare = {.bytesPerDay = quotaMb * 1024 * 1024, .reserveBytes = reserveMb * 1024 * 1024};
    options.scanner = scanner;
    options.whenScanUnavailable = whenUnavailable == u"hold"_s ? UploadIntake::WhenUnavailable::Hold
                                                               : UploadIntake::WhenUnavailable::Refuse;
    // Uploads wait for clamd, or are held, until it answers; the operator learns of it now.
    if (scanner) {
        if (const auto pinged = scanner->ping(); !pinged)
            qWarning().noquote() << "uploads cannot be scanned for now:" << pinged.error().text;
    }
    options.limits.maxConnections = maxConnections;
    options.limits.maxConnectionsPerAddress = clientConnections;
    // A proxy carries everyone's requests: it may hold the whole table.
    options.limits.maxConnectionsPerProxy = maxConnections;
    SiteServer server(store, options);
    server.setFileRate(rate * 1024);
    server.setAccessLog(!parser.isSet(noAccessLogOption));
    if (origins)
        server.setOrigins(*origins);
    server.setTrustedProxies(*proxies);
    // A trailing '/' would make the path "//" below it, which nginx does not merge.
    QByteArray accelPrefix = parser.value(accelOption).toUtf8();
    while (accelPrefix.endsWith('/'))
        accelPrefix.chop(1);
    if (parser.isSet(accelOption) && !accelPrefix.startsWith('/'))
        return fail(u"not a path starting with /: %1"_s.arg(parser.value(accelOption)));
    server.setAccelRedirect(accelPrefix);
    if (!server.listen(address, quint16(port)))
        return fail(u"cannot listen on %1 port %2"_s.arg(address.toString(), QString::number(port)));

    QUrl root;
    root.setScheme(u"http"_s);
    root.setHost(address.toString());
    root.setPort(server.serverPort());
    root.setPath(u"/"_s);
    // Tests and scripts wait for this line to know the port.
    QTextStream(stdout) << "Listening on " << root.toString() << Qt::endl;
    return app.exec();
}
