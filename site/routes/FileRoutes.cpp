#include "site/routes/FileRoutes.h"

#include "site/http/ContentDisposition.h"
#include "site/routes/AnswerStatus.h"
#include "site/routes/RouteContext.h"
#include "site/store/SiteStore.h"

using namespace Qt::StringLiterals;

namespace Site {

HttpDaemon::HeadDecision FileRoutes::officialFile(const HttpRequest &request, const QString &path)
{
    const QString root = m_context.root();
    return m_sender.send(request, m_context.store().officialFilesFolder(), path,
                         [path, root](SiteStore &store) -> std::optional<HttpAnswer> {
                             const auto linked = store.isOfficialFileLinked(path);
                             if (!linked)
                                 return AnswerStatus::storeFailed(linked.error());
                             if (!*linked)
                                 return RouteContext::notFound(root);
                             return std::nullopt;
                         });
}

// A stored page or image with script in it would otherwise run as the site's own and could
// post in a reader's name. A removed upload is gone for good, and says so; a hidden one is not
// there while it is hidden.
HttpDaemon::HeadDecision FileRoutes::userFile(const HttpRequest &request, const QString &path)
{
    const QString root = m_context.root();
    const HttpAnswer gone = m_context.refused(HttpAnswer::Gone, u"这个文件已被删除。"_s);
    return m_sender.send(request, m_context.store().uploadFolder(), path,
                         [path, root, gone](SiteStore &store) -> std::optional<HttpAnswer> {
                             const auto state = store.uploadState(path);
                             if (!state)
                                 return AnswerStatus::storeFailed(state.error());
                             if (*state == SiteStore::UploadState::Removed)
                                 return gone;
                             if (*state == SiteStore::UploadState::Hidden)
                                 return RouteContext::notFound(root);
                             return std::nullopt;
                         },
                         {{"Content-Disposition", ContentDisposition::attachment(path.section(u'/', -1))},
                          {"X-Content-Type-Options", "nosniff"},
                          {"Content-Security-Policy", "sandbox"}});
}

}  // namespace Site
