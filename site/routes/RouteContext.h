#pragma once

#include "site/http/HttpDaemon.h"
#include "site/http/Origins.h"
#include "site/store/StorePool.h"

#include <QString>

#include <functional>
#include <optional>

namespace Site {

class SiteStore;

// What the routes work with: the store's workers and the daemon to answer through once they
// are done, the store's connection on this thread and the addresses the site is reached by.
class RouteContext
{
public:
    RouteContext(HttpDaemon &daemon, StorePool &pool, SiteStore &store)
        : m_daemon(daemon)
        , m_pool(pool)
        , m_store(store)
    {
    }

    // The addresses the site is reached by; pages link from the first.
    std::optional<Origins> origins;
    QString root() const { return origins->root(); }

    SiteStore &store() { return m_store; }
    StorePool &pool() { return m_pool; }
    // For the request the routes are deciding now: they answer through it later.
    PendingAnswer answerLater(const HttpRequest &request) { return m_daemon.answerLater(request); }
    // The answer job makes on a worker from the store.
    PendingAnswer fromStore(const HttpRequest &request, StorePool::Work work,
                            std::function<HttpAnswer(SiteStore &store)> job);

    // Links on refusal pages stay on whatever host the browser used.
    HttpAnswer refused(int status, const QString &message, const HttpAnswer::Headers &headers = {}) const;
    HttpAnswer notFound() const { return notFound(root()); }
    // For a worker, which renders the page itself.
    static HttpAnswer notFound(const QString &root);

private:
    HttpDaemon &m_daemon;
    StorePool &m_pool;
    SiteStore &m_store;
};

}  // namespace Site
