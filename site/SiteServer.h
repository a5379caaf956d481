#pragma once

#include "site/http/HttpServer.h"
#include "site/PostLimit.h"
#include "site/forms/UserUpload.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QTimer>

class HttpResponder;
class SiteStore;

// Answers the site's routes: the two catalogues, the official resource pages and files, the
// start page, the users' files, the upload page, the message board and a health check for
// monitoring. Anything else is a 404 page. Posts are taken only from the site's own pages and at a human pace per address, and
// catalogue pages are kept once rendered until the catalogue changes.
class SiteServer : public HttpServer
{
    Q_OBJECT

public:
    // The largest request body taken: one file of the largest size, with room for the form around it.
    static constexpr qint64 MaxRequestBodyBytes = UserUpload::MaxFileBytes + 64 * 1024;

    struct Options
    {
        Limits limits{.maxBodyBytes = MaxRequestBodyBytes};
        // At most this many messages, and uploads, per client address within the window; 0 for no limit.
        int messagesPerWindow = 1;
        qint64 messageWindowMs = 10'000;
        int uploadsPerWindow = 3;
        qint64 uploadWindowMs = 60'000;
    };

    SiteServer(SiteStore &store, const Options &options, QObject *parent = nullptr);
    ~SiteServer() override;

    // The root used for absolute links when a request names no usable host, e.g. "http://127.0.0.1:8642/".
    void setFallbackRoot(const QString &root) { m_fallbackRoot = root; }
    // Sends files at most this many bytes a second, as over a slow line; 0 sends them at once.
    void setFileRate(qint64 bytesPerSecond) { m_fileRate = bytesPerSecond; }
    // Writes a line for each request but health checks on standard output.
    void setAccessLog(bool on) { m_accessLog = on; }

protected:
    void handleRequest(const HttpRequest &request, HttpResponder &&responder) override;
    void refuse(Refusal refusal, HttpResponder &&responder) override;
    void logAccess(const HttpRequest &request, const AccessLog::Entry &entry) override;

private:
    bool route(const HttpRequest &request, HttpResponder &responder, const QString &root);
    void catalogueRoute(const HttpRequest &request, HttpResponder &responder, const QString &root);
    void uploadRoute(const HttpRequest &request, HttpResponder &responder, const QString &root);
    void messageBoardRoute(const HttpRequest &request, HttpResponder &responder, const QString &root);
    QString rootFor(const HttpRequest &request) const;
    bool isSameOrigin(const HttpRequest &request) const;
    bool uploadedFileRoute(const HttpRequest &request, HttpResponder &responder, const QString &relativePath);
    bool sendFile(const HttpRequest &request, HttpResponder &responder, const QString &folder,
                  const QString &relativePath);
    static QString sender(const HttpRequest &request);
    bool isBlocked(const QHostAddress &peer) const;
    void flushAccessLog();

    SiteStore &m_store;
    QString m_fallbackRoot;
    qint64 m_fileRate = 0;
    bool m_accessLog = false;
    QByteArray m_accessLines;  // not yet written
    QTimer m_accessFlush;
    PostLimit m_messageLimit;
    PostLimit m_uploadLimit;
    QElapsedTimer m_clock;
    // Rendered catalogue answers by root and request target; emptied when a catalogue changes,
    // here or, as the store's revision tells, in another process.
    QHash<QByteArray, QByteArray> m_catalogueCache;
    qint64 m_revision = -1;
};
