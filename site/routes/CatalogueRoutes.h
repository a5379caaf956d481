#pragma once

#include "site/http/HttpDaemon.h"
#include "site/store/SiteResource.h"

namespace Site {

class CatalogueCache;
class RouteContext;

// The catalogues as the client reads them, page by page and searched, and the pages of the
// official resources and the start page. A catalogue page is answered from the cache when it
// is there, else read on a worker and kept.
class CatalogueRoutes
{
public:
    CatalogueRoutes(RouteContext &context, CatalogueCache &cache)
        : m_context(context)
        , m_cache(cache)
    {
    }

    HttpDaemon::HeadDecision catalogue(const HttpRequest &request, Catalogue catalogue);
    HttpDaemon::HeadDecision resourcePage(const HttpRequest &request);
    HttpDaemon::HeadDecision startPage(const HttpRequest &request);

private:
    RouteContext &m_context;
    CatalogueCache &m_cache;
};

}  // namespace Site
