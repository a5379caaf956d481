#pragma once

#include "site/PageCache.h"
#include "site/forms/MessagePost.h"
#include "site/forms/UploadIntake.h"
#include "site/forms/UploadShare.h"
#include "site/forms/UserUpload.h"
#include "site/store/SiteStore.h"
#include "site/http/HttpDaemon.h"
#include "site/http/Origins.h"
#include "site/scan/ClamdClient.h"

#include <QTimer>
#include <QList>
#include <QString>


// Answers the site's routes: the two catalogues, the official resource pages and files, the
// start page, the users' files, the upload page, the message board and a health check for
// monitoring. Anything else is a 404 page. Posts are taken only from the site's own pages and at a human pace per address, and
// catalogue pages are kept once rendered until the catalogue changes.
class SiteServer : public HttpDaemon::Handler
{
public:
    // The largest request body taken: one file of the largest size, with room for the form around it.
    static constexpr qint64 MaxRequestBodyBytes = UserUpload::MaxFileBytes + 64 * 1024;
    // The largest form without a file: a message fits many times over.
    static constexpr qint64 MaxTextFormBytes = 8 * 1024;
    static constexpr int MaxFormFields = 16;

    struct Options
    {
        // A refused body the site could have taken is read and dropped, so that its answer arrives.
        HttpDaemon::Limits limits{.maxDrainedBodyBytes = MaxRequestBodyBytes};
        // At most this many messages, and uploads, per client address within the window; 0 for no limit.
        int messagesPerWindow = 1;
        qint64 messageWindowMs = 10'000;
        int uploadsPerWindow = 3;
        qint64 uploadWindowMs = 60'000;
        UploadShare::Limits uploadShare;
        // Uploads are scanned by this clamd before they are stored; none when unset.
        std::optional<ClamdClient> scanner;
        UploadIntake::WhenUnavailable whenScanUnavailable = UploadIntake::WhenUnavailable::Refuse;
    };

    SiteServer(SiteStore &store, const Options &options);
    ~SiteServer() override;

    // Without origins set before, the site is reached by the address and port it listens on.
    bool listen(const QHostAddress &address, quint16 port);
    quint16 serverPort() const { return m_daemon.serverPort(); }
    // The addresses the site is reached by; pages link from the first.
    void setOrigins(const Origins &origins) { m_origins = origins; }
    const std::optional<Origins> &origins() const { return m_origins; }
    // Sends files at most this many bytes a second, as over a slow line; 0 sends them at once.
    void setFileRate(qint64 bytesPerSecond) { m_daemon.setFileRate(bytesPerSecond); }
    // Believes X-Forwarded-For from these peers: see TrustedProxies.
    void setTrustedProxies(const TrustedProxies &proxies) { m_daemon.setTrustedProxies(proxies); }
    // Files are not sent but handed to the proxy in front: their answer names the file as
    // prefix + its path below the files folder in X-Accel-Redirect, with the type and the
    // headers the site decides, and the proxy sends it with ranges and validators of its own.
    void setAccelRedirect(const QByteArray &prefix) { m_accelPrefix = prefix; }
    // Writes a line for each request but health checks on standard output.
    void setAccessLog(bool on) { m_accessLog = on; }

    HttpDaemon::HeadDecision headArrived(const HttpRequest &request) override;
    HttpDaemon::FormDecision formArrived(const HttpRequest &request, ReceivedForm &form,
                                         std::optional<FormReader::Error> error) override;
    HttpAnswer busy() override;
    HttpAnswer framingRefused(int status) override;
    void answered(const HttpRequest &request, const AccessLog::Entry &entry) override;

private:
    // Answers a GET (or HEAD) below the route's path; nothing when no such page or file is there.
    using PageHandler = std::optional<HttpAnswer> (SiteServer::*)(const HttpRequest &request, const QString &rest);
    using FormHandler = HttpDaemon::FormDecision (SiteServer::*)(const HttpRequest &request, ReceivedForm &form,
                                                                 std::optional<FormReader::Error> error);

    struct Route
    {
        QString path;  // ending in "/" with prefix set, every path below it
        bool prefix;
        PageHandler page;
        FormHandler post;  // null when the route takes no posts
        bool takesFiles;
    };

    const Route *routeFor(const QString &path, QString *rest) const;
    std::optional<HttpAnswer> refusePost(const HttpRequest &request, const Route &route) const;
    FormReader::Limits formLimits(const Route &route) const;

    std::optional<HttpAnswer> catalogue(const HttpRequest &request, const QString &rest);
    std::optional<HttpAnswer> resourcePage(const HttpRequest &request, const QString &rest);
    std::optional<HttpAnswer> startPage(const HttpRequest &request, const QString &rest);
    std::optional<HttpAnswer> officialFile(const HttpRequest &request, const QString &rest);
    std::optional<HttpAnswer> userFile(const HttpRequest &request, const QString &rest);
    std::optional<HttpAnswer> uploadPage(const HttpRequest &request, const QString &rest);
    HttpDaemon::FormDecision upload(const HttpRequest &request, ReceivedForm &form,
                                    std::optional<FormReader::Error> error);
    HttpAnswer uploadTaken(const Result<UploadIntake::Taken, UserUpload::Error> &taken, const SiteResource &entered,
                           const QHostAddress &peer);
    std::optional<HttpAnswer> health(const HttpRequest &request, const QString &rest);
    std::optional<HttpAnswer> messageBoard(const HttpRequest &request, const QString &rest);
    HttpDaemon::FormDecision postMessage(const HttpRequest &request, ReceivedForm &form,
                                         std::optional<FormReader::Error> error);
    HttpAnswer messageBoardPage(const HttpRequest &request, qint64 page,
                                const std::optional<MessagePost::Rejection> &rejection, bool posted);
    HttpAnswer uploadRefused(const UserUpload::Rejection &rejection, const QHostAddress &peer) const;

    QString root() const { return m_origins->root(); }
    // The request's path below the origin's, which the routes are matched against.
    QString sitePath(const HttpRequest &request) const;
    HttpAnswer refused(int status, const QString &message, const HttpAnswer::Headers &headers = {}) const;
    bool isBlocked(const QHostAddress &peer) const;
    // Counted in the store, so that site processes sharing it share an address's allowance;
    // an IPv6 client's allowance is its /64's.
    Result<bool, StoreError> takePost(SiteStore::PostKind kind, const QHostAddress &peer);
    qint64 secondsToWait(SiteStore::PostKind kind, const QHostAddress &peer) const;
    void flushAccessLog();
    void removeSpoolLeftovers();
    std::optional<QByteArray> digestOf(const QString &below, const QString &path);
    std::optional<HttpAnswer> sendFile(const HttpRequest &request, const QString &folder, const QString &relativePath,
                                       const HttpAnswer::Headers &headers = {});

    SiteStore &m_store;
    const QList<Route> m_routes;
    std::optional<Origins> m_origins;
    Options m_options;
    UploadShare m_share;
    std::unique_ptr<ScanPool> m_scanner;
    UploadIntake m_intake;
    // Rendered catalogue answers by query; emptied when a catalogue changes, here or, as the
    // store's revision tells, in another process.
    PageCache m_catalogueCache;
    qint64 m_revision = -1;
    bool m_accessLog = false;
    QByteArray m_accelPrefix;  // empty: the site sends files itself
    QByteArray m_accessLines;  // not yet written
    QTimer m_accessFlush;
    QTimer m_leftoverSweep;
    // Last: it calls back into everything above until it is gone.
    HttpDaemon m_daemon;
};
