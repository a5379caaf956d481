#pragma once

#include "site/PageCache.h"
#include "site/forms/MessagePost.h"
#include "site/forms/UserUpload.h"
#include "site/store/SiteStore.h"
#include "site/store/StorePool.h"
#include "site/http/HttpDaemon.h"
#include "site/http/Origins.h"

#include <QTimer>
#include <QList>
#include <QString>

#include <functional>


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
    using Decision = HttpDaemon::HeadDecision;
    // Answers a GET (or HEAD) below the route's path, at once or from the store.
    using PageHandler = Decision (SiteServer::*)(const HttpRequest &request, const QString &rest);
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
    Decision refusePost(const HttpRequest &request, const Route &route);
    FormReader::Limits formLimits(const Route &route) const;

    Decision catalogue(const HttpRequest &request, const QString &rest);
    Decision resourcePage(const HttpRequest &request, const QString &rest);
    Decision startPage(const HttpRequest &request, const QString &rest);
    Decision officialFile(const HttpRequest &request, const QString &rest);
    Decision userFile(const HttpRequest &request, const QString &rest);
    Decision uploadPage(const HttpRequest &request, const QString &rest);
    HttpDaemon::FormDecision upload(const HttpRequest &request, ReceivedForm &form,
                                    std::optional<FormReader::Error> error);
    Decision health(const HttpRequest &request, const QString &rest);
    Decision messageBoard(const HttpRequest &request, const QString &rest);
    HttpDaemon::FormDecision postMessage(const HttpRequest &request, ReceivedForm &form,
                                         std::optional<FormReader::Error> error);

    // Runs job on a worker, where it makes the answer from the store.
    PendingAnswer fromStore(const HttpRequest &request, StorePool::Work work,
                            std::function<HttpAnswer(SiteStore &store)> job);
    // Empties the catalogue cache: the catalogue changed.
    void forgetCatalogue();
    void keepCategories(qint64 generation, const Result<QStringList, StoreError> &categories);

    QString root() const { return m_origins->root(); }
    // The request's path below the origin's, which the routes are matched against.
    QString sitePath(const HttpRequest &request) const;
    HttpAnswer refused(int status, const QString &message, const HttpAnswer::Headers &headers = {}) const;
    HttpAnswer notFound() const;
    // Posts of a kind an address may make within a window: counted in the store, so that site
    // processes sharing it share an address's allowance; an IPv6 client's allowance is its /64's.
    struct Allowance
    {
        int count;
        qint64 windowMs;
    };
    Allowance allowance(SiteStore::PostKind kind) const;
    void flushAccessLog();
    void removeSpoolLeftovers();
    // The file's answer, once the store has said it may be had and what its digest is.
    Decision sendFile(const HttpRequest &request, const QString &folder, const QString &relativePath,
                      std::function<std::optional<HttpAnswer>(SiteStore &store)> mayHave,
                      const HttpAnswer::Headers &headers = {});
    HttpAnswer fileAnswer(const QByteArray &range, const QByteArray &ifRange, const QString &path,
                          const QString &below, const std::optional<QByteArray> &sha256,
                          const HttpAnswer::Headers &headers) const;

    SiteStore &m_store;
    const QList<Route> m_routes;
    std::optional<Origins> m_origins;
    Options m_options;
    // Rendered catalogue answers by query, and the user catalogue's categories; emptied when
    // a catalogue changes, here or, as the store's revision tells, in another process. An
    // answer read before a change is not kept after it: the generation counts the changes.
    PageCache m_catalogueCache;
    std::optional<QStringList> m_categories;
    qint64 m_generation = 0;
    qint64 m_revision = -1;
    bool m_accessLog = false;
    QByteArray m_accelPrefix;  // empty: the site sends files itself
    QByteArray m_accessLines;  // not yet written
    QTimer m_accessFlush;
    QTimer m_leftoverSweep;
    // Its jobs answer through the daemon: it goes after it, so that no answer comes once the
    // connections are gone.
    StorePool m_pool;
    // Last: it calls back into everything above until it is gone.
    HttpDaemon m_daemon;
};
