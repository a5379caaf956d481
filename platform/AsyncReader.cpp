#include "platform/AsyncReader.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// The most a reply buffers before the transfer waits for us: memory stays bounded whatever
// the size of the file. Larger buffers measured slower over loopback, not faster.
constexpr qint64 ReadBufferSize = 256 * 1024;
// Progress is reported at most 60 times a second: each report redraws the host's bar.
constexpr qint64 ProgressIntervalMs = 17;
constexpr int MaximumRedirects = 10;
constexpr qint32 InvalidArgument = 5;

struct ReplyDeleter
{
    void operator()(QNetworkReply *reply) const
    {
        // Deleting a running reply stops its transfer; later, as it may be inside one of its
        // signals. Only our own connections go: the manager needs its own for the stop.
        QObject::disconnect(reply, nullptr, receiver, nullptr);
        reply->deleteLater();
    }

    const QObject *receiver = nullptr;
};

bool answeredWithSuccess(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status <= 299;
}

} // namespace

struct AsyncReader::Read
{
    QString propertyName;
    std::shared_ptr<QSaveFile> file;
    std::unique_ptr<QNetworkReply, ReplyDeleter> reply;
    bool accepted = false;  // the answer's status was seen and is a success
    qint64 received = 0;
    qint64 total = 0;       // from Content-Length; 0 when the server does not announce it
    qint64 reported = 0;
    QElapsedTimer sinceReport;
};

AsyncReader::AsyncReader(std::chrono::milliseconds inactivityTimeout, QObject *parent)
    : AsyncReadFacility(parent)
    , m_inactivityTimeout(inactivityTimeout)
{
}

AsyncReader::~AsyncReader() = default;

std::optional<AsyncReadError> AsyncReader::AsyncRead(const QString &target, AsyncReadType readType,
                                                     const QString &propertyName, qint32 options)
{
    // Tolerant: an address with a space or other unencoded character is sent encoded.
    const QUrl url(target, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty() || (url.scheme() != u"http"_s && url.scheme() != u"https"_s))
        return AsyncReadError{InvalidArgument, u"不支持的下载地址: "_s + target};
    if (readType != AsyncReadType::StagedFile)
        return AsyncReadError{InvalidArgument, u"不支持的读取方式"_s};

    const quint64 id = m_nextId++;
    auto read = std::make_unique<Read>();
    read->propertyName = propertyName;
    read->file = std::make_shared<QSaveFile>(propertyName);
    // Unbuffered: the chunks are large already, so a buffer would only copy them once more.
    if (!read->file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // The read counts as started; its failure arrives like any other, through the event loop.
        m_reads.emplace(id, std::move(read));
        QTimer::singleShot(0, this, [this, id] { fail(id); });
        return std::nullopt;
    }

    if (!m_manager)
        m_manager = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_inactivityTimeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaximumRedirects);
    // The file is saved as sent: byte counts then match Content-Length and the file on disk.
    request.setRawHeader("Accept-Encoding", "identity");
    if (options & AsyncReadForceUpdate) {
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setRawHeader("Cache-Control", "no-cache");
    }
    read->reply = {m_manager->get(request), ReplyDeleter{this}};
    read->reply->setReadBufferSize(ReadBufferSize);
    connect(read->reply.get(), &QNetworkReply::readyRead, this, [this, id] { receive(id); });
    connect(read->reply.get(), &QNetworkReply::finished, this, [this, id] { finish(id); });
    m_reads.emplace(id, std::move(read));
    return std::nullopt;
}

void AsyncReader::CancelAsyncRead(const QString &propertyName)
{
    std::erase_if(m_reads, [&](const auto &entry) { return entry.second->propertyName == propertyName; });
}

void AsyncReader::receive(quint64 id)
{
    const auto found = m_reads.find(id);
    if (found == m_reads.end())
        return;
    Read &read = *found->second;
    if (!store(read)) {
        fail(id);
        return;
    }
    if (read.sinceReport.isValid() && read.sinceReport.elapsed() < ProgressIntervalMs)
        return;
    reportProgress(read);
}

void AsyncReader::finish(quint64 id)
{
    const auto found = m_reads.find(id);
    if (found == m_reads.end())
        return;
    Read &read = *found->second;
    const bool whole = read.reply->error() == QNetworkReply::NoError && store(read)
        && (read.total == 0 || read.received == read.total);
    if (!whole) {
        fail(id);
        return;
    }
    if (read.reported != read.received) {
        reportProgress(read);
        // The host may have cancelled the read while it was told of its progress.
        if (!m_reads.contains(id))
            return;
    }
    const std::unique_ptr<Read> done = take(id);
    Q_EMIT AsyncReadComplete({done->propertyName, AsyncProperty::EndDownloadData, done->received,
                              done->received, done->file});
}

void AsyncReader::fail(quint64 id)
{
    const std::unique_ptr<Read> failed = take(id);
    if (failed)
        Q_EMIT AsyncReadComplete({failed->propertyName, AsyncProperty::Error, failed->received,
                                  failed->total, nullptr});
}

// Moves what has arrived into the file. False when the answer is not a success or the file
// cannot take the bytes; nothing of an unsuccessful answer is ever written.
bool AsyncReader::store(Read &read)
{
    if (!read.accepted) {
        if (!answeredWithSuccess(*read.reply))
            return false;
        read.accepted = true;
        read.total = qMax(0LL, read.reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    }
    // At most ReadBufferSize bytes are waiting; they go through one buffer kept for all reads.
    if (m_chunk.size() != ReadBufferSize)
        m_chunk.resize(ReadBufferSize);
    for (qint64 got; (got = read.reply->read(m_chunk.data(), m_chunk.size())) > 0;) {
        if (read.file->write(m_chunk.constData(), got) != got)
            return false;
        read.received += got;
    }
    return true;
}

void AsyncReader::reportProgress(Read &read)
{
    read.reported = read.received;
    read.sinceReport.start();
    Q_EMIT AsyncReadProgress({read.propertyName, AsyncProperty::DownloadingData, read.received, read.total, nullptr});
}

std::unique_ptr<AsyncReader::Read> AsyncReader::take(quint64 id)
{
    const auto found = m_reads.find(id);
    if (found == m_reads.end())
        return nullptr;
    std::unique_ptr<Read> read = std::move(found->second);
    m_reads.erase(found);
    return read;
}
