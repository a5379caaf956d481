#include "site/routes/UploadRoutes.h"

#include "site/cache/CatalogueCache.h"
#include "site/http/ReceivedForm.h"
#include "site/pages/HtmlPages.h"
#include "site/routes/AnswerStatus.h"
#include "site/routes/RouteContext.h"
#include "site/store/SiteStore.h"

#include <QUrlQuery>

#include <memory>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

UserUpload::Error uploadError(FormReader::Error error)
{
    return error == FormReader::Error::TooLarge   ? UserUpload::Error::FileTooLarge
        : error == FormReader::Error::SpoolFailed ? UserUpload::Error::StoreFailed
                                                  : UserUpload::Error::Malformed;
}

}  // namespace

HttpAnswer UploadRoutes::uploadForm(const QStringList &categories, const std::optional<UserUpload::Rejection> &rejection,
                                    qint64 waitSeconds, const QString &root)
{
    const QByteArray html = HtmlPages::uploadPage(categories, rejection, root);
    if (!rejection)
        return HttpAnswer::text(html, AnswerStatus::HtmlType);
    const UserUpload::Error reason = rejection->reason;
    const bool passes = reason == UserUpload::Error::TooFrequent || reason == UserUpload::Error::QuotaSpent
        || reason == UserUpload::Error::ScanUnavailable;
    return HttpAnswer::text(html, AnswerStatus::HtmlType, AnswerStatus::of(reason),
                            passes ? AnswerStatus::retryAfter(waitSeconds) : HttpAnswer::Headers());
}

HttpDaemon::HeadDecision UploadRoutes::uploadPage(const HttpRequest &request)
{
    const QString root = m_context.root();
    // "?done=<id>" is where a successful upload leads, "?held=1" one held until it is scanned.
    if (QUrlQuery(request.url()).hasQueryItem(u"held"_s))
        return HttpAnswer::text(HtmlPages::uploadHeldPage(root), AnswerStatus::HtmlType);
    bool ok = false;
    const qint64 id = QUrlQuery(request.url()).queryItemValue(u"done"_s).toLongLong(&ok);
    if (!ok && m_cache.categories())
        return uploadForm(*m_cache.categories(), std::nullopt, 0, root);
    const std::optional<QStringList> kept = m_cache.categories();
    const qint64 generation = m_cache.generation();
    const PendingAnswer pending = m_context.answerLater(request);
    m_context.pool().run(StorePool::Work::Lookup, [=, this](SiteStore &store) -> StorePool::Done {
        if (ok) {
            const auto done = store.resource(Catalogue::User, id);
            if (!done)
                return [pending, answer = AnswerStatus::storeFailed(done.error())] { pending.answer(answer); };
            if (done->has_value()) {
                const HttpAnswer answer = HttpAnswer::text(HtmlPages::uploadDonePage(done->value(), root),
                                                           AnswerStatus::HtmlType);
                return [pending, answer] { pending.answer(answer); };
            }
        }
        const auto categories = kept ? *kept : store.categories(Catalogue::User);
        if (!categories)
            return [pending, answer = AnswerStatus::storeFailed(categories.error())] { pending.answer(answer); };
        const HttpAnswer answer = uploadForm(*categories, std::nullopt, 0, root);
        return [=, this] {
            m_cache.keepCategories(generation, *categories);
            pending.answer(answer);
        };
    });
    return pending;
}

// What is typed in the form is not known yet: the page shows an empty one.
HttpDaemon::HeadDecision UploadRoutes::headArrived(const HttpRequest &request, const FormReader::Limits &limits)
{
    const QHostAddress peer = request.peer();
    const qint64 length = request.header("Content-Length").toLongLong();
    const std::optional<QStringList> kept = m_cache.categories();
    const qint64 generation = m_cache.generation();
    const QString root = m_context.root();
    const PendingAnswer pending = m_context.answerLater(request);
    m_context.pool().run(StorePool::Work::Lookup, [=, this](SiteStore &store) -> StorePool::Done {
        const std::optional<UploadIntake::Refusal> refusal = m_intake.refusalAtHead(store, peer, length);
        if (!refusal)
            return [pending, limits] { pending.readForm(limits); };
        const auto categories = kept ? *kept : store.categories(Catalogue::User);
        if (!categories)
            return [pending, answer = AnswerStatus::storeFailed(categories.error())] { pending.answer(answer); };
        const HttpAnswer answer = uploadForm(*categories, refusal->rejection, refusal->waitSeconds, root);
        return [=, this] {
            m_cache.keepCategories(generation, *categories);
            pending.answer(answer);
        };
    });
    return pending;
}

// A form that could not be read is refused with the categories kept, when they are, without a
// worker; the page refusing an upload shows the categories the intake checked it against.
HttpDaemon::FormDecision UploadRoutes::upload(const HttpRequest &request, ReceivedForm &form,
                                              std::optional<FormReader::Error> error)
{
    const QString root = m_context.root();
    const std::optional<QStringList> kept = m_cache.categories();
    if (error && kept)
        return uploadForm(*kept, UserUpload::Rejection{uploadError(*error), UserUpload::entered(form)}, 0, root);
    const qint64 generation = m_cache.generation();
    const PendingAnswer pending = m_context.answerLater(request);
    if (error) {
        const UserUpload::Rejection rejection{uploadError(*error), UserUpload::entered(form)};
        m_context.pool().run(StorePool::Work::Lookup, [=, this](SiteStore &store) -> StorePool::Done {
            const UploadIntake::Categories categories = store.categories(Catalogue::User);
            const UploadIntake::Outcome refused = Failure(UploadIntake::Refusal{rejection, 0});
            return [=, this] { pending.answer(taken(refused, categories, generation, root)); };
        });
        return pending;
    }
    m_intake.take(std::make_shared<ReceivedForm>(std::move(form)), kept, request.peer(),
                  [=, this](const UploadIntake::Outcome &outcome, const UploadIntake::Categories &categories) {
                      pending.answer(taken(outcome, categories, generation, root));
                  });
    return pending;
}

HttpAnswer UploadRoutes::taken(const UploadIntake::Outcome &outcome, const UploadIntake::Categories &categories,
                               qint64 generation, const QString &root)
{
    if (outcome && !outcome->stored)
        return AnswerStatus::redirect(root + u"wangyou/?held=1"_s);
    if (outcome) {
        m_cache.forget();
        return AnswerStatus::redirect(root + u"wangyou/?done="_s + QString::number(outcome->stored->id));
    }
    if (!categories)
        return AnswerStatus::storeFailed(categories.error());
    m_cache.keepCategories(generation, *categories);
    return uploadForm(*categories, outcome.error().rejection, outcome.error().waitSeconds, root);
}

}  // namespace Site
