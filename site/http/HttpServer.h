#pragma once

#include "site/log/AccessLog.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>

class HttpConnection;
class HttpResponder;
struct HttpRequest;

// An HTTP/1.1 server for people who may mean harm: it reads each request on a connection in
// turn, keeps a connection open only as the client asks, closes connections that are slow to
// send a request, sit idle or stall, caps the connections it holds in total and per client
// address, and receives only a few large bodies at once, the rest waiting their turn, so that
// memory stays bounded. What to answer is left to the subclass.
class HttpServer : public QTcpServer
{
    Q_OBJECT

public:
    // Requests the server answers itself, before any route sees them.
    enum class Refusal { BadRequest, HeadTooLarge, LengthRequired, BodyTooLarge, VersionNotSupported, Busy };

    struct Limits
    {
        qint64 maxBodyBytes = 1024 * 1024;
        int headTimeoutMs = 10'000;   // from the first byte of a request (or the connection) to its full head
        int idleTimeoutMs = 60'000;   // between requests, and while a client takes no bytes of an answer
        int stallTimeoutMs = 30'000;  // between two arrivals of a body
        int maxConnections = 1000;
        int maxConnectionsPerAddress = 64;
        int maxLargeBodies = 3;  // bodies above largeBodyBytes received at once
        qint64 largeBodyBytes = 64 * 1024;
    };

    explicit HttpServer(const Limits &limits, QObject *parent = nullptr);
    ~HttpServer() override;

    const Limits &limits() const { return m_limits; }

protected:
    // Answers a complete request, at once or later through the responder.
    virtual void handleRequest(const HttpRequest &request, HttpResponder &&responder) = 0;
    // Answers what the server refuses; the connection closes after it.
    virtual void refuse(Refusal refusal, HttpResponder &&responder) = 0;
    // Told of each request once its answer is sent, or cut short.
    virtual void logAccess(const HttpRequest &request, const AccessLog::Entry &entry) = 0;

    void incomingConnection(qintptr socketDescriptor) override;

private:
    friend class HttpConnection;

    // True when the connection may read its large body now; otherwise it is resumed later.
    bool takeBodySlot(HttpConnection *connection);
    void releaseBodySlot(HttpConnection *connection);
    void forget(HttpConnection *connection);

    Limits m_limits;
    int m_connections = 0;
    QHash<QHostAddress, int> m_connectionsPerAddress;
    QList<HttpConnection *> m_bodySlots;
    QList<QPointer<HttpConnection>> m_waitingForSlot;
};
