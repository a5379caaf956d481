#pragma once

#include "site/http/HttpResponder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>

#include <memory>
#include <optional>

// Sends one file as the body of a response, a chunk at a time: a chunk is read only when the
// socket has sent most of what it holds, so even a file of many GiB to a slow client costs
// a bounded amount of memory. Reading ahead without waiting for the socket would buffer the
// whole file when the client reads slowly.
class FileStreamer : public QObject
{
    Q_OBJECT

public:
    // The regular file at relativePath inside folder, or nothing when the path is not a plain
    // relative path or leads outside the folder (through "..", or a link pointing out).
    static std::optional<QString> locate(const QString &folder, const QString &relativePath);

    // Takes over the responder and the opened file; the streamer deletes itself when the file
    // is sent or the connection goes. With a rate above 0, at most that many bytes go out a
    // second, as over a slow line. A single byte range ("Range: bytes=...") is answered with
    // 206 and only that part, unless If-Range names another version of the file; a range
    // that starts past the end gets 416. Every answer carries the file's ETag and
    // Last-Modified.
    static void stream(HttpResponder &&responder, std::unique_ptr<QFile> file, const QByteArray &mimeType,
                       qint64 bytesPerSecond = 0, const QByteArray &range = {}, const QByteArray &ifRange = {});

private:
    FileStreamer(HttpResponder &&responder, std::unique_ptr<QFile> file, qint64 length,
                 qint64 bytesPerSecond);

    void sendMore();
    qint64 allowance();

    HttpResponder m_responder;
    std::unique_ptr<QFile> m_file;
    qint64 m_remaining;
    QByteArray m_buffer;
    qint64 m_bytesPerSecond;
    qint64 m_sent = 0;
    QElapsedTimer m_sinceStart;
};
