#include "platform/NetworkHttpFetcher.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

NetworkHttpFetcher::NetworkHttpFetcher(std::chrono::milliseconds transferTimeout)
    : m_transferTimeout(transferTimeout)
{
}

NetworkHttpFetcher::~NetworkHttpFetcher() = default;

std::optional<QByteArray> NetworkHttpFetcher::get(const QString &url)
{
    const QUrl target(url, QUrl::StrictMode);
    if (!target.isValid() || target.isRelative())
        return std::nullopt;
    if (!m_manager)
        m_manager = std::make_unique<QNetworkAccessManager>();

    QNetworkRequest request(target);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    std::unique_ptr<QNetworkReply> reply(m_manager->get(request));

    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299)
        return std::nullopt;
    return reply->readAll();
}
