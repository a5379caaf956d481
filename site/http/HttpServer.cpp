#include "site/http/HttpServer.h"

#include "site/http/HttpConnection.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int AcceptRetryMs = 200;

} // namespace

HttpServer::HttpServer(const Limits &limits, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits)
{
    // Out of file descriptors QTcpServer stops accepting for good; the site tries again shortly.
    connect(this, &QTcpServer::acceptError, this,
            [this] { QTimer::singleShot(AcceptRetryMs, this, &QTcpServer::resumeAccepting); });
}

HttpServer::~HttpServer()
{
    // Connections are children; they must not call back into a half-destroyed server.
    const QList<HttpConnection *> connections = findChildren<HttpConnection *>(Qt::FindDirectChildrenOnly);
    for (HttpConnection *connection : connections)
        connection->detach();
}

void HttpServer::incomingConnection(qintptr socketDescriptor)
{
    auto *socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        delete socket;
        return;
    }
    const QHostAddress peer = socket->peerAddress();
    const bool busy = m_connections >= m_limits.maxConnections
        || m_connectionsPerAddress.value(peer) >= m_limits.maxConnectionsPerAddress;
    if (!busy) {
        ++m_connections;
        ++m_connectionsPerAddress[peer];
    }
    auto *connection = new HttpConnection(socket, this, !busy);
    if (busy)
        refuse(Refusal::Busy, connection->takeOverForRefusal());
    else
        connection->start();
}

bool HttpServer::takeBodySlot(HttpConnection *connection)
{
    if (m_bodySlots.size() < m_limits.maxLargeBodies) {
        m_bodySlots.append(connection);
        return true;
    }
    m_waitingForSlot.append(connection);
    return false;
}

void HttpServer::releaseBodySlot(HttpConnection *connection)
{
    if (!m_bodySlots.removeOne(connection))
        return;
    while (!m_waitingForSlot.isEmpty()) {
        const QPointer<HttpConnection> next = m_waitingForSlot.takeFirst();
        if (next) {
            m_bodySlots.append(next);
            next->resumeBody();
            return;
        }
    }
}

void HttpServer::forget(HttpConnection *connection)
{
    m_waitingForSlot.removeAll(connection);
    releaseBodySlot(connection);
    if (!connection->isCounted())
        return;
    --m_connections;
    const QHostAddress peer = connection->peer();
    if (--m_connectionsPerAddress[peer] <= 0)
        m_connectionsPerAddress.remove(peer);
}
