#include "site/http/FileStreamer.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
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

std::optional<FileStreamer::Span> FileStreamer::requestedSpan(const QByteArray &range, qint64 size,
                                                              bool *unsatisfiable)
{
    *unsatisfiable = false;
    static const QRegularExpression single(u"^\\s*bytes\\s*=\\s*(\\d*)\\s*-\\s*(\\d*)\\s*$"_s);
    const QRegularExpressionMatch match = single.match(QString::fromLatin1(range));
    if (!match.hasMatch() || (match.capturedLength(1) == 0 && match.capturedLength(2) == 0))
        return std::nullopt;
    bool firstOk = true;
    bool lastOk = true;
    qint64 first = match.captured(1).toLongLong(&firstOk);
    qint64 last = match.captured(2).toLongLong(&lastOk);
    if (match.capturedLength(1) == 0) {
        // "bytes=-n": the last n bytes.
        if (!lastOk || last == 0) {
            *unsatisfiable = lastOk;
            return std::nullopt;
        }
        first = std::max<qint64>(size - last, 0);
        last = size - 1;
        firstOk = true;
    } else if (match.capturedLength(2) == 0 || !lastOk || last >= size) {
        last = size - 1;
    }
    if (!firstOk || last < first) {
        *unsatisfiable = firstOk && first >= size;
        return std::nullopt;
    }
    return Span{first, last - first + 1};
}

void FileStreamer::stream(HttpResponder &&responder, std::unique_ptr<QFile> file, const QByteArray &mimeType,
                          qint64 bytesPerSecond, const QByteArray &range, const QByteArray &ifRange)
{
    const qint64 size = file->size();
    const QDateTime modified = file->fileTime(QFileDevice::FileModificationTime).toUTC();
    // Size and time in the tag: a file replaced under the same name gets another.
    const QByteArray etag = '"' + QByteArray::number(size, 16) + '-'
        + QByteArray::number(modified.toMSecsSinceEpoch(), 16) + '"';
    const QByteArray lastModified =
        QLocale::c().toString(modified, u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s).toLatin1();
    // If-Range: the range only for the version the client already holds, else the whole file.
    const bool sameVersion = ifRange.isEmpty() || ifRange.trimmed() == etag || ifRange.trimmed() == lastModified;
    bool unsatisfiable = false;
    const std::optional<Span> span = range.isEmpty() || !sameVersion
        ? std::nullopt
        : requestedSpan(range, size, &unsatisfiable);

    using Status = HttpResponder::StatusCode;
    responder.writeStatusLine(unsatisfiable ? Status::RequestRangeNotSatisfiable
                                  : span    ? Status::PartialContent
                                            : Status::Ok);
    responder.writeHeader("Accept-Ranges", "bytes");
    responder.writeHeader("ETag", etag);
    responder.writeHeader("Last-Modified", lastModified);
    if (unsatisfiable) {
        responder.writeHeader("Content-Range", "bytes */" + QByteArray::number(size));
        responder.writeHeader("Content-Length", "0");
        responder.writeBody(QByteArray());
        return;
    }
    responder.writeHeader("Content-Type", mimeType);
    const Span sent = span.value_or(Span{0, size});
    if (span) {
        responder.writeHeader("Content-Range", "bytes " + QByteArray::number(sent.first) + '-'
                                                   + QByteArray::number(sent.first + sent.length - 1) + '/'
                                                   + QByteArray::number(size));
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
