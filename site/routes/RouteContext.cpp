#include "site/routes/RouteContext.h"

#include "site/pages/HtmlPages.h"
#include "site/routes/AnswerStatus.h"

namespace Site {

PendingAnswer RouteContext::fromStore(const HttpRequest &request, StorePool::Work work,
                                      std::function<HttpAnswer(SiteStore &store)> job)
{
    const PendingAnswer pending = answerLater(request);
    m_pool.run(work, [pending, job](SiteStore &store) -> StorePool::Done {
        const HttpAnswer answer = job(store);
        return [pending, answer] { pending.answer(answer); };
    });
    return pending;
}

HttpAnswer RouteContext::refused(int status, const QString &message, const HttpAnswer::Headers &headers) const
{
    return HttpAnswer::text(HtmlPages::refusalPage(message, origins->rootPath()), AnswerStatus::HtmlType, status,
                            headers);
}

HttpAnswer RouteContext::notFound(const QString &root)
{
    return HttpAnswer::text(HtmlPages::notFoundPage(root), AnswerStatus::HtmlType, HttpAnswer::NotFound);
}

}  // namespace Site
