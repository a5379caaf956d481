#pragma once

#include "site/http/HttpServer.h"
#include "site/PageCache.h"
#include "site/PostLimit.h"
#include "site/forms/UserUpload.h"

#include <QElapsedTimer>
#include <QString>

class HttpResponder;
class SiteStore;

// Answers the site's routes: the two catalogues, the official resource pages and files, the
// start page, the users' files, the upload page and the message board. Anything else is a 404
// page. Posts are taken only from the site's own pages and at a human pace per address, and
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

    // The root used for absolute links when a request names no usable host, e.g. "http://127.0.0.1:8642/".
    void setFallbackRoot(const QString &root) { m_fallbackRoot = root; }
    // Sends files at most this many bytes a second, as over a slow line; 0 sends them at once.
    void setFileRate(qint64 bytesPerSecond) { m_fileRate = bytesPerSecond; }

protected:
    void handleRequest(const HttpRequest &request, HttpResponder &&responder) override;
    void refuse(Refusal refusal, HttpResponder &&responder) override;

private:
    bool route(const HttpRequest &request, HttpResponder &responder, const QString &root);
    void catalogueRoute(const HttpRequest &request, HttpResponder &responder, const QString &root);
    void uploadRoute(const HttpRequest &request, HttpResponder &responder, const QString &root);
    void messageBoardRoute(const HttpRequest &request, HttpResponder &responder, const QString &root);
    QString rootFor(const HttpRequest &request) const;
    bool isSameOrigin(const HttpRequest &request) const;
    bool sendFile(const HttpRequest &request, HttpResponder &responder, const QString &folder,
                  const QString &relativePath);

    SiteStore &m_store;
    QString m_fallbackRoot;
    qint64 m_fileRate = 0;
    PostLimit m_messageLimit;
    PostLimit m_uploadLimit;
    QElapsedTimer m_clock;
    // Rendered catalogue answers by query; emptied when a catalogue changes.
    PageCache m_catalogueCache;
};
