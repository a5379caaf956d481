#include "site/routes/MessageRoutes.h"

#include "site/CatalogueQuery.h"
#include "site/forms/PostGate.h"
#include "site/http/ReceivedForm.h"
#include "site/pages/HtmlPages.h"
#include "site/routes/AnswerStatus.h"
#include "site/routes/RouteContext.h"
#include "site/store/NetworkAddress.h"
#include "site/store/SiteStore.h"
#include "site/store/Transaction.h"

#include <QDateTime>
#include <QDebug>
#include <QUrlQuery>

#include <memory>

using namespace Qt::StringLiterals;

namespace Site {

HttpAnswer MessageRoutes::boardPage(const SiteStore &store, qint64 page,
                                    const std::optional<MessagePost::Rejection> &rejection, bool posted,
                                    qint64 waitSeconds, const QString &root)
{
    const auto messages = store.findMessages(page);
    if (!messages)
        return AnswerStatus::storeFailed(messages.error());
    const QByteArray html = HtmlPages::messageBoardPage(*messages, page, rejection, posted, root);
    if (!rejection)
        return HttpAnswer::text(html, AnswerStatus::HtmlType);
    return HttpAnswer::text(html, AnswerStatus::HtmlType, AnswerStatus::of(rejection->reason),
                            rejection->reason == MessagePost::Error::TooFrequent ? AnswerStatus::retryAfter(waitSeconds)
                                                                                 : HttpAnswer::Headers());
}

HttpDaemon::HeadDecision MessageRoutes::board(const HttpRequest &request)
{
    const QUrlQuery query(request.url());
    const qint64 page = CatalogueQuery::pageNumber(query.queryItemValue(u"page"_s));
    const bool posted = query.hasQueryItem(u"posted"_s);
    const QString root = m_context.root();
    return m_context.fromStore(request, StorePool::Work::Lookup, [page, posted, root](SiteStore &store) {
        return boardPage(store, page, std::nullopt, posted, 0, root);
    });
}

HttpDaemon::FormDecision MessageRoutes::post(const HttpRequest &request, ReceivedForm &form,
                                             std::optional<FormReader::Error> error)
{
    const QHostAddress peer = request.peer();
    const QString root = m_context.root();
    std::shared_ptr<ReceivedForm> received;
    if (!error)
        received = std::make_shared<ReceivedForm>(std::move(form));
    return m_context.fromStore(request, StorePool::Work::Write, [=, this](SiteStore &store) {
        qint64 wait = 0;
        // Begun only for a message found good: a refusal takes no lock.
        std::optional<Transaction> transaction;
        auto posted = MessagePost::receive(
            store, received.get(), QDateTime::currentDateTime(), NetworkAddress::plain(peer).toString(),
            [&]() -> std::optional<MessagePost::Error> {
                transaction.emplace(store.connection());
                if (const auto begun = transaction->begun(); !begun) {
                    qCritical().noquote() << "cannot store a message:" << begun.error().text;
                    return MessagePost::Error::StoreFailed;
                }
                const PostGate::Decision decision = m_gate.enter(store, PostAllowance::Kind::Message, peer);
                wait = decision.waitSeconds;
                switch (decision.verdict) {
                case PostGate::Verdict::Open:
                    return std::nullopt;
                case PostGate::Verdict::Blocked:
                    return MessagePost::Error::Blocked;
                case PostGate::Verdict::TooFrequent:
                    return MessagePost::Error::TooFrequent;
                case PostGate::Verdict::StoreFailed:
                    break;
                }
                return MessagePost::Error::StoreFailed;
            });
        if (posted) {
            const auto committed = transaction->commit();
            if (committed)
                return AnswerStatus::redirect(root + u"nds_wd-nds_wd.html?posted=1"_s);
            qCritical().noquote() << "cannot store a message:" << committed.error().text;
            posted = Failure(MessagePost::Rejection{MessagePost::Error::StoreFailed, *posted});
        }
        return boardPage(store, 1, posted.error(), false, wait, root);
    });
}

}  // namespace Site
