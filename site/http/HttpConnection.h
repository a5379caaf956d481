#pragma once

#include "site/http/HttpRequest.h"
#include "site/http/HttpResponder.h"
#include "site/http/HttpServer.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// One client connection of an HttpServer: reads a request, hands it on, writes its answer
// through an HttpResponder, then reads the next one or closes, with a time-out for each wait.
// It reads no further while a request is being answered, so a client that sends ahead costs
// no more than the socket's small read buffer.
class HttpConnection : public QObject
{
    Q_OBJECT

public:
    // Takes over the connected socket. A connection that is not counted is one the server
    // only refuses.
    HttpConnection(QTcpSocket *socket, HttpServer *server, bool counted);
    ~HttpConnection() override;

    void start();
    // A responder for the refusal of a connection the server cannot take; it closes after it.
    HttpResponder takeOverForRefusal();
    // The server has a slot for the large body this connection waits to read.
    void resumeBody();
    // The server goes away before this connection.
    void detach() { m_server = nullptr; }

    QHostAddress peer() const { return m_request.peer; }
    bool isCounted() const { return m_counted; }

private:
    friend class HttpResponder;
    enum class State { Head, WaitingForSlot, Body, Answering, Closing };

    void readMore();
    bool readHead();
    bool readBody();
    void dispatch();
    void refuse(RequestGuard::Verdict verdict);
    void expire();

    HttpResponder startAnswer(bool keepAlive, bool headOnly);
    // Whether the responder of that answer may still write.
    bool isAnswering(quint64 answer) const { return m_state == State::Answering && m_answer == answer; }
    void beginAnswer(HttpResponder::StatusCode status);
    void addHeader(const QByteArray &name, const QByteArray &value);
    void addBody(const char *data, qint64 size);
    void abandonAnswer();
    void finishAnswer();
    void logAnswer();

    QTcpSocket *m_socket;
    HttpServer *m_server;
    const HttpServer::Limits m_limits;
    bool m_counted;
    State m_state = State::Head;
    QTimer m_timer;
    QByteArray m_buffer;  // received, not yet taken into a request
    HttpRequest m_request;
    bool m_headStarted = false;
    bool m_dispatching = false;

    // The answer being written; each answer has its number, so a responder kept past the end
    // of its own answer cannot write into the next.
    quint64 m_answer = 0;
    QByteArray m_out;
    bool m_headersEnded = false;
    bool m_keepAlive = true;
    bool m_headOnly = false;
    qint64 m_declaredLength = -1;
    qint64 m_bodySent = 0;

    // The request being answered, for the access log; refusals of unreadable requests go unlogged.
    bool m_logged = true;
    int m_status = 0;
    QDateTime m_receivedAt;
    QElapsedTimer m_sinceReceived;
};
