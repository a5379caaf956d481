#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QSslSocket>
#include <QString>

#include <optional>

// One connection to a loopback port that sends exactly the bytes it is given, as slowly as
// asked, and reads answers as they come. It waits on the test's own event loop, so a server
// in the test's process is served meanwhile.
class RawHttpConnection
{
public:
    static constexpr int WaitMs = 30000;

    struct Answer
    {
        int status = 0;   // 0 when no whole answer came
        QByteArray head;  // the status line and the header lines, as sent
        QByteArray body;

        // The first header of that name, in any case.
        QByteArray header(QByteArrayView name) const;
        QString text() const { return QString::fromUtf8(body); }
    };

    enum class Transport { Plain, Tls };  // over TLS any certificate is taken

    // From the given local address when there is one, as from another machine. Waits until
    // connected: a failure shows as a closed connection and no answer.
    explicit RawHttpConnection(quint16 port, const QHostAddress &from = {}, Transport transport = Transport::Plain);

    QByteArray host() const;  // "127.0.0.1:<port>", as a Host line names the server
    QSslSocket &socket() { return m_socket; }
    bool isOpen() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    void send(const QByteArray &bytes);
    // A piece at a time with a pause after each, for as long as the connection stays open.
    void sendSlowly(const QByteArray &bytes, qsizetype piece, int pauseMs);
    // A piece at a time as fast as the peer takes them, stopping once an answer has come: a
    // server may refuse a body before it is all there.
    void sendBody(const QByteArray &body);
    // Closes the sending half once everything is sent, as "nc -N" does.
    bool finishSending();
    bool waitSent(int waitMs = WaitMs);

    // Takes the next whole answer, interim ones included.
    Answer answer(int waitMs = WaitMs) { return take(false, waitMs); }
    // Takes the next answer as one to a HEAD: without the body its head describes.
    Answer answerToHead(int waitMs = WaitMs) { return take(true, waitMs); }
    // The status of the next whole answer if it has come, else 0, without waiting or taking it.
    int statusSoFar();
    // Every byte that has come, answers taken or not.
    qint64 receivedBytes();
    bool waitClosed(int waitMs = WaitMs);

private:
    Answer take(bool toHead, int waitMs);
    // Reads what has come and takes the next answer from it when it is whole.
    bool poll(bool toHead = false);

    quint16 m_port;
    QSslSocket m_socket;
    QByteArray m_received;
    qint64 m_receivedBytes = 0;
    std::optional<Answer> m_pending;
};
