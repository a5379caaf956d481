#include "site/http/HttpDaemon.h"

#include "site/http/ClientKey.h"

#include <QDateTime>
#include <QDebug>
#include <QSocketNotifier>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// What a client turned away for want of room is asked to wait, in seconds.
constexpr int BusyRetrySeconds = 10;
// A paced file is read in shares of at most this much.
constexpr size_t PacedBlockBytes = 32 * 1024;
// Runs of the library in a row while it has work it can do at once.
constexpr int RunsPerWakeUp = 16;
// How often connections are looked at for a request head or a body past its time.
constexpr int LateSweepMs = 1000;
// How long a paced file waits, at least, once it has sent its share.
constexpr int PaceIntervalMs = 50;

ConnectionTable::Limits tableLimits(const HttpDaemon::Limits &limits)
{
    ConnectionTable::Limits table;
    table.maxConnections = limits.maxConnections;
    table.maxPerClient = limits.maxConnectionsPerAddress;
    table.maxPerProxy = limits.maxConnectionsPerProxy;
    table.headMs = limits.headTimeoutSeconds * 1000LL;
    table.idleMs = limits.idleTimeoutSeconds * 1000LL;
    table.bodyGraceMs = table.headMs;
    table.minBodyBytesPerSecond = limits.minBodyBytesPerSecond;
    return table;
}

QString refusalText(ConnectionTable::Refusal refusal, const HttpDaemon::Limits &limits)
{
    switch (refusal) {
    case ConnectionTable::Refusal::TableFull:
        return u"refused a connection: all %1 connections are busy"_s.arg(limits.maxConnections);
    case ConnectionTable::Refusal::ClientCap:
        return u"refused a connection: the client holds %1 already"_s.arg(limits.maxConnectionsPerAddress);
    case ConnectionTable::Refusal::ProxyCap:
        return u"refused a connection: the proxy holds %1 already"_s.arg(limits.maxConnectionsPerProxy);
    case ConnectionTable::Refusal::None:
        break;
    }
    return {};
}

// Shut down under the library, a connection is found closed on its next run.
void shutDown(MHD_Connection *connection)
{
    if (const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
        ::shutdown(info->connect_fd, SHUT_RDWR);
}

QHostAddress keyOf(const QHostAddress &address, bool proxy)
{
    return proxy ? ClientKey::ofProxy(address) : ClientKey::of(address);
}

// A body is taken only framed one way: a length, or chunks as the last and only coding. Framed
// two ways, it could be read one way here and another by a proxy in front, and what one reads
// as a body the other would read as a request of its own (RFC 9112, 6.1 and 6.3: 400, and the
// connection closes). libmicrohttpd 0.9.75 reads a chunked body and ignores a length beside
// it, and answers a request of any other coding, "gzip, chunked" included, as having no body
// and then closes the connection. Returns the status to refuse the request with, or 0.
int framingRefusal(const HttpRequest &request)
{
    QList<QByteArray> codings;
    for (const QByteArray &value : request.headerValues("Transfer-Encoding")) {
        for (const QByteArray &coding : value.split(','))
            codings.append(coding.trimmed().toLower());
    }
    if (codings.isEmpty())
        return 0;
    if (request.hasHeader("Content-Length") || codings.last() != "chunked" || codings.count("chunked") > 1)
        return HttpAnswer::BadRequest;
    // A coding applied before the chunks is one the site cannot undo.
    return codings.size() > 1 ? HttpAnswer::NotImplemented : 0;
}

}  // namespace

// One request, from its request line to the end of its answer.
struct HttpDaemon::Exchange
{
    ~Exchange()
    {
        // A decision given later finds nobody waiting.
        if (later) {
            later->waiting = false;
            if (later->suspended)
                later->daemon->m_suspended.remove(later.get());
        }
    }

    QByteArray target;
    std::optional<HttpRequest> request;
    std::unique_ptr<FormReader> form;
    std::optional<HttpAnswer> refusal;            // decided, not yet queued
    std::shared_ptr<PendingAnswer::State> later;  // while a decision is to come
    qint64 received = 0;                          // bytes of the body
    bool bodyEnded = false;
    bool answered = false;
    // For the access log.
    QDateTime receivedAt = QDateTime::currentDateTimeUtc();
    QElapsedTimer sinceReceived;
    int minorVersion = 1;
    int status = 0;  // 0 until an answer is queued
    qint64 bodyBytes = 0;
};

// One connection: who it is from, and whether it is past a cap. Its times are the table's.
struct HttpDaemon::Peer
{
    MHD_Connection *connection = nullptr;
    QHostAddress address;
    bool proxy = false;
    bool overCap = false;
};

// A file sent no faster than the site's rate.
struct HttpDaemon::Pacing
{
    HttpDaemon *daemon = nullptr;
    MHD_Connection *connection = nullptr;
    std::shared_ptr<QFile> file;
    qint64 offset = 0;
    qint64 bytesPerSecond = 0;
    QElapsedTimer sinceStart;
    qint64 sent = 0;
};

struct HttpDaemon::Callbacks
{
    // Called for each newcomer just before it is started.
    static MHD_Result accept(void *cls, const sockaddr *address, socklen_t)
    {
        return static_cast<HttpDaemon *>(cls)->admits(QHostAddress(address)) ? MHD_YES : MHD_NO;
    }

    static void notify(void *cls, MHD_Connection *connection, void **context, MHD_ConnectionNotificationCode code)
    {
        auto *daemon = static_cast<HttpDaemon *>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED)
            daemon->connectionStarted(connection, context);
        else
            daemon->connectionClosed(*context);
    }

    // Called with the whole target once the request line is in; what it returns is the request's state.
    static void *requestLine(void *, const char *target, MHD_Connection *)
    {
        auto *exchange = new Exchange;
        exchange->target = target;
        exchange->sinceReceived.start();
        return exchange;
    }

    static void completed(void *cls, MHD_Connection *connection, void **state, MHD_RequestTerminationCode code)
    {
        const std::unique_ptr<Exchange> exchange(static_cast<Exchange *>(*state));
        *state = nullptr;
        if (exchange && exchange->request && exchange->status != 0)
            static_cast<HttpDaemon *>(cls)->logAnswer(*exchange, code == MHD_REQUEST_TERMINATED_COMPLETED_OK);
        static_cast<HttpDaemon *>(cls)->requestCompleted(connection);
    }

    static MHD_Result access(void *cls, MHD_Connection *connection, const char *, const char *method,
                             const char *version, const char *data, size_t *size, void **state)
    {
        if (!*state) {
            *state = new Exchange;
            static_cast<Exchange *>(*state)->sinceReceived.start();
        }
        static_cast<Exchange *>(*state)->minorVersion = std::strcmp(version, MHD_HTTP_VERSION_1_0) == 0 ? 0 : 1;
        return static_cast<HttpDaemon *>(cls)->handle(connection, *static_cast<Exchange *>(*state), method, data, size)
            ? MHD_YES
            : MHD_NO;
    }

    static ssize_t readPaced(void *cls, uint64_t position, char *buffer, size_t max)
    {
        auto *pacing = static_cast<Pacing *>(cls);
        // What the rate has earned since the start, with a tenth of a second's worth at once.
        const qint64 allowance = pacing->bytesPerSecond * pacing->sinceStart.elapsed() / 1000
            + pacing->bytesPerSecond / 10 - pacing->sent;
        if (allowance <= 0) {
            const qint64 waitMs = -allowance * 1000 / pacing->bytesPerSecond + 1;
            pacing->daemon->pause(pacing->connection, int(std::max<qint64>(waitMs, PaceIntervalMs)));
            return 0;
        }
        const ssize_t read = ::pread(pacing->file->handle(), buffer, std::min<size_t>(max, size_t(allowance)),
                                     off_t(pacing->offset + qint64(position)));
        // The file shrank or failed under us: closing is the only way left to say the body is short.
        if (read <= 0)
            return MHD_CONTENT_READER_END_WITH_ERROR;
        pacing->sent += read;
        return read;
    }

    static void freePaced(void *cls) { delete static_cast<Pacing *>(cls); }
    static void freeBody(void *cls) { delete static_cast<QByteArray *>(cls); }
};

HttpDaemon::HttpDaemon(const Limits &limits, Handler &handler, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_handler(handler)
    , m_table(tableLimits(limits))
    , m_refusals([](const QString &line) { qWarning().noquote() << line; })
{
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HttpDaemon::run);
    connect(&m_lateSweep, &QTimer::timeout, this, &HttpDaemon::closeLateConnections);
    m_refusalInterval.setSingleShot(true);
    m_refusalInterval.setInterval(RefusalLog::IntervalMs);
    connect(&m_refusalInterval, &QTimer::timeout, this, [this] { m_refusals.flush(); });
}

HttpDaemon::~HttpDaemon()
{
    m_refusals.flush();
    if (!m_daemon)
        return;
    // The library cannot stop with connections suspended. Those waiting for a decision are
    // closed unanswered; a decision that comes after finds nobody waiting.
    for (MHD_Connection *connection : std::as_const(m_paused))
        MHD_resume_connection(connection);
    m_paused.clear();
    for (PendingAnswer::State *state : std::as_const(m_suspended)) {
        state->waiting = false;
        state->suspended = false;
        MHD_resume_connection(state->connection);
    }
    m_suspended.clear();
    m_stopping = true;
    m_notifier.reset();
    MHD_stop_daemon(m_daemon);
}

bool HttpDaemon::listen(const QHostAddress &address, quint16 port)
{
    sockaddr_storage socketAddress{};
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (v6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&socketAddress);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&socketAddress);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
    }
    // Writing to a connection the client has closed must fail, not end the process; the
    // library may then send files with sendfile, which would raise the signal.
    std::signal(SIGPIPE, SIG_IGN);

    // Listening on every IPv6 address takes IPv4 clients too, as "0.0.0.0" alone would.
    const unsigned ipv6 = address == QHostAddress(QHostAddress::AnyIPv6) ? MHD_USE_DUAL_STACK : MHD_USE_IPv6;
    const unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | (v6 ? ipv6 : 0);
    m_daemon = MHD_start_daemon(
        flags, port, &Callbacks::accept, this, &Callbacks::access, this, MHD_OPTION_SOCK_ADDR, &socketAddress,
        MHD_OPTION_LISTENING_ADDRESS_REUSE, 1u,
        // Room for those that gave way and are not closed yet, as many as the table holds.
        MHD_OPTION_CONNECTION_LIMIT, unsigned(2 * m_limits.maxConnections + ConnectionTable::RefusalRoom),
        MHD_OPTION_CONNECTION_TIMEOUT, unsigned(m_limits.headTimeoutSeconds), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        m_limits.connectionMemoryBytes, MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1,
        MHD_OPTION_URI_LOG_CALLBACK, &Callbacks::requestLine, this, MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::completed,
        this, MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::notify, this, MHD_OPTION_END);
    if (!m_daemon)
        return false;
    m_port = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT)->port;
    // The library's sockets are all in this one descriptor; it is readable while any has
    // something to do, and only MHD_run may take the events out of it.
    const int epoll = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_EPOLL_FD)->epoll_fd;
    m_notifier = std::make_unique<QSocketNotifier>(epoll, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &HttpDaemon::run);
    m_lateSweep.start(LateSweepMs);
    run();
    return true;
}

void HttpDaemon::run()
{
    // A connection that can go on at once (a file sent a chunk per run) is taken again here
    // a few times before the rest of the event loop has its turn.
    MHD_UNSIGNED_LONG_LONG timeoutMs = 0;
    bool timed = false;
    for (int round = 0; round < RunsPerWakeUp; ++round) {
        MHD_run(m_daemon);
        timed = MHD_get_timeout(m_daemon, &timeoutMs) == MHD_YES;
        if (!timed || timeoutMs > 0)
            break;
    }
    if (timed)
        m_timer.start(int(std::min<MHD_UNSIGNED_LONG_LONG>(timeoutMs, std::numeric_limits<int>::max())));
    else
        m_timer.stop();
}

bool HttpDaemon::admits(const QHostAddress &address)
{
    const bool proxy = m_trustedProxies.contains(address);
    const QHostAddress key = keyOf(address, proxy);
    const ConnectionTable::Admission admission = m_table.admit(key, proxy);
    if (admission.givesWay)
        shutDown(static_cast<const Peer *>(admission.givesWay)->connection);
    if (admission.refusal != ConnectionTable::Refusal::None)
        logRefusal(refusalText(admission.refusal, m_limits), key, proxy);
    m_admitted = admission.refusal;
    return admission.admitted;
}

void HttpDaemon::connectionStarted(MHD_Connection *connection, void **context)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    auto *peer = new Peer;
    peer->connection = connection;
    peer->address = QHostAddress(info->client_addr);
    peer->proxy = m_trustedProxies.contains(peer->address);
    peer->overCap = m_admitted != ConnectionTable::Refusal::None;
    m_table.add(peer, keyOf(peer->address, peer->proxy), peer->proxy, m_admitted, nowMs());
    m_admitted = ConnectionTable::Refusal::None;
    *context = peer;
}

void HttpDaemon::requestCompleted(MHD_Connection *connection)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    // The next request on the connection may wait the idle time, and then has its head's time.
    if (auto *peer = info ? static_cast<Peer *>(info->socket_context) : nullptr)
        m_table.requestEnded(peer, nowMs());
}

// The library's time-out runs between bytes; a head or a body sent a byte at a time would
// never meet it, so the whole head has a deadline here and a body a rate.
void HttpDaemon::closeLateConnections()
{
    for (const auto &[id, lateness] : m_table.late(nowMs())) {
        const auto *peer = static_cast<const Peer *>(id);
        shutDown(peer->connection);
        // Heads are left unsaid: browsers open connections they may never use.
        if (lateness == ConnectionTable::Lateness::Body)
            logRefusal(u"closed a connection: its body came slower than %1 bytes a second"_s.arg(
                           m_limits.minBodyBytesPerSecond),
                       keyOf(peer->address, peer->proxy), peer->proxy);
    }
}

void HttpDaemon::logRefusal(const QString &what, const QHostAddress &key, bool proxy)
{
    m_refusals.note(what, proxy ? key.toString() : ClientKey::text(key));
    if (!m_refusalInterval.isActive())
        m_refusalInterval.start();
}

void HttpDaemon::connectionClosed(void *context)
{
    std::unique_ptr<Peer> peer(static_cast<Peer *>(context));
    if (peer)
        m_table.remove(peer.get());
}

// Once a head is in: whom the request is for, whether that client may have another in
// progress, and whether its body can be read safely. The refusal to answer with, if any.
std::optional<HttpAnswer> HttpDaemon::refusalAtHead(Peer &peer, HttpRequest &request)
{
    std::optional<QHostAddress> forwardedFor;
    if (peer.proxy) {
        request.setPeer(m_trustedProxies.client(peer.address, request.headerValues("X-Forwarded-For")));
        if (!m_trustedProxies.contains(request.peer()))
            forwardedFor = ClientKey::of(request.peer());
    }
    const bool withinCap = m_table.headArrived(&peer, forwardedFor);
    if (peer.overCap || !withinCap) {
        if (!withinCap)
            logRefusal(
                u"refused a request: the client has %1 in progress already"_s.arg(m_limits.maxConnectionsPerAddress),
                *forwardedFor);
        HttpAnswer busy = m_handler.busy();
        busy.headers.append({"Retry-After"_ba, QByteArray::number(BusyRetrySeconds)});
        // A proxy's connection carries other clients' requests too.
        if (peer.overCap)
            busy.headers.append({"Connection"_ba, "close"_ba});
        return busy;
    }
    if (const int status = framingRefusal(request)) {
        HttpAnswer refusal = m_handler.framingRefused(status);
        refusal.headers.append({"Connection"_ba, "close"_ba});
        return refusal;
    }
    if (request.hasHeader("Transfer-Encoding") || request.header("Content-Length").toLongLong() > 0)
        m_table.bodyStarted(&peer, nowMs());
    return std::nullopt;
}

bool HttpDaemon::handle(MHD_Connection *connection, Exchange &exchange, const char *method, const char *data, size_t *size)
{
    // Connections resumed for the daemon to stop are closed, not served.
    if (m_stopping)
        return false;
    auto *peer = static_cast<Peer *>(
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT)->socket_context);
    if (!exchange.request) {
        // The head is in; from here on the connection has the idle time.
        MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, unsigned(m_limits.idleTimeoutSeconds));
        exchange.request.emplace(connection, QByteArray(method), exchange.target, peer->address);
        if (std::optional<HttpAnswer> refusal = refusalAtHead(*peer, *exchange.request)) {
            exchange.answered = true;
            return respond(connection, exchange, std::move(*refusal));
        }
        m_deciding = Deciding{&exchange, connection, true};
        HeadDecision decision = m_handler.headArrived(*exchange.request);
        m_deciding.reset();
        return takeHeadDecision(connection, exchange, std::move(decision));
    }
    if (exchange.later) {
        // The library may call while the connection waits; it has nothing to add then.
        if (!exchange.later->decision)
            return true;
        const bool atHead = exchange.later->atHead;
        if (!takeLaterDecision(connection, exchange))
            return false;
        // Resumed at the head, the library calls as it did for the head; the body, if any,
        // and the call at its end come next, as they would have.
        if (atHead && *size == 0)
            return true;
    }
    if (*size > 0) {
        m_table.bodyReceived(peer, qint64(*size));
        exchange.received += qint64(*size);
        // A form refused before its body is over: the rest is read, not looked at, and the
        // answer goes out once the body is in.
        if (!exchange.answered && !exchange.refusal && exchange.form && !exchange.form->feed(data, *size)) {
            const std::optional<FormReader::Error> error = exchange.form->finish();
            m_deciding = Deciding{&exchange, connection, false};
            FormDecision decision = m_handler.formArrived(*exchange.request, exchange.form->form(), error);
            m_deciding.reset();
            *size = 0;
            return takeFormDecision(connection, exchange, std::move(decision));
        }
        *size = 0;
        return true;
    }
    if (exchange.answered)
        return true;
    exchange.bodyEnded = true;
    m_table.bodyEnded(peer);
    return finishBody(connection, exchange);
}

// The whole body is in: the answer decided before, or the one to the form it held.
bool HttpDaemon::finishBody(MHD_Connection *connection, Exchange &exchange)
{
    if (exchange.refusal) {
        exchange.answered = true;
        return respond(connection, exchange, std::move(*exchange.refusal));
    }
    ReceivedForm none;
    std::optional<FormReader::Error> error = FormReader::Error::Malformed;
    if (exchange.form)
        error = exchange.form->finish();
    m_deciding = Deciding{&exchange, connection, false};
    FormDecision decision = m_handler.formArrived(*exchange.request, exchange.form ? exchange.form->form() : none, error);
    m_deciding.reset();
    return takeFormDecision(connection, exchange, std::move(decision));
}

bool HttpDaemon::takeHeadDecision(MHD_Connection *connection, Exchange &exchange, HeadDecision &&decision)
{
    if (auto *later = std::get_if<PendingAnswer>(&decision))
        return suspend(connection, exchange, *later);
    if (auto *answer = std::get_if<HttpAnswer>(&decision)) {
        // Queued now, an answer skips the body and the library closes the connection;
        // a client that waits to be told to send its body sees the answer instead.
        // Otherwise it goes out on the next call: at once when there is no body, or once
        // a body of a stated, bounded length has been read and dropped, and the connection
        // stays open. The library has checked that a stated length is a number.
        const bool chunked = exchange.request->hasHeader("Transfer-Encoding");
        const qint64 length = exchange.request->header("Content-Length").toLongLong();
        const bool waits = exchange.request->header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0;
        if (!answer->skipsBody && !chunked && !waits && length <= m_limits.maxDrainedBodyBytes) {
            exchange.refusal = std::move(*answer);
            return true;
        }
        exchange.answered = true;
        return respond(connection, exchange, std::move(*answer));
    }
    exchange.form = FormReader::create(connection, std::get<FormReader::Limits>(decision));
    return true;
}

// An answer decided before the body is over goes out once it is in.
bool HttpDaemon::takeFormDecision(MHD_Connection *connection, Exchange &exchange, FormDecision &&decision)
{
    if (auto *later = std::get_if<PendingAnswer>(&decision))
        return suspend(connection, exchange, *later);
    if (!exchange.bodyEnded) {
        exchange.refusal = std::move(std::get<HttpAnswer>(decision));
        return true;
    }
    exchange.answered = true;
    return respond(connection, exchange, std::move(std::get<HttpAnswer>(decision)));
}

bool HttpDaemon::takeLaterDecision(MHD_Connection *connection, Exchange &exchange)
{
    const std::shared_ptr<PendingAnswer::State> later = std::move(exchange.later);
    PendingAnswer::Decision decision = std::move(*later->decision);
    if (!later->atHead)
        return takeFormDecision(connection, exchange, std::get<HttpAnswer>(std::move(decision)));
    if (auto *answer = std::get_if<HttpAnswer>(&decision))
        return takeHeadDecision(connection, exchange, std::move(*answer));
    return takeHeadDecision(connection, exchange, std::get<FormReader::Limits>(decision));
}

PendingAnswer HttpDaemon::answerLater(const HttpRequest &request)
{
    Q_ASSERT(m_deciding && &*m_deciding->exchange->request == &request);
    Exchange &exchange = *m_deciding->exchange;
    if (!exchange.later) {
        exchange.later = std::make_shared<PendingAnswer::State>();
        exchange.later->daemon = this;
        exchange.later->connection = m_deciding->connection;
        exchange.later->atHead = m_deciding->atHead;
    }
    return PendingAnswer(exchange.later);
}

// The connection waits until the decision comes, unless it came already.
bool HttpDaemon::suspend(MHD_Connection *connection, Exchange &exchange, const PendingAnswer &pending)
{
    PendingAnswer::State &state = *pending.m_state;
    Q_ASSERT(exchange.later.get() == &state);
    if (state.decision)
        return takeLaterDecision(connection, exchange);
    MHD_suspend_connection(connection);
    state.suspended = true;
    m_suspended.insert(&state);
    return true;
}

void HttpDaemon::resume(PendingAnswer::State &state)
{
    if (!state.suspended)
        return;
    state.suspended = false;
    m_suspended.remove(&state);
    MHD_resume_connection(state.connection);
    // The library takes a resumed connection back on its next run.
    m_timer.start(0);
}

bool HttpDaemon::queue(MHD_Connection *connection, HttpAnswer &&answer)
{
    MHD_Response *response = nullptr;
    if (answer.file && m_fileRate > 0) {
        auto *pacing = new Pacing;
        pacing->daemon = this;
        pacing->connection = connection;
        pacing->file = answer.file->file;
        pacing->offset = answer.file->offset;
        pacing->bytesPerSecond = m_fileRate;
        pacing->sinceStart.start();
        response = MHD_create_response_from_callback(uint64_t(answer.file->length), PacedBlockBytes,
                                                     &Callbacks::readPaced, pacing, &Callbacks::freePaced);
        if (!response)
            delete pacing;
    } else if (answer.file) {
        // The library closes its own descriptor when the answer is done.
        const int fd = ::dup(answer.file->file->handle());
        if (fd >= 0) {
            response = MHD_create_response_from_fd_at_offset64(uint64_t(answer.file->length), fd,
                                                               uint64_t(answer.file->offset));
            if (!response)
                ::close(fd);
        }
    } else {
        // Shared, not copied: a cached page goes out from the cache's own bytes.
        auto *body = new QByteArray(answer.body);
        response = MHD_create_response_from_buffer_with_free_callback_cls(
            size_t(body->size()), const_cast<char *>(body->constData()), &Callbacks::freeBody, body);
        if (!response)
            delete body;
    }
    if (!response)
        return false;
    for (const auto &[name, value] : std::as_const(answer.headers))
        MHD_add_response_header(response, name.constData(), value.constData());
    const bool queued = MHD_queue_response(connection, unsigned(answer.status), response) == MHD_YES;
    MHD_destroy_response(response);
    return queued;
}

bool HttpDaemon::respond(MHD_Connection *connection, Exchange &exchange, HttpAnswer &&answer)
{
    exchange.status = answer.status;
    exchange.bodyBytes = exchange.request->method() == "HEAD" ? 0
        : answer.file                                         ? answer.file->length
                                                              : answer.body.size();
    return queue(connection, std::move(answer));
}

// A cut-short answer's bytes are not known: the log says "-".
void HttpDaemon::logAnswer(const Exchange &exchange, bool whole)
{
    const HttpRequest &request = *exchange.request;
    m_handler.answered(request,
                       {request.peer(), exchange.receivedAt, request.method(), request.target(), exchange.minorVersion,
                        exchange.status, whole ? exchange.bodyBytes : -1, request.header("Referer"),
                        request.header("User-Agent"), exchange.sinceReceived.nsecsElapsed() / 1000});
}

void HttpDaemon::pause(MHD_Connection *connection, int ms)
{
    MHD_suspend_connection(connection);
    m_paused.insert(connection);
    QTimer::singleShot(ms, this, [this, connection] {
        if (m_paused.remove(connection)) {
            MHD_resume_connection(connection);
            // The library takes a resumed connection back on its next run.
            m_timer.start(0);
        }
    });
}

}  // namespace Site
