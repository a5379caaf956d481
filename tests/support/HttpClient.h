#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QString>

class QNetworkReply;

// Plain HTTP requests for tests, each waited for; redirects are left to the test to look at.
class HttpClient
{
public:
    struct Reply
    {
        int status = 0;  // 0 when no answer came
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;

        QByteArray header(QByteArrayView name) const;
        QString text() const { return QString::fromUtf8(body); }
    };

    Reply get(const QString &url, const QList<std::pair<QByteArray, QByteArray>> &headers = {});
    Reply post(const QString &url, const QByteArray &contentType, const QByteArray &body,
               const QList<std::pair<QByteArray, QByteArray>> &headers = {});
    // Any other method, without a body.
    Reply send(const QByteArray &method, const QString &url);

private:
    Reply wait(QNetworkReply *reply);

    QNetworkAccessManager m_network;
};
