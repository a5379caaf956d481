#pragma once

#include <QByteArray>
#include <QFile>
#include <QHttpServerResponder>
#include <QObject>

#include <memory>
#include <optional>

// Sends one file as the body of a response, a chunk at a time: a chunk is read only when the
// socket has sent most of what it holds, so even a file of many GiB to a slow client costs
// a bounded amount of memory. QHttpServerResponder::write(QIODevice *) reads ahead without
// waiting for the socket, which buffers the whole file when the client reads slowly.
class FileStreamer : public QObject
{
    Q_OBJECT

public:
    // The regular file at relativePath inside folder, or nothing when the path is not a plain
    // relative path or leads outside the folder (through "..", or a link pointing out).
    static std::optional<QString> locate(const QString &folder, const QString &relativePath);

    // Takes over the responder and the opened file; the streamer deletes itself when the file
    // is sent or the connection goes.
    static void stream(QHttpServerResponder &&responder, std::unique_ptr<QFile> file, const QByteArray &mimeType);

private:
    FileStreamer(QHttpServerResponder &&responder, std::unique_ptr<QFile> file);

    void sendMore();

    QHttpServerResponder m_responder;
    std::unique_ptr<QFile> m_file;
    qint64 m_remaining;
    QByteArray m_buffer;
};
