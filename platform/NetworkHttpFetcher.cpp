#include "platform/NetworkHttpFetcher.h"

#include "platform/ReplyFailure.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

constexpr qint64 ReadBufferBytes = 2 * 1024 * 1024;

}  // namespace

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
        return Failure(TransferError{TransferError::Kind::Other, 0, target.host(), u"not an address: "_s + url});
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
    std::optional<TransferError::Kind> aborted;
    const auto abort = [r, &aborted](TransferError::Kind why) {
        aborted = why;
        r->abort();
    };
    QObject::connect(r, &QNetworkReply::metaDataChanged, r, [this, r, abort] {
        const QVariant stated = r->header(QNetworkRequest::ContentLengthHeader);
        if (stated.isValid() && stated.toLongLong() > m_bodyLimit)
            abort(TransferError::Kind::AnswerTooLarge);
    });
    QObject::connect(r, &QNetworkReply::readyRead, r, [this, r, &body, abort] {
        if (body.size() + r->bytesAvailable() > m_bodyLimit)
            abort(TransferError::Kind::AnswerTooLarge);
        else
            body += r->readAll();
    });
    QList<QSslError> sslErrors;
    QObject::connect(r, &QNetworkReply::sslErrors, r,
                     [&sslErrors](const QList<QSslError> &errors) { sslErrors = errors; });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, r, [abort] { abort(TransferError::Kind::AnswerTooSlow); });

    QEventLoop loop;
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!r->isFinished()) {
        deadline.start(m_deadline);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (r->error() != QNetworkReply::NoError || status < 200 || status > 299) {
        TransferError error = ReplyFailure::of(*r, sslErrors);
        if (aborted)
            error.kind = *aborted;
        return Failure(error);
    }
    body += r->readAll();
    if (body.size() > m_bodyLimit)
        return Failure(TransferError{TransferError::Kind::AnswerTooLarge, status, target.host(), {}});
    return body;
}

}  // namespace Quillmere
