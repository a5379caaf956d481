#include "platform/NetworkHttpFetcher.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

constexpr qint64 ReadBufferBytes = 2 * 1024 * 1024;

} // namespace

NetworkHttpFetcher::NetworkHttpFetcher(std::chrono::milliseconds transferTimeout, std::chrono::milliseconds deadline,
                                       qint64 bodyLimit)
    : m_transferTimeout(transferTimeout)
    , m_deadline(deadline)
    , m_bodyLimit(bodyLimit)
{
}

NetworkHttpFetcher::~NetworkHttpFetcher() = default;

Result<QByteArray, HttpFetcher::Error> NetworkHttpFetcher::get(const QString &url)
{
    const QUrl target(url, QUrl::StrictMode);
    if (!target.isValid() || target.isRelative())
        return Failure(Error::Failed);
    if (!m_manager)
        m_manager = std::make_unique<QNetworkAccessManager>();

    QNetworkRequest request(target);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    std::unique_ptr<QNetworkReply> reply(m_manager->get(request));
    QNetworkReply *const r = reply.get();
    // Without a cap the reply keeps reading from the socket while this thread is busy, so on a
    // loaded machine a fast endless body piles up there beyond the limit before it is seen.
    r->setReadBufferSize(ReadBufferBytes);

    // The body is taken as it arrives, a read buffer at a time;
    // an abort ends the reply at once with an error, which fails the fetch.
    QByteArray body;
    QObject::connect(r, &QNetworkReply::metaDataChanged, r, [this, r] {
        const QVariant stated = r->header(QNetworkRequest::ContentLengthHeader);
        if (stated.isValid() && stated.toLongLong() > m_bodyLimit)
            r->abort();
    });
    QObject::connect(r, &QNetworkReply::readyRead, r, [this, r, &body] {
        if (body.size() + r->bytesAvailable() > m_bodyLimit)
            r->abort();
        else
            body += r->readAll();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, r, &QNetworkReply::abort);

    QEventLoop loop;
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!r->isFinished()) {
        deadline.start(m_deadline);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (r->error() != QNetworkReply::NoError || status < 200 || status > 299)
        return Failure(Error::Failed);
    body += r->readAll();
    if (body.size() > m_bodyLimit)
        return Failure(Error::Failed);
    return body;
}
