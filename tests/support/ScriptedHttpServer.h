#pragma once

#include <QHash>
#include <QStringList>
#include <QTcpServer>

#include <chrono>

// A loopback HTTP server whose answers are written byte for byte by the test, so that it can
// misbehave on purpose: wrong lengths, cut connections, stalls.
class ScriptedHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        QByteArray raw;           // status line, headers and body, sent as they are
        bool closeAfter = true;   // close the connection once raw is written
        bool resetAfter = false;  // instead, drop it at once, as a crashed server does
        // After raw, this many bytes of filler, as fast as the client takes them or, with a
        // pace, one byte a tick; the connection then ends as above.
        qint64 filler = 0;
        std::chrono::milliseconds pace{0};
    };

    explicit ScriptedHttpServer(QObject *parent = nullptr);

    // "http://127.0.0.1:<port>/"
    QString root() const;
    // Answers requests for path (e.g. "/page") with answer; a path without one stalls forever.
    void setAnswer(const QString &path, const Answer &answer);
    // Answers the requests for path with answers in turn, the last one for good.
    void setAnswers(const QString &path, const QList<Answer> &answers);
    // A complete answer with the given status and body, with a correct Content-Length.
    static Answer reply(int status, const QByteArray &body, const QByteArray &contentType = "text/plain");

    QStringList requestedTargets;
    // Header fields of each request, names in lower case.
    QList<QHash<QByteArray, QByteArray>> requestHeaders;
    // Filler bytes handed to connections so far.
    qint64 fillerSent = 0;
    // Connections that have ended, from either side.
    int closedConnections = 0;

private:
    void serve(QTcpSocket *socket);
    void finish(QTcpSocket *socket, const Answer &answer);
    void sendFiller(QTcpSocket *socket, const Answer &answer);

    QTcpServer m_server;
    QHash<QString, QList<Answer>> m_answers;
};
