#include "site/http/FileStreamer.h"

#include "site/http/ByteRange.h"

#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 ChunkSize = 256 * 1024;
// Enough queued to keep a fast connection busy between two rounds of the event loop.
constexpr qint64 QueueLimit = 1024 * 1024;
// How often a paced file gets its next share.
constexpr int PaceIntervalMs = 50;

} // namespace

std::optional<QString> FileStreamer::locate(const QString &folder, const QString &relativePath)
{
    const QStringList segments = relativePath.split(u'/');
    for (const QString &segment : segments) {
        if (segment.isEmpty() || segment == u"."_s || segment == u".."_s || segment.contains(u'\\')
            || segment.contains(QChar::Null))
            return std::nullopt;
    }
    const QString base = QFileInfo(folder).canonicalFilePath();
    const QFileInfo file(QDir(folder).filePath(relativePath));
    // The canonical path resolves links, so a link inside the folder cannot lead out of it.
    if (base.isEmpty() || !file.isFile() || !file.canonicalFilePath().startsWith(base + u'/'))
        return std::nullopt;
    return file.canonicalFilePath();
}

void FileStreamer::stream(HttpResponder &&responder, std::unique_ptr<QFile> file, const QByteArray &mimeType,
                          qint64 bytesPerSecond, const QByteArray &range, const QByteArray &ifRange)
{
    const qint64 size = file->size();
    const ByteRange::Version version =
        ByteRange::versionOf(size, file->fileTime(QFileDevice::FileModificationTime));
    const ByteRange sent = ByteRange::select(range, ifRange, size, version);

    using Status = HttpResponder::StatusCode;
    responder.writeStatusLine(sent.kind == ByteRange::Kind::Unsatisfiable ? Status::RequestRangeNotSatisfiable
                              : sent.kind == ByteRange::Kind::Span        ? Status::PartialContent
                                                                          : Status::Ok);
    responder.writeHeader("Accept-Ranges", "bytes");
    responder.writeHeader("ETag", version.etag);
    responder.writeHeader("Last-Modified", version.lastModified);
    if (sent.kind == ByteRange::Kind::Unsatisfiable) {
        responder.writeHeader("Content-Range", sent.contentRange());
        responder.writeHeader("Content-Length", "0");
        responder.writeBody(QByteArray());
        return;
    }
    responder.writeHeader("Content-Type", mimeType);
    if (sent.kind == ByteRange::Kind::Span) {
        responder.writeHeader("Content-Range", sent.contentRange());
        file->seek(sent.first);
    }
    responder.writeHeader("Content-Length", QByteArray::number(sent.length));
    responder.writeBody(QByteArray());  // ends the headers, also for an empty file
    if (responder.isComplete())  // nothing to send, or a HEAD request
        return;
    new FileStreamer(std::move(responder), std::move(file), sent.length, bytesPerSecond);
}

FileStreamer::FileStreamer(HttpResponder &&responder, std::unique_ptr<QFile> file, qint64 length,
                           qint64 bytesPerSecond)
    : QObject(responder.socket())
    , m_responder(std::move(responder))
    , m_file(std::move(file))
    , m_remaining(length)
    , m_buffer(ChunkSize, Qt::Uninitialized)
    , m_bytesPerSecond(bytesPerSecond)
{
    QTcpSocket *socket = m_responder.socket();
    connect(socket, &QTcpSocket::bytesWritten, this, &FileStreamer::sendMore);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    if (m_bytesPerSecond > 0) {
        auto *pace = new QTimer(this);
        connect(pace, &QTimer::timeout, this, &FileStreamer::sendMore);
        pace->start(PaceIntervalMs);
        m_sinceStart.start();
    }
    sendMore();
}

// What may go out now: everything, or what the rate has earned since the start.
qint64 FileStreamer::allowance()
{
    if (m_bytesPerSecond <= 0)
        return ChunkSize;
    return std::min(ChunkSize, m_bytesPerSecond * m_sinceStart.elapsed() / 1000 + m_bytesPerSecond / 10 - m_sent);
}

void FileStreamer::sendMore()
{
    QTcpSocket *socket = m_responder.socket();
    while (m_remaining > 0 && socket->bytesToWrite() < QueueLimit && allowance() > 0) {
        const qint64 read = m_file->read(m_buffer.data(), std::min(allowance(), m_remaining));
        if (read <= 0) {
            // The file shrank or failed under us: the promised length cannot be kept, and
            // closing the connection is the only way to tell the client the body is cut short.
            socket->abort();
            deleteLater();
            return;
        }
        m_responder.writeBody(m_buffer.constData(), read);
        m_remaining -= read;
        m_sent += read;
    }
    if (m_remaining == 0) {
        disconnect(socket, nullptr, this, nullptr);
        deleteLater();
    }
}
