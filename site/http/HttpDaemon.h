#pragma once

#include "site/http/ConnectionTable.h"
#include "site/http/FormReader.h"
#include "site/http/HttpAnswer.h"
#include "site/http/HttpRequest.h"
#include "site/http/PendingAnswer.h"
#include "site/http/TrustedProxies.h"
#include "site/log/AccessLog.h"
#include "site/log/RefusalLog.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <memory>
#include <variant>

class QSocketNotifier;
struct MHD_Connection;
struct MHD_Daemon;

namespace Site {

// The site's HTTP server: the HTTP library speaks the protocol (heads parsed as they arrive,
// memory bounded per connection, keep-alive, HEAD, 100 Continue, Date), driven from Qt's event
// loop on this one thread, so that whatever answers needs no locks. This class keeps the
// connections within their caps and time-outs (see ConnectionTable), logs those it turns
// away, reads form bodies as they arrive and sends answers, files straight from disk; what to
// answer is the handler's, at once or later (see PendingAnswer).
class HttpDaemon : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        int headTimeoutSeconds = 10;  // to send a whole request head
        int idleTimeoutSeconds = 60;  // without a byte once a head is in, and between requests
        // A body must come at this rate on average once its first seconds are over (the head's
        // time), so that a trickle cannot hold a connection for as long as it likes.
        qint64 minBodyBytesPerSecond = 2048;
        int maxConnections = 1000;
        int maxConnectionsPerAddress = 64;         // per client: an IPv4 address or an IPv6 /64
        int maxConnectionsPerProxy = 1000;         // per trusted proxy, which carries many clients' requests
        size_t connectionMemoryBytes = 64 * 1024;  // a head, what is being read and what is being written
        // A body up to this size is read and dropped after a refusal decided from the head, so
        // that a client still sending sees the answer rather than a reset; a larger one is not.
        qint64 maxDrainedBodyBytes = 64 * 1024 * 1024;
    };

    // What to do once a request's head is in: answer at once, read its body as a form, or
    // decide later, the connection suspended meanwhile (see answerLater()).
    using HeadDecision = std::variant<HttpAnswer, FormReader::Limits, PendingAnswer>;
    // The answer to a form: now, or later.
    using FormDecision = std::variant<HttpAnswer, PendingAnswer>;

    class Handler
    {
    public:
        virtual ~Handler() = default;
        virtual HeadDecision headArrived(const HttpRequest &request) = 0;
        // The form read as headArrived asked, with why it could not be read whole; then it
        // holds the fields that came before the fault. The form goes with the request: an
        // answer given later takes what it needs out of it first.
        virtual FormDecision formArrived(const HttpRequest &request, ReceivedForm &form,
                                         std::optional<FormReader::Error> error) = 0;
        // The answer to a request on a connection past the caps; the connection closes after it.
        virtual HttpAnswer busy() = 0;
        // The answer to a request whose body cannot be framed safely (400) or comes in a coding
        // the site does not read (501); the connection closes after it.
        virtual HttpAnswer framingRefused(int status) = 0;
        // Told of each answered request once its answer is sent, or cut short.
        virtual void answered(const HttpRequest &, const AccessLog::Entry &) { }
    };

    HttpDaemon(const Limits &limits, Handler &handler, QObject *parent = nullptr);
    ~HttpDaemon() override;

    bool listen(const QHostAddress &address, quint16 port);
    quint16 serverPort() const { return m_port; }
    const Limits &limits() const { return m_limits; }
    // Sends files at most this many bytes a second, as over a slow line; 0 sends them at once.
    void setFileRate(qint64 bytesPerSecond) { m_fileRate = bytesPerSecond; }
    // Requests from these peers are taken as from the client they forward for. Their
    // connections count against the proxy's own cap, and while one carries a request, against
    // that client's as well: a connection is open before its first request says for whom.
    void setTrustedProxies(const TrustedProxies &proxies) { m_trustedProxies = proxies; }
    // For the request whose head or form the handler decides now: returned as the decision, it
    // suspends the connection until the handler decides through it.
    PendingAnswer answerLater(const HttpRequest &request);

private:
    friend class PendingAnswer;

    struct Callbacks;
    struct Exchange;
    struct Peer;
    struct Pacing;

    void run();
    bool admits(const QHostAddress &address);
    void connectionStarted(MHD_Connection *connection, void **context);
    void connectionClosed(void *context);
    void requestCompleted(MHD_Connection *connection);
    void closeLateConnections();
    // Writes a line for the operator, at most so many a while (see RefusalLog).
    void logRefusal(const QString &what, const QHostAddress &key, bool proxy = false);
    qint64 nowMs() const { return m_clock.elapsed(); }
    std::optional<HttpAnswer> refusalAtHead(Peer &peer, HttpRequest &request);
    bool handle(MHD_Connection *connection, Exchange &exchange, const char *method, const char *data, size_t *size);
    // Takes what the handler decided of the request's head, now or later.
    bool takeHeadDecision(MHD_Connection *connection, Exchange &exchange, HeadDecision &&decision);
    bool takeFormDecision(MHD_Connection *connection, Exchange &exchange, FormDecision &&decision);
    // A decision given later, taken on the first call after the connection is resumed.
    bool takeLaterDecision(MHD_Connection *connection, Exchange &exchange);
    bool finishBody(MHD_Connection *connection, Exchange &exchange);
    bool suspend(MHD_Connection *connection, Exchange &exchange, const PendingAnswer &pending);
    void resume(PendingAnswer::State &state);
    bool queue(MHD_Connection *connection, HttpAnswer &&answer);
    // Queues the exchange's answer, noting what the access log says of it.
    bool respond(MHD_Connection *connection, Exchange &exchange, HttpAnswer &&answer);
    void logAnswer(const Exchange &exchange, bool whole);
    void pause(MHD_Connection *connection, int ms);

    Limits m_limits;
    Handler &m_handler;
    MHD_Daemon *m_daemon = nullptr;
    quint16 m_port = 0;
    qint64 m_fileRate = 0;
    TrustedProxies m_trustedProxies;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timer;
    QTimer m_lateSweep;
    QElapsedTimer m_clock;
    ConnectionTable m_table;
    // What the table decided for the connection being accepted, until it has started.
    ConnectionTable::Refusal m_admitted = ConnectionTable::Refusal::None;
    QSet<MHD_Connection *> m_paused;
    // The request whose head or form the handler is deciding, for answerLater().
    struct Deciding
    {
        Exchange *exchange;
        MHD_Connection *connection;
        bool atHead;
    };
    std::optional<Deciding> m_deciding;
    // Those waiting for a later decision; they are resumed before the daemon stops.
    QSet<PendingAnswer::State *> m_suspended;
    RefusalLog m_refusals;
    QTimer m_refusalInterval;
    bool m_stopping = false;
};

}  // namespace Site
