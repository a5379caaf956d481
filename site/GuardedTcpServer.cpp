#include "site/GuardedTcpServer.h"

#include <QTcpSocket>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

namespace {

// The head of the request now arriving on one connection, as far as it has come.
struct Head
{
    QByteArray bytes;
    bool complete = false;
};

// The largest Content-Length among the head's header lines, -1 when there is none, or nothing
// when the request has a body of unstated length.
std::optional<qint64> declaredLength(const QByteArray &head)
{
    qint64 length = -1;
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.first(colon).trimmed().toLower();
        if (name == "transfer-encoding")
            return std::nullopt;
        if (name == "content-length") {
            bool ok = false;
            const qint64 value = line.sliced(colon + 1).trimmed().toLongLong(&ok);
            // An unreadable length is as good as an endless one.
            length = std::max(length, ok && value >= 0 ? value : std::numeric_limits<qint64>::max());
        }
    }
    return length;
}

} // namespace

GuardedTcpServer::GuardedTcpServer(qint64 maxBodyBytes, Answer answer, QObject *parent)
    : QTcpServer(parent)
    , m_maxBodyBytes(maxBodyBytes)
    , m_answer(std::move(answer))
{
}

void GuardedTcpServer::incomingConnection(qintptr socketDescriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        delete socket;
        return;
    }
    auto head = std::make_shared<Head>();
    const auto refuse = [this, socket](Refusal refusal) {
        // Nobody reads from this connection any more: the answer goes out and the connection closes.
        disconnect(socket, &QIODevice::readyRead, nullptr, nullptr);
        socket->write(m_answer(refusal));
        socket->disconnectFromHost();
    };
    // Connected before the HTTP server sees the socket, so this runs first on every arrival.
    // The server reads all that has arrived each time and keeps the request's bytes in a
    // transaction until the request is complete; no transaction means a new request begins.
    connect(socket, &QIODevice::readyRead, socket, [this, socket, head, refuse] {
        if (!socket->isTransactionStarted())
            *head = Head();
        if (head->complete)
            return;
        head->bytes += socket->peek(MaxHeadBytes + 4 - head->bytes.size());
        // Line breaks left over from the request before do not count.
        while (head->bytes.startsWith("\r\n") || head->bytes.startsWith('\n'))
            head->bytes.remove(0, head->bytes.startsWith('\r') ? 2 : 1);
        qsizetype end = head->bytes.indexOf("\r\n\r\n");
        if (end < 0)
            end = head->bytes.indexOf("\n\n");
        if (end < 0) {
            if (head->bytes.size() > MaxHeadBytes)
                refuse(Refusal::HeadTooLarge);
            return;
        }
        head->complete = true;
        head->bytes.truncate(end);
        const std::optional<qint64> length = declaredLength(head->bytes);
        if (end > MaxHeadBytes)
            refuse(Refusal::HeadTooLarge);
        else if (!length)
            refuse(Refusal::LengthRequired);
        else if (*length > m_maxBodyBytes)
            refuse(Refusal::BodyTooLarge);
    });
    addPendingConnection(socket);
}
