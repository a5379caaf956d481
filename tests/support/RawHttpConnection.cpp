#include "support/RawHttpConnection.h"

#include <QTest>

#include <utility>

#include <sys/socket.h>

RawHttpConnection::RawHttpConnection(quint16 port, const QHostAddress &from, Transport transport)
    : m_port(port)
{
    if (!from.isNull() && !m_socket.bind(from))
        return;
    if (transport == Transport::Tls) {
        m_socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_socket.connectToHostEncrypted(QHostAddress(QHostAddress::LocalHost).toString(), port);
        // A failure shows as a closed connection and no answer.
        std::ignore = m_socket.waitForEncrypted(WaitMs);
    } else {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        std::ignore = m_socket.waitForConnected(WaitMs);  // as above
    }
}

QByteArray RawHttpConnection::host() const
{
    return "127.0.0.1:" + QByteArray::number(m_port);
}

void RawHttpConnection::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

void RawHttpConnection::sendSlowly(const QByteArray &bytes, qsizetype piece, int pauseMs)
{
    for (qsizetype at = 0; at < bytes.size() && isOpen(); at += piece) {
        send(bytes.sliced(at, std::min(piece, bytes.size() - at)));
        QTest::qWait(pauseMs);
    }
}

void RawHttpConnection::sendBody(const QByteArray &body)
{
    constexpr qsizetype Piece = 64 * 1024;
    for (qsizetype at = 0; at < body.size() && !m_pending; at += Piece) {
        send(body.sliced(at, std::min(Piece, body.size() - at)));
        if (!QTest::qWaitFor([this] { return m_socket.bytesToWrite() == 0 || !isOpen() || poll(); }, WaitMs))
            return;
    }
}

bool RawHttpConnection::waitSent(int waitMs)
{
    return QTest::qWaitFor([this] { return m_socket.bytesToWrite() == 0 && m_socket.encryptedBytesToWrite() == 0; },
                           waitMs);
}

bool RawHttpConnection::finishSending()
{
    return waitSent() && ::shutdown(int(m_socket.socketDescriptor()), SHUT_WR) == 0;
}

int RawHttpConnection::statusSoFar()
{
    return poll() ? m_pending->status : 0;
}

qint64 RawHttpConnection::receivedBytes()
{
    poll();
    return m_receivedBytes;
}

bool RawHttpConnection::waitClosed(int waitMs)
{
    return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, waitMs);
}

RawHttpConnection::Answer RawHttpConnection::take(bool toHead, int waitMs)
{
    // An answer that did not come shows as status 0 to the caller.
    std::ignore = QTest::qWaitFor([&] { return poll(toHead) || m_socket.state() == QAbstractSocket::UnconnectedState; },
                                  waitMs);
    poll(toHead);
    return std::exchange(m_pending, std::nullopt).value_or(Answer{});
}

bool RawHttpConnection::poll(bool toHead)
{
    const QByteArray read = m_socket.readAll();
    m_receivedBytes += read.size();
    m_received += read;
    if (m_pending)
        return true;
    const qsizetype end = m_received.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    Answer answer;
    answer.head = m_received.first(end);
    answer.status = answer.head.split(' ').value(1).toInt();  // the status line's second word
    const bool closed = m_socket.state() == QAbstractSocket::UnconnectedState;
    const QByteArray length = answer.header("Content-Length");
    qsizetype size = 0;
    if (!toHead && answer.status >= 200 && !length.isEmpty())
        size = length.toLongLong();
    else if (!toHead && answer.status >= 200)
        size = closed ? m_received.size() - end - 4 : -1;  // to the end of the connection
    if (size < 0 || m_received.size() < end + 4 + size)
        return false;
    answer.body = m_received.sliced(end + 4, size);
    m_received.remove(0, end + 4 + size);
    m_pending = answer;
    return true;
}

QByteArray RawHttpConnection::Answer::header(QByteArrayView name) const
{
    for (const QByteArray &line : head.split('\n').mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && name.compare(line.first(colon).trimmed(), Qt::CaseInsensitive) == 0)
            return line.sliced(colon + 1).trimmed();
    }
    return {};
}
