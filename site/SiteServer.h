#pragma once

#include <QAbstractHttpServer>
#include <QHttpServerResponder>
#include <QString>

class SiteStore;

// Answers the site's routes: the two catalogues, the official resource pages and files, the
// start page and the users' files. Anything else is a 404 page.
class SiteServer : public QAbstractHttpServer
{
    Q_OBJECT

public:
    explicit SiteServer(SiteStore &store, QObject *parent = nullptr);

    // The root used for absolute links when a request names no usable host, e.g. "http://127.0.0.1:8642/".
    void setFallbackRoot(const QString &root) { m_fallbackRoot = root; }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    QString rootFor(const QHttpServerRequest &request) const;
    bool sendFile(const QHttpServerRequest &request, QTcpSocket *socket, const QString &folder,
                  const QString &relativePath);

    SiteStore &m_store;
    QString m_fallbackRoot;
};
