#pragma once

#include "site/cache/CatalogueCache.h"
#include "site/forms/PostGate.h"
#include "site/forms/UploadIntake.h"
#include "site/forms/UploadShare.h"
#include "site/forms/UserUpload.h"
#include "site/http/HttpDaemon.h"
#include "site/http/Origins.h"
#include "site/log/AccessLogWriter.h"
#include "site/routes/CatalogueRoutes.h"
#include "site/routes/FileRoutes.h"
#include "site/routes/MessageRoutes.h"
#include "site/routes/RouteContext.h"
#include "site/routes/UploadRoutes.h"
#include "site/scan/ClamdClient.h"
#include "site/store/SiteStore.h"
#include "site/store/StorePool.h"

#include <QList>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace Site {

// Answers the site's routes: the two catalogues, the official resource pages and files, the
// start page, the users' files, the upload page, the message board and a health check for
// monitoring. Anything else is a 404 page. Posts are taken only from the site's own pages and
// at a human pace per address, and catalogue pages are kept once rendered until the catalogue
// changes. What needs the store is answered once a worker has read it.
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
    // Connects the store's workers first.
    bool listen(const QHostAddress &address, quint16 port);
    quint16 serverPort() const { return m_daemon.serverPort(); }
    // The addresses the site is reached by; pages link from the first.
    void setOrigins(const Origins &origins) { m_context.origins = origins; }
    const std::optional<Origins> &origins() const { return m_context.origins; }
    // Sends files at most this many bytes a second, as over a slow line; 0 sends them at once.
    void setFileRate(qint64 bytesPerSecond) { m_daemon.setFileRate(bytesPerSecond); }
    // Believes X-Forwarded-For from these peers: see TrustedProxies.
    void setTrustedProxies(const TrustedProxies &proxies) { m_daemon.setTrustedProxies(proxies); }
    // See FileSender.
    void setAccelRedirect(const QByteArray &prefix) { m_files.sender().setAccelRedirect(prefix); }
    // Writes a line for each request but health checks on standard output.
    void setAccessLog(bool on);

    HttpDaemon::HeadDecision headArrived(const HttpRequest &request) override;
    HttpDaemon::FormDecision formArrived(const HttpRequest &request, ReceivedForm &form,
                                         std::optional<FormReader::Error> error) override;
    HttpAnswer busy() override;
    HttpAnswer framingRefused(int status) override;
    void answered(const HttpRequest &request, const AccessLog::Entry &entry) override;

private:
    // Answers a GET (or HEAD) below the route's path, given the rest of the path.
    using PageHandler = std::function<HttpDaemon::HeadDecision(const HttpRequest &request, const QString &rest)>;
    using FormHandler = std::function<HttpDaemon::FormDecision(const HttpRequest &request, ReceivedForm &form,
                                                               std::optional<FormReader::Error> error)>;

    struct Route
    {
        QString path;  // ending in "/" with prefix set, every path below it
        bool prefix;
        PageHandler page;
        FormHandler post;  // null when the route takes no posts
        bool takesFiles;
    };

    QList<Route> routes();
    const Route *routeFor(const QString &path, QString *rest) const;
    HttpDaemon::HeadDecision postArrived(const HttpRequest &request, const Route &route);
    FormReader::Limits formLimits(const Route &route) const;
    HttpDaemon::HeadDecision health();
    // The request's path below the origin's, which the routes are matched against.
    QString sitePath(const HttpRequest &request) const;
    void removeSpoolLeftovers();

    SiteStore &m_store;
    Options m_options;
    // Before the workers: their jobs use what the routes hold until the pool is gone.
    RouteContext m_context;
    CatalogueCache m_catalogueCache;
    PostGate m_gate;
    UploadShare m_share;
    UploadIntake m_intake;
    CatalogueRoutes m_catalogues;
    FileRoutes m_files;
    UploadRoutes m_uploads;
    MessageRoutes m_messages;
    const QList<Route> m_routes;
    std::unique_ptr<AccessLogWriter> m_accessLog;  // null when off
    QTimer m_leftoverSweep;
    // Its jobs answer through the daemon: it goes after it, so that no answer comes once the
    // connections are gone.
    StorePool m_pool;
    // Last: it calls back into everything above until it is gone.
    HttpDaemon m_daemon;
};

}  // namespace Site
