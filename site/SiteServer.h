#pragma once

#include "site/UserUpload.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHttpServerResponder>
#include <QString>

class SiteStore;

// Answers the site's routes: the two catalogues, the official resource pages and files, the
// start page, the users' files, the upload page and the message board. Anything else is a 404 page.
class SiteServer : public QAbstractHttpServer
{
    Q_OBJECT

public:
    // The largest request body taken: one file of the largest size, with room for the form around it.
    static constexpr qint64 MaxRequestBodyBytes = UserUpload::MaxFileBytes + 64 * 1024;

    explicit SiteServer(SiteStore &store, QObject *parent = nullptr);

    // Listens on address and port (0 picks a free one) through a server that refuses requests
    // too large to take; returns the port, or 0 when it cannot listen.
    quint16 listenGuarded(const QHostAddress &address, quint16 port);

    // The root used for absolute links when a request names no usable host, e.g. "http://127.0.0.1:8642/".
    void setFallbackRoot(const QString &root) { m_fallbackRoot = root; }
    // Sends files at most this many bytes a second, as over a slow line; 0 sends them at once.
    void setFileRate(qint64 bytesPerSecond) { m_fileRate = bytesPerSecond; }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    bool uploadRoute(const QHttpServerRequest &request, QTcpSocket *socket, const QString &root);
    bool messageBoardRoute(const QHttpServerRequest &request, QTcpSocket *socket, const QString &root);
    QString rootFor(const QHttpServerRequest &request) const;
    bool sendFile(const QHttpServerRequest &request, QTcpSocket *socket, const QString &folder,
                  const QString &relativePath);

    SiteStore &m_store;
    QString m_fallbackRoot;
    qint64 m_fileRate = 0;
};
