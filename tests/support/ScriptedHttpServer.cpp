#include "support/ScriptedHttpServer.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;

ScriptedHttpServer::ScriptedHttpServer(QObject *parent)
    : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

QString ScriptedHttpServer::root() const
{
    return u"http://127.0.0.1:%1/"_s.arg(m_server.serverPort());
}

void ScriptedHttpServer::setAnswer(const QString &path, const Answer &answer)
{
    m_answers.insert(path, {answer});
}

void ScriptedHttpServer::setAnswers(const QString &path, const QList<Answer> &answers)
{
    m_answers.insert(path, answers);
}

ScriptedHttpServer::Answer ScriptedHttpServer::reply(int status, const QByteArray &body, const QByteArray &contentType)
{
    QByteArray raw = "HTTP/1.1 " + QByteArray::number(status) + " Scripted\r\n";
    raw += "Content-Type: " + contentType + "\r\n";
    raw += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    raw += "Connection: close\r\n\r\n";
    return {raw + body, true};
}

void ScriptedHttpServer::serve(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::disconnected, this, [this] { ++closedConnections; });
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        if (!buffer->contains("\r\n\r\n"))
            return;
        const QList<QByteArray> lines = buffer->left(buffer->indexOf("\r\n\r\n")).split('\n');
        buffer->clear();
        const QString target = QString::fromLatin1(lines.first().split(' ').value(1));
        requestedTargets.append(target);
        QHash<QByteArray, QByteArray> headers;
        for (const QByteArray &line : lines.sliced(1)) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        requestHeaders.append(headers);
        const auto found = m_answers.find(QUrl(target).path());
        if (found == m_answers.end() || found->isEmpty())
            return;
        const Answer answer = found->size() > 1 ? found->takeFirst() : found->first();
        socket->write(answer.raw);
        if (answer.filler > 0)
            sendFiller(socket, answer);
        else
            finish(socket, answer);
    });
}

void ScriptedHttpServer::finish(QTcpSocket *socket, const Answer &answer)
{
    if (answer.resetAfter) {
        socket->waitForBytesWritten(1000);
        socket->abort();
    } else if (answer.closeAfter) {
        socket->disconnectFromHost();
    }
}

void ScriptedHttpServer::sendFiller(QTcpSocket *socket, const Answer &answer)
{
    // Written a piece at a time while little is queued, so the server's own memory stays small
    // whatever the client does with the bytes.
    static constexpr qint64 Piece = 64 * 1024;
    auto left = std::make_shared<qint64>(answer.filler);
    const auto pump = [this, socket, answer, left] {
        const bool paced = answer.pace.count() > 0;
        do {
            if (*left == 0 || socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() > 4 * Piece)
                return;
            const qint64 piece = paced ? 1 : std::min(Piece, *left);
            socket->write(QByteArray(piece, 'x'));
            *left -= piece;
            fillerSent += piece;
            if (*left == 0)
                finish(socket, answer);
        } while (!paced);
    };
    if (answer.pace.count() > 0) {
        auto *ticks = new QTimer(socket);
        connect(ticks, &QTimer::timeout, socket, pump);
        ticks->start(answer.pace);
    } else {
        connect(socket, &QTcpSocket::bytesWritten, socket, pump);
        pump();
    }
}
