#include "site/routes/UploadRoutes.h"

#include "site/cache/CatalogueCache.h"
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
#include <QDir>
#include <QUrlQuery>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

UserUpload::Error uploadError(PostGate::Verdict verdict)
{
    return verdict == PostGate::Verdict::Blocked       ? UserUpload::Error::Blocked
        : verdict == PostGate::Verdict::TooFrequent    ? UserUpload::Error::TooFrequent
                                                       : UserUpload::Error::StoreFailed;
}

UserUpload::Error uploadError(FormReader::Error error)
{
    return error == FormReader::Error::TooLarge      ? UserUpload::Error::FileTooLarge
        : error == FormReader::Error::SpoolFailed    ? UserUpload::Error::StoreFailed
                                                     : UserUpload::Error::Malformed;
}

} // namespace

HttpAnswer UploadRoutes::uploadForm(const QStringList &categories,
                                    const std::optional<UserUpload::Rejection> &rejection, qint64 waitSeconds,
                                    const QString &root)
{
    const QByteArray html = HtmlPages::uploadPage(categories, rejection, root);
    if (!rejection)
        return HttpAnswer::text(html, AnswerStatus::HtmlType);
    return HttpAnswer::text(html, AnswerStatus::HtmlType, AnswerStatus::of(rejection->reason),
                            rejection->reason == UserUpload::Error::TooFrequent ? AnswerStatus::retryAfter(waitSeconds)
                                                                                : HttpAnswer::Headers());
}

HttpDaemon::HeadDecision UploadRoutes::uploadPage(const HttpRequest &request)
{
    const QString root = m_context.root();
    // "?done=<id>" is where a successful upload leads.
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
                const HttpAnswer answer =
                    HttpAnswer::text(HtmlPages::uploadDonePage(done->value(), root), AnswerStatus::HtmlType);
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
    const std::optional<QStringList> kept = m_cache.categories();
    const qint64 generation = m_cache.generation();
    const QString root = m_context.root();
    const PendingAnswer pending = m_context.answerLater(request);
    m_context.pool().run(StorePool::Work::Lookup, [=, this](SiteStore &store) -> StorePool::Done {
        const PostGate::Decision decision = m_gate.look(store, PostAllowance::Kind::Upload, peer);
        if (decision.verdict == PostGate::Verdict::Open)
            return [pending, limits] { pending.readForm(limits); };
        const auto categories = kept ? *kept : store.categories(Catalogue::User);
        if (!categories)
            return [pending, answer = AnswerStatus::storeFailed(categories.error())] { pending.answer(answer); };
        const HttpAnswer answer = uploadForm(
            *categories, UserUpload::Rejection{uploadError(decision.verdict), {}}, decision.waitSeconds, root);
        return [=, this] {
            m_cache.keepCategories(generation, *categories);
            pending.answer(answer);
        };
    });
    return pending;
}

// A form that could not be read is refused with the categories kept, when they are, without a
// worker; the page refusing an upload shows the categories read where it was checked.
HttpDaemon::FormDecision UploadRoutes::upload(const HttpRequest &request, ReceivedForm &form,
                                              std::optional<FormReader::Error> error)
{
    const QString root = m_context.root();
    if (error && m_cache.categories())
        return uploadForm(*m_cache.categories(), UserUpload::Rejection{uploadError(*error), UserUpload::entered(form)},
                          0, root);
    const QHostAddress peer = request.peer();
    const std::optional<QStringList> kept = m_cache.categories();
    const qint64 generation = m_cache.generation();
    auto received = std::make_shared<ReceivedForm>(std::move(form));
    const PendingAnswer pending = m_context.answerLater(request);
    const StorePool::Work work = error ? StorePool::Work::Lookup : StorePool::Work::Write;
    m_context.pool().run(work, [=, this](SiteStore &store) -> StorePool::Done {
        const auto categories = kept ? *kept : store.categories(Catalogue::User);
        if (!categories)
            return [pending, answer = AnswerStatus::storeFailed(categories.error())] { pending.answer(answer); };
        qint64 wait = 0;
        const auto refuse = [&](const UserUpload::Rejection &rejection) -> StorePool::Done {
            const HttpAnswer answer = uploadForm(*categories, rejection, wait, root);
            return [=, this] {
                m_cache.keepCategories(generation, *categories);
                pending.answer(answer);
            };
        };
        if (error)
            return refuse({uploadError(*error), UserUpload::entered(*received)});
        // Begun only for an upload found good: a refusal takes no lock.
        std::optional<Transaction> transaction;
        const auto uploaded = UserUpload::receive(
            store, *received, *categories, QDateTime::currentDateTime(), NetworkAddress::plain(peer).toString(),
            [&]() -> std::optional<UserUpload::Error> {
                transaction.emplace(store.connection());
                if (const auto begun = transaction->begun(); !begun) {
                    qCritical().noquote() << "cannot store an upload:" << begun.error().text;
                    return UserUpload::Error::StoreFailed;
                }
                const PostGate::Decision decision = m_gate.enter(store, PostAllowance::Kind::Upload, peer);
                wait = decision.waitSeconds;
                if (decision.verdict != PostGate::Verdict::Open)
                    return uploadError(decision.verdict);
                return std::nullopt;
            });
        if (!uploaded)
            return refuse(uploaded.error());
        if (const auto committed = transaction->commit(); !committed) {
            qCritical().noquote() << "cannot store an upload:" << committed.error().text;
            QFile::remove(QDir(store.uploadFolder()).filePath(uploaded->filePath));
            return refuse({UserUpload::Error::StoreFailed, UserUpload::entered(*received)});
        }
        const QString target = root + u"wangyou/?done="_s + QString::number(uploaded->id);
        return [this, pending, target] {
            m_cache.forget();
            pending.answer(AnswerStatus::redirect(target));
        };
    });
    return pending;
}
