#include "support/HttpClient.h"

#include <QNetworkReply>
#include <QSignalSpy>

namespace {

constexpr int TimeoutMs = 30000;

QNetworkRequest request(const QString &url)
{
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    return request;
}

}  // namespace

HttpClient::Reply HttpClient::get(const QString &url, const QList<std::pair<QByteArray, QByteArray>> &headers)
{
    QNetworkRequest get = request(url);
    for (const auto &[name, value] : headers)
        get.setRawHeader(name, value);
    return wait(m_network.get(get));
}

HttpClient::Reply HttpClient::post(const QString &url, const QByteArray &contentType, const QByteArray &body,
                                   const QList<std::pair<QByteArray, QByteArray>> &headers)
{
    QNetworkRequest post = request(url);
    for (const auto &[name, value] : headers)
        post.setRawHeader(name, value);
    post.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    return wait(m_network.post(post, body));
}

HttpClient::Reply HttpClient::send(const QByteArray &method, const QString &url)
{
    return wait(m_network.sendCustomRequest(request(url), method));
}

QByteArray HttpClient::Reply::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpClient::Reply HttpClient::wait(QNetworkReply *reply)
{
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(TimeoutMs);
    Reply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.headers = reply->rawHeaderPairs();
    result.body = reply->readAll();
    reply->deleteLater();
    return result;
}
