#include "site/routes/CatalogueRoutes.h"

#include "site/CatalogueQuery.h"
#include "site/cache/CatalogueCache.h"
#include "site/pages/CatalogueRenderer.h"
#include "site/pages/HtmlPages.h"
#include "site/routes/AnswerStatus.h"
#include "site/routes/RouteContext.h"
#include "site/store/SiteStore.h"

#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace Site {

HttpDaemon::HeadDecision CatalogueRoutes::catalogue(const HttpRequest &request, Catalogue catalogue)
{
    const CatalogueQuery query = CatalogueQuery::parse(catalogue, request.url().query(QUrl::FullyEncoded).toUtf8());
    const QByteArray key = query.key();
    // The operator's commands change the store from another process; their change shows at once.
    if (const auto followed = m_cache.follow(); !followed)
        return AnswerStatus::storeFailed(followed.error());
    if (const auto cached = m_cache.page(key))
        return HttpAnswer::text(*cached, AnswerStatus::TextType);

    const QString root = m_context.root();
    const qint64 generation = m_cache.generation();
    const PendingAnswer pending = m_context.answerLater(request);
    const StorePool::Work work = query.keyword.isEmpty() ? StorePool::Work::Lookup : StorePool::Work::Search;
    m_context.pool().run(work, [=, this](SiteStore &store) -> StorePool::Done {
        const auto page = store.findResources(query.catalogue, query.keyword, query.field, query.page);
        if (!page)
            return [pending, answer = AnswerStatus::storeFailed(page.error())] { pending.answer(answer); };
        const QByteArray body = query.catalogue == Catalogue::Official ? CatalogueRenderer::officialPage(*page, root)
                                                                       : CatalogueRenderer::userPage(*page);
        // Pages past the last are as many as numbers: kept, they would push out the real ones.
        const bool keep = query.page == 1 || !page->resources.isEmpty();
        return [=, this] {
            if (keep)
                m_cache.keepPage(generation, key, body);
            pending.answer(HttpAnswer::text(body, AnswerStatus::TextType));
        };
    });
    return pending;
}

HttpDaemon::HeadDecision CatalogueRoutes::resourcePage(const HttpRequest &request)
{
    bool ok = false;
    const qint64 id = QUrlQuery(request.url()).queryItemValue(u"id"_s).toLongLong(&ok);
    if (!ok)
        return m_context.notFound();
    const QString root = m_context.root();
    return m_context.fromStore(request, StorePool::Work::Lookup, [id, root](SiteStore &store) {
        const auto found = store.resource(Catalogue::Official, id);
        if (!found)
            return AnswerStatus::storeFailed(found.error());
        if (!found->has_value())
            return RouteContext::notFound(root);
        return HttpAnswer::text(HtmlPages::resourcePage(found->value(), root), AnswerStatus::HtmlType);
    });
}

HttpDaemon::HeadDecision CatalogueRoutes::startPage(const HttpRequest &request)
{
    const QString root = m_context.root();
    return m_context.fromStore(request, StorePool::Work::Lookup, [root](SiteStore &store) {
        const auto official = store.findResources(Catalogue::Official, QString(), SiteStore::SearchField::Anywhere, 1);
        const auto user = store.findResources(Catalogue::User, QString(), SiteStore::SearchField::Anywhere, 1);
        if (!official || !user)
            return AnswerStatus::storeFailed(official ? user.error() : official.error());
        return HttpAnswer::text(HtmlPages::startPage(*official, *user, root), AnswerStatus::HtmlType);
    });
}

}  // namespace Site
