#include "platform/AsyncReader.h"

#include "platform/ReplyFailure.h"

#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

// The most a reply buffers before the transfer waits for us: memory stays bounded whatever
// the size of the file. Larger buffers measured slower over loopback, not faster.
constexpr qint64 ReadBufferSize = 256 * 1024;
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

qint32 statusOf(const QNetworkReply &reply)
{
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QHash<QByteArray, QByteArray> headersOf(const QNetworkReply &reply)
{
    QHash<QByteArray, QByteArray> headers;
    for (const auto &[name, value] : reply.rawHeaderPairs())
        headers.insert(name.toLower(), value);
    return headers;
}

Q_LOGGING_CATEGORY(lcNetwork, "quillmere.network", QtWarningMsg)

}  // namespace

struct AsyncReader::Read
{
    QString propertyName;
    std::unique_ptr<QNetworkReply, ReplyDeleter> reply;
    bool accepted = false;  // the answer's status was seen and is a success
    qint64 received = 0;
    qint64 total = 0;            // from Content-Length; 0 when the server does not announce it
    QList<QSslError> sslErrors;  // what the handshake found wrong with the server's certificate
};

AsyncReader::AsyncReader(std::chrono::milliseconds inactivityTimeout, QObject *parent)
    : AsyncReadFacility(parent)
    , m_inactivityTimeout(inactivityTimeout)
{
}

AsyncReader::~AsyncReader() = default;

Result<void, AsyncReadError> AsyncReader::AsyncRead(const QString &target, AsyncReadType readType,
                                                    const QString &propertyName, qint32 options,
                                                    const AsyncReadHeaders &headers)
{
    // Tolerant: an address with a space or other unencoded character is sent encoded.
    const QUrl url(target, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty() || (url.scheme() != u"http"_s && url.scheme() != u"https"_s))
        return Failure(AsyncReadError{InvalidArgument, u"不支持的下载地址: "_s + target});
    if (readType != AsyncReadType::Stream)
        return Failure(AsyncReadError{InvalidArgument, u"不支持的读取方式"_s});

    if (!m_manager)
        m_manager = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_inactivityTimeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaximumRedirects);
    // The body is passed on as sent: byte counts then match Content-Length and byte ranges.
    request.setRawHeader("Accept-Encoding", "identity");
    if (options & AsyncReadForceUpdate) {
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setRawHeader("Cache-Control", "no-cache");
    }
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);

    const quint64 id = m_nextId++;
    auto read = std::make_unique<Read>();
    read->propertyName = propertyName;
    read->reply = {m_manager->get(request), ReplyDeleter{this}};
    read->reply->setReadBufferSize(ReadBufferSize);
    connect(read->reply.get(), &QNetworkReply::readyRead, this, [this, id] { receive(id); });
    connect(read->reply.get(), &QNetworkReply::finished, this, [this, id] { finish(id); });
    // Not ignored: the handshake fails, and these say why.
    connect(read->reply.get(), &QNetworkReply::sslErrors, this, [this, id](const QList<QSslError> &errors) {
        if (const auto found = m_reads.find(id); found != m_reads.end())
            found->second->sslErrors = errors;
    });
    m_reads.emplace(id, std::move(read));
    return {};
}

void AsyncReader::CancelAsyncRead(const QString &propertyName)
{
    std::erase_if(m_reads, [&](const auto &entry) { return entry.second->propertyName == propertyName; });
}

void AsyncReader::receive(quint64 id)
{
    if (m_reads.contains(id) && !pass(id) && m_reads.contains(id))
        fail(id);
}

void AsyncReader::finish(quint64 id)
{
    const auto found = m_reads.find(id);
    if (found == m_reads.end())
        return;
    if (found->second->reply->error() != QNetworkReply::NoError || !pass(id)) {
        if (m_reads.contains(id))
            fail(id);
        return;
    }
    // The host may have cancelled the read while it took the last bytes.
    const std::unique_ptr<Read> done = take(id);
    if (!done)
        return;
    const qint32 status = statusOf(*done->reply);
    if (done->total != 0 && done->received != done->total) {
        const TransferError cut{TransferError::Kind::ConnectionCut, status, done->reply->url().host(),
                                u"the body ended after %1 of %2 bytes"_s.arg(done->received).arg(done->total)};
        qCDebug(lcNetwork) << "read of" << done->reply->url() << "failed:" << cut;
        Q_EMIT AsyncReadComplete(
            {done->propertyName, AsyncProperty::Error, done->received, done->total, status, {}, {}, cut});
        return;
    }
    Q_EMIT AsyncReadComplete(
        {done->propertyName, AsyncProperty::EndDownloadData, done->received, done->received, status, {}, {}, {}});
}

void AsyncReader::fail(quint64 id)
{
    const std::unique_ptr<Read> failed = take(id);
    if (!failed)
        return;
    const QNetworkReply &reply = *failed->reply;
    const qint32 status = statusOf(reply);
    const TransferError reason = ReplyFailure::of(reply, failed->sslErrors);
    qCDebug(lcNetwork) << "read of" << reply.url() << "failed:" << reason;
    Q_EMIT AsyncReadComplete({failed->propertyName,
                              AsyncProperty::Error,
                              failed->received,
                              failed->total,
                              status,
                              status ? headersOf(reply) : QHash<QByteArray, QByteArray>(),
                              {},
                              reason});
}

// Hands on what has arrived: first the head of a successful answer, then its body in chunks.
// False when the answer is not a success; nothing of an unsuccessful answer is handed on. The
// host may cancel the read from inside any notification, so the read is looked up again
// after each.
bool AsyncReader::pass(quint64 id)
{
    Read *read = m_reads.at(id).get();
    if (!read->accepted) {
        const qint32 status = statusOf(*read->reply);
        if (status < 200 || status > 299)
            return false;
        read->accepted = true;
        read->total = qMax(0LL, read->reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
        Q_EMIT AsyncReadProgress(
            {read->propertyName, AsyncProperty::BeginDownloadData, 0, read->total, status, headersOf(*read->reply), {}, {}});
        if (!m_reads.contains(id))
            return true;
    }
    // At most ReadBufferSize bytes are waiting; they go through one buffer kept for all reads.
    if (m_chunk.size() != ReadBufferSize)
        m_chunk.resize(ReadBufferSize);
    for (qint64 got; (got = read->reply->read(m_chunk.data(), m_chunk.size())) > 0;) {
        read->received += got;
        Q_EMIT AsyncReadProgress({read->propertyName,
                                  AsyncProperty::DownloadingData,
                                  read->received,
                                  read->total,
                                  0,
                                  {},
                                  QByteArray::fromRawData(m_chunk.constData(), got),
                                  {}});
        const auto found = m_reads.find(id);
        if (found == m_reads.end())
            return true;
        read = found->second.get();
    }
    return true;
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

}  // namespace Quillmere
