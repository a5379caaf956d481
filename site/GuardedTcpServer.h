#pragma once

#include <QByteArray>
#include <QTcpServer>

#include <functional>

// Listens like QTcpServer, and refuses a request whose head or declared body is larger than
// the site takes as soon as its head has arrived. The HTTP server behind it would otherwise
// hold any request in memory, however large, until the last byte came. A body of unstated
// length (chunked) is refused as well, since its size is known only at the end.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    enum class Refusal { HeadTooLarge, LengthRequired, BodyTooLarge };
    // Writes the whole answer to a refused request: status line, headers and page.
    using Answer = std::function<QByteArray(Refusal)>;

    static constexpr qsizetype MaxHeadBytes = 64 * 1024;

    GuardedTcpServer(qint64 maxBodyBytes, Answer answer, QObject *parent = nullptr);

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    qint64 m_maxBodyBytes;
    Answer m_answer;
};
