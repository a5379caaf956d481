#include "site/SiteServer.h"

#include "common/ReprDigest.h"
#include "common/Sha256.h"
#include "site/CatalogueQuery.h"
#include "site/forms/MessagePost.h"
#include "site/http/ByteRange.h"
#include "site/http/ContentDisposition.h"
#include "site/http/ClientKey.h"
#include "site/http/SpoolFile.h"
#include "site/pages/CatalogueRenderer.h"
#include "site/pages/HtmlPages.h"
#include "site/store/NetworkAddress.h"
#include "site/store/SiteStore.h"
#include "site/store/StoredPath.h"
#include "site/store/Transaction.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrlQuery>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const QByteArray HtmlType = "text/html; charset=utf-8";
const QByteArray TextType = "text/plain; charset=utf-8";
const QString OfficialCatalogue = u"/guanfang/admin_upload.php"_s;
const QString HealthPath = u"/healthz"_s;
constexpr qsizetype AccessLogBatchBytes = 32 * 1024;
constexpr int AccessLogFlushMs = 100;
constexpr qint64 DigestReadBytes = 1024 * 1024;

// A database failure is an error, so that the client keeps what it showed instead of taking
// an empty catalogue, or a missing page, for the truth; the operator reads why in the log.
HttpAnswer storeError(const StoreError &error)
{
    qCritical().noquote() << "the store failed:" << error.text;
    return HttpAnswer::text(u"服务器内部错误"_s.toUtf8(), TextType, HttpAnswer::InternalServerError);
}

// After a post the browser is sent on to a page it may load again without posting twice.
HttpAnswer redirect(const QString &target)
{
    return HttpAnswer{HttpAnswer::SeeOther, {{"Location", target.toUtf8()}}, {}, std::nullopt};
}

HttpAnswer notAllowed(const QByteArray &allowed)
{
    return HttpAnswer{HttpAnswer::MethodNotAllowed, {{"Allow", allowed}}, {}, std::nullopt};
}

HttpAnswer::Headers retryAfter(qint64 seconds)
{
    return {{"Retry-After", QByteArray::number(std::max<qint64>(seconds, 1))}};
}

int uploadStatus(UserUpload::Error error)
{
    switch (error) {
    case UserUpload::Error::FileTooLarge:
        return HttpAnswer::PayloadTooLarge;
    case UserUpload::Error::TooFrequent:
        return HttpAnswer::TooManyRequests;
    case UserUpload::Error::Blocked:
        return HttpAnswer::Forbidden;
    case UserUpload::Error::StoreFailed:
        return HttpAnswer::InternalServerError;
    default:
        return HttpAnswer::BadRequest;
    }
}

int messageStatus(MessagePost::Error error)
{
    switch (error) {
    case MessagePost::Error::TooFrequent:
        return HttpAnswer::TooManyRequests;
    case MessagePost::Error::Blocked:
        return HttpAnswer::Forbidden;
    case MessagePost::Error::StoreFailed:
        return HttpAnswer::InternalServerError;
    default:
        return HttpAnswer::BadRequest;
    }
}


// A store that cannot say lets the post through to the store, whose failure is then logged and shown.
bool isBlocked(const SiteStore &store, const QHostAddress &peer)
{
    const auto blocked = store.isBlocked(peer, QDateTime::currentDateTimeUtc());
    if (!blocked)
        qCritical().noquote() << "cannot read the blocked addresses:" << blocked.error().text;
    return blocked && *blocked;
}

// A store that cannot tell is logged; the post then fails where it is counted.
qint64 secondsToWait(const SiteStore &store, SiteStore::PostKind kind, const QHostAddress &peer, int count,
                     qint64 windowMs)
{
    const auto wait =
        store.secondsToWait(kind, ClientKey::of(peer), QDateTime::currentMSecsSinceEpoch(), count, windowMs);
    if (!wait) {
        qCritical().noquote() << "cannot count the posts of" << peer.toString() << wait.error().text;
        return 0;
    }
    return *wait;
}

HttpAnswer uploadForm(const QStringList &categories, const std::optional<UserUpload::Rejection> &rejection,
                      qint64 waitSeconds, const QString &root)
{
    const QByteArray html = HtmlPages::uploadPage(categories, rejection, root);
    if (!rejection)
        return HttpAnswer::text(html, HtmlType);
    return HttpAnswer::text(html, HtmlType, uploadStatus(rejection->reason),
                            rejection->reason == UserUpload::Error::TooFrequent ? retryAfter(waitSeconds)
                                                                                : HttpAnswer::Headers());
}

HttpAnswer messageBoardPage(const SiteStore &store, qint64 page,
                            const std::optional<MessagePost::Rejection> &rejection, bool posted, qint64 waitSeconds,
                            const QString &root)
{
    const auto messages = store.findMessages(page);
    if (!messages)
        return storeError(messages.error());
    const QByteArray html = HtmlPages::messageBoardPage(*messages, page, rejection, posted, root);
    if (!rejection)
        return HttpAnswer::text(html, HtmlType);
    return HttpAnswer::text(html, HtmlType, messageStatus(rejection->reason),
                            rejection->reason == MessagePost::Error::TooFrequent ? retryAfter(waitSeconds)
                                                                                 : HttpAnswer::Headers());
}

// The SHA-256 of a file below the files folder, taken now and kept; nothing when the file
// cannot be read: the answer then names no digest.
std::optional<QByteArray> takeDigest(SiteStore &store, const QString &below, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "cannot read" << path << "to take its digest:" << file.errorString();
        return std::nullopt;
    }
    Sha256 digest;
    QByteArray piece(DigestReadBytes, Qt::Uninitialized);
    for (qint64 got; (got = file.read(piece.data(), piece.size())) > 0;)
        digest.addData(QByteArrayView(piece.constData(), got));
    if (file.error() != QFileDevice::NoError) {
        qWarning().noquote() << "cannot read" << path << "to take its digest:" << file.errorString();
        return std::nullopt;
    }
    const QByteArray sha256 = digest.result();
    if (const auto noted = store.setFileDigest(below, sha256); !noted)
        qWarning().noquote() << "cannot keep the digest of" << below << ':' << noted.error().text;
    return sha256;
}

} // namespace

// Links on refusal pages stay on whatever host the browser used.
HttpAnswer SiteServer::refused(int status, const QString &message, const HttpAnswer::Headers &headers) const
{
    return HttpAnswer::text(HtmlPages::refusalPage(message, m_origins->rootPath()), HtmlType, status, headers);
}

HttpAnswer SiteServer::notFound() const
{
    return HttpAnswer::text(HtmlPages::notFoundPage(root()), HtmlType, HttpAnswer::NotFound);
}

QString SiteServer::sitePath(const HttpRequest &request) const
{
    return m_origins->pathBelow(request.url().path(QUrl::FullyDecoded));
}

SiteServer::SiteServer(SiteStore &store, const Options &options)
    : m_store(store)
    , m_routes{
          {OfficialCatalogue, false, &SiteServer::catalogue, nullptr, false},
          {u"/wangyou/users_upload.php"_s, false, &SiteServer::catalogue, nullptr, false},
          {u"/guanfang/view.php"_s, false, &SiteServer::resourcePage, nullptr, false},
          {u"/zorvik/"_s, false, &SiteServer::startPage, nullptr, false},
          {u"/guanfang/files/"_s, true, &SiteServer::officialFile, nullptr, false},
          {u"/wangyou/up/"_s, true, &SiteServer::userFile, nullptr, false},
          {u"/wangyou/"_s, false, &SiteServer::uploadPage, &SiteServer::upload, true},
          {u"/nds_wd-nds_wd.html"_s, false, &SiteServer::messageBoard, &SiteServer::postMessage, false},
          {HealthPath, false, &SiteServer::health, nullptr, false},
      }
    , m_options(options)
    , m_pool(store.dataFolder(), store.filesFolder(), store.location())
    , m_daemon(options.limits, *this)
{
    m_accessFlush.setSingleShot(true);
    m_accessFlush.setInterval(AccessLogFlushMs);
    QObject::connect(&m_accessFlush, &QTimer::timeout, [this] { flushAccessLog(); });
    // Hourly as well as at start: a process restarted after it died finds its own leftovers
    // too young to go.
    m_leftoverSweep.setInterval(std::chrono::hours(1));
    QObject::connect(&m_leftoverSweep, &QTimer::timeout, [this] { removeSpoolLeftovers(); });
}

SiteServer::~SiteServer()
{
    flushAccessLog();
}

bool SiteServer::listen(const QHostAddress &address, quint16 port)
{
    if (const auto started = m_pool.start(); !started) {
        qCritical().noquote() << "cannot connect the store's workers:" << started.error().text;
        return false;
    }
    if (!m_daemon.listen(address, port))
        return false;
    if (!m_origins)
        m_origins = Origins::forAddress(address.toString(), m_daemon.serverPort());
    removeSpoolLeftovers();
    m_leftoverSweep.start();
    return true;
}

void SiteServer::removeSpoolLeftovers()
{
    // Empty until the first upload makes the folder.
    const QString folder = QFileInfo(m_store.uploadFolder()).canonicalFilePath();
    if (folder.isEmpty())
        return;
    if (const int removed = SpoolFile::removeLeftovers(folder, QDateTime::currentDateTime()))
        qInfo("quillmere-site: removed %d uploads left half received in %s", removed, qPrintable(folder));
}

const SiteServer::Route *SiteServer::routeFor(const QString &path, QString *rest) const
{
    for (const Route &route : m_routes) {
        if (route.prefix ? path.startsWith(route.path) : path == route.path) {
            *rest = path.sliced(route.path.size());
            return &route;
        }
    }
    return nullptr;
}

// Every request passes here once its head is in, before any route and any byte of a body.
HttpDaemon::HeadDecision SiteServer::headArrived(const HttpRequest &request)
{
    // Only HTTP/1.0 may leave Host out, and no browser does: no page elsewhere can be behind it.
    if (const std::optional<QByteArray> host = request.host(); host && !m_origins->acceptsHost(*host))
        return refused(HttpAnswer::MisdirectedRequest, u"这个地址不属于本站。"_s);
    if (request.isPost() && !m_origins->isSameOrigin(request.header("Origin"), request.header("Referer")))
        return refused(HttpAnswer::Forbidden, u"只接受从本站页面提交的内容。"_s);
    QString rest;
    const Route *route = routeFor(sitePath(request), &rest);
    if (route && request.isGet())
        return (this->*route->page)(request, rest);
    if (route && route->post && request.isPost())
        return refusePost(request, *route);
    if (!request.isGet())
        return notAllowed(route && route->post ? "GET, HEAD, POST" : "GET, HEAD");
    return notFound();
}

// A post is refused from its head alone when its body is too large or of no usable length,
// or when its address has posted too often of late, so that none of its body is parsed or kept.
HttpDaemon::HeadDecision SiteServer::refusePost(const HttpRequest &request, const Route &route)
{
    bool stated = false;
    const qint64 length = request.header("Content-Length").toLongLong(&stated);
    std::optional<HttpAnswer> refusal;
    if (!stated)
        refusal = refused(HttpAnswer::LengthRequired, u"请求没有注明内容长度，无法处理。"_s);
    else if (request.headerCount("Content-Length") > 1)
        refusal = refused(HttpAnswer::BadRequest, u"请求的格式不对，无法处理。"_s);
    else if (length > formLimits(route).maxBodyBytes && route.takesFiles)
        refusal = refused(HttpAnswer::PayloadTooLarge, HtmlPages::errorText(UserUpload::Error::FileTooLarge));
    else if (length > formLimits(route).maxBodyBytes)
        refusal = refused(HttpAnswer::BadRequest, u"请求的格式不对，无法处理。"_s);
    if (refusal) {
        // A body of no usable length is not read at all.
        refusal->skipsBody = !stated || request.headerCount("Content-Length") > 1;
        return std::move(*refusal);
    }
    // A message is read all the same, at most a few KiB, so that the page keeps what was typed;
    // whether it may be kept is decided where it is stored.
    if (!route.takesFiles)
        return formLimits(route);
    const QHostAddress peer = request.peer();
    const Allowance uploads = allowance(SiteStore::PostKind::Upload);
    const FormReader::Limits limits = formLimits(route);
    const std::optional<QStringList> kept = m_categories;
    const qint64 generation = m_generation;
    const QString root = SiteServer::root();
    const PendingAnswer pending = m_daemon.answerLater(request);
    m_pool.run(StorePool::Work::Lookup, [=, this](SiteStore &store) -> StorePool::Done {
        std::optional<UserUpload::Error> reason;
        qint64 wait = 0;
        if (isBlocked(store, peer))
            reason = UserUpload::Error::Blocked;
        else if ((wait = secondsToWait(store, SiteStore::PostKind::Upload, peer, uploads.count, uploads.windowMs)) > 0)
            reason = UserUpload::Error::TooFrequent;
        if (!reason)
            return [pending, limits] { pending.readForm(limits); };
        const auto categories = kept ? *kept : store.categories(Catalogue::User);
        const HttpAnswer answer =
            categories ? uploadForm(*categories, UserUpload::Rejection{*reason, {}}, wait, root)
                       : storeError(categories.error());
        return [=, this] {
            keepCategories(generation, categories);
            pending.answer(answer);
        };
    });
    return pending;
}

FormReader::Limits SiteServer::formLimits(const Route &route) const
{
    FormReader::Limits limits;
    limits.maxBodyBytes = MaxTextFormBytes;
    limits.maxFields = MaxFormFields;
    if (route.takesFiles) {
        limits.maxBodyBytes = MaxRequestBodyBytes;
        // Files are received in the folder they are kept in, so that keeping one moves nothing.
        QDir().mkpath(m_store.uploadFolder());
        limits.spoolFolder = QFileInfo(m_store.uploadFolder()).canonicalFilePath();
        limits.maxFileBytes = UserUpload::MaxFileBytes;
    }
    return limits;
}

HttpDaemon::FormDecision SiteServer::formArrived(const HttpRequest &request, ReceivedForm &form,
                                                 std::optional<FormReader::Error> error)
{
    QString rest;
    const Route *route = routeFor(sitePath(request), &rest);
    return (this->*route->post)(request, form, error);
}

HttpAnswer SiteServer::busy()
{
    return refused(HttpAnswer::ServiceUnavailable, u"服务器正忙，请稍后再试。"_s);
}

HttpAnswer SiteServer::framingRefused(int status)
{
    return refused(status, u"请求的格式不对，无法处理。"_s);
}

PendingAnswer SiteServer::fromStore(const HttpRequest &request, StorePool::Work work,
                                    std::function<HttpAnswer(SiteStore &store)> job)
{
    const PendingAnswer pending = m_daemon.answerLater(request);
    m_pool.run(work, [pending, job](SiteStore &store) -> StorePool::Done {
        const HttpAnswer answer = job(store);
        return [pending, answer] { pending.answer(answer); };
    });
    return pending;
}

void SiteServer::forgetCatalogue()
{
    m_catalogueCache.clear();
    m_categories.reset();
    ++m_generation;
}

// Categories read before a change are not kept after it.
void SiteServer::keepCategories(qint64 generation, const Result<QStringList, StoreError> &categories)
{
    if (categories && generation == m_generation)
        m_categories = *categories;
}

HttpDaemon::HeadDecision SiteServer::catalogue(const HttpRequest &request, const QString &)
{
    const bool official = sitePath(request) == OfficialCatalogue;
    const QString root = SiteServer::root();
    const CatalogueQuery query = CatalogueQuery::parse(official ? Catalogue::Official : Catalogue::User,
                                                       request.url().query(QUrl::FullyEncoded).toUtf8());
    const QByteArray key = query.key();
    // The operator's commands change the store from another process; their change shows at once.
    const auto revision = m_store.revision();
    if (!revision)
        return storeError(revision.error());
    if (*revision != m_revision) {
        forgetCatalogue();
        m_revision = *revision;
    }
    if (const auto cached = m_catalogueCache.find(key))
        return HttpAnswer::text(*cached, TextType);

    const qint64 generation = m_generation;
    const PendingAnswer pending = m_daemon.answerLater(request);
    const StorePool::Work work = query.keyword.isEmpty() ? StorePool::Work::Lookup : StorePool::Work::Search;
    m_pool.run(work, [=, this](SiteStore &store) -> StorePool::Done {
        const auto page = store.findResources(query.catalogue, query.keyword, query.field, query.page);
        if (!page)
            return [pending, answer = storeError(page.error())] { pending.answer(answer); };
        const QByteArray body =
            official ? CatalogueRenderer::officialPage(*page, root) : CatalogueRenderer::userPage(*page);
        // Pages past the last are as many as numbers: kept, they would push out the real ones.
        const bool keep = query.page == 1 || !page->resources.isEmpty();
        return [=, this] {
            if (keep && generation == m_generation)
                m_catalogueCache.insert(key, body);
            pending.answer(HttpAnswer::text(body, TextType));
        };
    });
    return pending;
}

HttpDaemon::HeadDecision SiteServer::resourcePage(const HttpRequest &request, const QString &)
{
    bool ok = false;
    const qint64 id = QUrlQuery(request.url()).queryItemValue(u"id"_s).toLongLong(&ok);
    if (!ok)
        return notFound();
    const QString root = SiteServer::root();
    return fromStore(request, StorePool::Work::Lookup, [id, root](SiteStore &store) {
        const auto found = store.resource(Catalogue::Official, id);
        if (!found)
            return storeError(found.error());
        if (!found->has_value())
            return HttpAnswer::text(HtmlPages::notFoundPage(root), HtmlType, HttpAnswer::NotFound);
        return HttpAnswer::text(HtmlPages::resourcePage(found->value(), root), HtmlType);
    });
}

HttpDaemon::HeadDecision SiteServer::startPage(const HttpRequest &request, const QString &)
{
    const QString root = SiteServer::root();
    return fromStore(request, StorePool::Work::Lookup, [root](SiteStore &store) {
        const auto official = store.findResources(Catalogue::Official, QString(), SiteStore::SearchField::Anywhere, 1);
        const auto user = store.findResources(Catalogue::User, QString(), SiteStore::SearchField::Anywhere, 1);
        if (!official || !user)
            return storeError(official ? user.error() : official.error());
        return HttpAnswer::text(HtmlPages::startPage(*official, *user, root), HtmlType);
    });
}

// An official file is the site's to hand out only while a resource the public sees links it.
HttpDaemon::HeadDecision SiteServer::officialFile(const HttpRequest &request, const QString &rest)
{
    const QString root = SiteServer::root();
    return sendFile(request, m_store.officialFilesFolder(), rest, [rest, root](SiteStore &store) {
        const auto linked = store.isOfficialFileLinked(rest);
        if (!linked)
            return std::optional(storeError(linked.error()));
        if (!*linked)
            return std::optional(HttpAnswer::text(HtmlPages::notFoundPage(root), HtmlType, HttpAnswer::NotFound));
        return std::optional<HttpAnswer>();
    });
}

// A visitor's file is a download, never a page of the site: a stored page or image with
// script in it would otherwise run as the site's own and could post in a reader's name.
// A removed upload is gone for good, and says so; a hidden one is not there while it is hidden.
HttpDaemon::HeadDecision SiteServer::userFile(const HttpRequest &request, const QString &rest)
{
    const QString root = SiteServer::root();
    const HttpAnswer gone = refused(HttpAnswer::Gone, u"这个文件已被删除。"_s);
    return sendFile(
        request, m_store.uploadFolder(), rest,
        [rest, root, gone](SiteStore &store) {
            const auto state = store.uploadState(rest);
            if (!state)
                return std::optional(storeError(state.error()));
            if (*state == SiteStore::UploadState::Removed)
                return std::optional(gone);
            if (*state == SiteStore::UploadState::Hidden)
                return std::optional(HttpAnswer::text(HtmlPages::notFoundPage(root), HtmlType, HttpAnswer::NotFound));
            return std::optional<HttpAnswer>();
        },
        {{"Content-Disposition", ContentDisposition::attachment(rest.section(u'/', -1))},
         {"X-Content-Type-Options", "nosniff"},
         {"Content-Security-Policy", "sandbox"}});
}

HttpDaemon::HeadDecision SiteServer::uploadPage(const HttpRequest &request, const QString &)
{
    const QString root = SiteServer::root();
    // "?done=<id>" is where a successful upload leads.
    bool ok = false;
    const qint64 id = QUrlQuery(request.url()).queryItemValue(u"done"_s).toLongLong(&ok);
    if (!ok && m_categories)
        return uploadForm(*m_categories, std::nullopt, 0, root);
    const std::optional<QStringList> kept = m_categories;
    const qint64 generation = m_generation;
    const PendingAnswer pending = m_daemon.answerLater(request);
    m_pool.run(StorePool::Work::Lookup, [=, this](SiteStore &store) -> StorePool::Done {
        if (ok) {
            const auto done = store.resource(Catalogue::User, id);
            if (!done)
                return [pending, answer = storeError(done.error())] { pending.answer(answer); };
            if (done->has_value()) {
                const HttpAnswer answer = HttpAnswer::text(HtmlPages::uploadDonePage(done->value(), root), HtmlType);
                return [pending, answer] { pending.answer(answer); };
            }
        }
        const auto categories = kept ? *kept : store.categories(Catalogue::User);
        const HttpAnswer answer =
            categories ? uploadForm(*categories, std::nullopt, 0, root) : storeError(categories.error());
        return [=, this] {
            keepCategories(generation, categories);
            pending.answer(answer);
        };
    });
    return pending;
}

// The upload is refused, or checked and stored, on a worker, in one transaction with the
// count of the sender's uploads and the check of the blocks, so that neither can change
// between the check and the upload; the page refusing it shows the categories read there.
HttpDaemon::FormDecision SiteServer::upload(const HttpRequest &request, ReceivedForm &form,
                                            std::optional<FormReader::Error> error)
{
    const QHostAddress peer = request.peer();
    const Allowance uploads = allowance(SiteStore::PostKind::Upload);
    const std::optional<QStringList> kept = m_categories;
    const qint64 generation = m_generation;
    const QString root = SiteServer::root();
    auto received = std::make_shared<ReceivedForm>(std::move(form));
    const PendingAnswer pending = m_daemon.answerLater(request);
    const StorePool::Work work = error ? StorePool::Work::Lookup : StorePool::Work::Write;
    m_pool.run(work, [=, this](SiteStore &store) -> StorePool::Done {
        const auto categories = kept ? *kept : store.categories(Catalogue::User);
        if (!categories) {
            qCritical().noquote() << "cannot read the user catalogue's categories:" << categories.error().text;
            return [pending, answer = storeError(categories.error())] { pending.answer(answer); };
        }
        qint64 wait = 0;
        const auto refuse = [&](const UserUpload::Rejection &rejection) -> StorePool::Done {
            const HttpAnswer answer = uploadForm(*categories, rejection, wait, root);
            return [=, this] {
                keepCategories(generation, categories);
                pending.answer(answer);
            };
        };
        if (error) {
            const UserUpload::Error reason = error == FormReader::Error::TooLarge ? UserUpload::Error::FileTooLarge
                : error == FormReader::Error::SpoolFailed                         ? UserUpload::Error::StoreFailed
                                                                                  : UserUpload::Error::Malformed;
            return refuse({reason, UserUpload::entered(*received)});
        }
        // Begun only for an upload found good: a refusal takes no lock.
        std::optional<Transaction> transaction;
        const auto uploaded = UserUpload::receive(
            store, *received, *categories, QDateTime::currentDateTime(), NetworkAddress::plain(peer).toString(),
            [&]() -> std::optional<UserUpload::Error> {
                transaction.emplace(store.connection());
                if (!transaction->begun())
                    return UserUpload::Error::StoreFailed;
                if (isBlocked(store, peer))
                    return UserUpload::Error::Blocked;
                const auto taken = store.takePost(SiteStore::PostKind::Upload, ClientKey::of(peer),
                                                  QDateTime::currentMSecsSinceEpoch(), uploads.count, uploads.windowMs);
                if (!taken)
                    return UserUpload::Error::StoreFailed;
                if (!*taken) {
                    wait = secondsToWait(store, SiteStore::PostKind::Upload, peer, uploads.count, uploads.windowMs);
                    return UserUpload::Error::TooFrequent;
                }
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
            forgetCatalogue();
            pending.answer(redirect(target));
        };
    });
    return pending;
}

// On the loop, with the loop's own connection: it answers while the workers are busy.
HttpDaemon::HeadDecision SiteServer::health(const HttpRequest &, const QString &)
{
    if (const auto checked = m_store.check(); !checked) {
        qCritical().noquote() << "health check: the store failed:" << checked.error().text;
        return HttpAnswer::text("unavailable\n", TextType, HttpAnswer::ServiceUnavailable);
    }
    return HttpAnswer::text("ok\n", TextType);
}

SiteServer::Allowance SiteServer::allowance(SiteStore::PostKind kind) const
{
    if (kind == SiteStore::PostKind::Message)
        return {m_options.messagesPerWindow, m_options.messageWindowMs};
    return {m_options.uploadsPerWindow, m_options.uploadWindowMs};
}

void SiteServer::answered(const HttpRequest &request, const AccessLog::Entry &entry)
{
    // Monitoring asks every few seconds; its lines would bury the visitors'.
    if (!m_accessLog || sitePath(request) == HealthPath)
        return;
    // Lines go out in batches: a write for each would cost a fifth of the requests a second,
    // and none waits longer than the flush interval.
    m_accessLines += AccessLog::line(entry);
    if (m_accessLines.size() >= AccessLogBatchBytes)
        flushAccessLog();
    else if (!m_accessFlush.isActive())
        m_accessFlush.start();
}

void SiteServer::flushAccessLog()
{
    m_accessFlush.stop();
    if (m_accessLines.isEmpty())
        return;
    std::fwrite(m_accessLines.constData(), 1, size_t(m_accessLines.size()), stdout);
    std::fflush(stdout);
    m_accessLines.clear();
}

HttpDaemon::HeadDecision SiteServer::messageBoard(const HttpRequest &request, const QString &)
{
    const QUrlQuery query(request.url());
    const qint64 page = CatalogueQuery::pageNumber(query.queryItemValue(u"page"_s));
    const bool posted = query.hasQueryItem(u"posted"_s);
    const QString root = SiteServer::root();
    return fromStore(request, StorePool::Work::Lookup, [page, posted, root](SiteStore &store) {
        return messageBoardPage(store, page, std::nullopt, posted, 0, root);
    });
}

// Checked and stored on a worker, in one transaction with the count of the sender's messages
// and the check of the blocks.
HttpDaemon::FormDecision SiteServer::postMessage(const HttpRequest &request, ReceivedForm &form,
                                                 std::optional<FormReader::Error> error)
{
    const QHostAddress peer = request.peer();
    const Allowance messages = allowance(SiteStore::PostKind::Message);
    const QString root = SiteServer::root();
    std::shared_ptr<ReceivedForm> received;
    if (!error)
        received = std::make_shared<ReceivedForm>(std::move(form));
    return fromStore(request, StorePool::Work::Write, [=](SiteStore &store) {
        qint64 wait = 0;
        // Begun only for a message found good: a refusal takes no lock.
        std::optional<Transaction> transaction;
        auto posted = MessagePost::receive(
            store, received.get(), QDateTime::currentDateTime(), NetworkAddress::plain(peer).toString(),
            [&]() -> std::optional<MessagePost::Error> {
                transaction.emplace(store.connection());
                if (!transaction->begun())
                    return MessagePost::Error::StoreFailed;
                if (isBlocked(store, peer))
                    return MessagePost::Error::Blocked;
                const auto taken = store.takePost(SiteStore::PostKind::Message, ClientKey::of(peer),
                                                  QDateTime::currentMSecsSinceEpoch(), messages.count,
                                                  messages.windowMs);
                if (!taken)
                    return MessagePost::Error::StoreFailed;
                if (!*taken) {
                    wait = secondsToWait(store, SiteStore::PostKind::Message, peer, messages.count, messages.windowMs);
                    return MessagePost::Error::TooFrequent;
                }
                return std::nullopt;
            });
        if (posted) {
            if (const auto committed = transaction->commit(); committed)
                return redirect(root + u"nds_wd-nds_wd.html?posted=1"_s);
            else
                qCritical().noquote() << "cannot store a message:" << committed.error().text;
            posted = Failure(MessagePost::Rejection{MessagePost::Error::StoreFailed, *posted});
        }
        return messageBoardPage(store, 1, posted.error(), false, wait, root);
    });
}

// A single byte range is answered with 206 and only that part, unless If-Range names another
// version of the file; a range that starts past the end gets 416. Every answer carries the
// file's ETag and Last-Modified. A file whose digest the store does not keep (an official file
// before its first download, a file changed on disk) has it taken on a worker first, and kept.
HttpDaemon::HeadDecision SiteServer::sendFile(const HttpRequest &request, const QString &folder,
                                              const QString &relativePath,
                                              std::function<std::optional<HttpAnswer>(SiteStore &store)> mayHave,
                                              const HttpAnswer::Headers &headers)
{
    const QString filesFolder = m_store.filesFolder();
    const QByteArray range = request.header("Range");
    const QByteArray ifRange = request.header("If-Range");
    const HttpAnswer missing = notFound();
    const PendingAnswer pending = m_daemon.answerLater(request);
    m_pool.run(StorePool::Work::Lookup, [=, this](SiteStore &store) -> StorePool::Done {
        std::optional<HttpAnswer> refusal = mayHave(store);
        const std::optional<QString> path = refusal ? std::nullopt : StoredPath::locate(folder, relativePath);
        if (!refusal && !path)
            refusal = missing;
        if (refusal)
            return [pending, answer = *refusal] { pending.answer(answer); };
        const QString below = QDir(QFileInfo(filesFolder).canonicalFilePath()).relativeFilePath(*path);
        const auto kept = store.fileDigest(below);
        if (!kept)
            qWarning().noquote() << "cannot read the digest of" << below << ':' << kept.error().text;
        if (!kept || *kept) {
            const std::optional<QByteArray> sha256 = kept ? *kept : std::nullopt;
            return [=, this] { pending.answer(fileAnswer(range, ifRange, *path, below, sha256, headers)); };
        }
        return [=, this] {
            m_pool.run(StorePool::Work::Write, [=, this](SiteStore &store) -> StorePool::Done {
                const std::optional<QByteArray> sha256 = takeDigest(store, below, *path);
                return [=, this] { pending.answer(fileAnswer(range, ifRange, *path, below, sha256, headers)); };
            });
        };
    });
    return pending;
}

HttpAnswer SiteServer::fileAnswer(const QByteArray &rangeAsked, const QByteArray &ifRange, const QString &path,
                                  const QString &below, const std::optional<QByteArray> &sha256,
                                  const HttpAnswer::Headers &headers) const
{
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return notFound();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    QByteArray mimeType = type.name().toUtf8();
    if (type.inherits(u"text/plain"_s))
        mimeType += "; charset=utf-8";

    // Names the whole file's bytes in every answer, ranged or not, so that a client can check
    // what it joined from several.
    HttpAnswer::Headers digest;
    if (sha256)
        digest.append({"Repr-Digest", ReprDigest::fieldValue(*sha256)});
    if (!m_accelPrefix.isEmpty()) {
        // Percent-encoded: the proxy decodes the path, and names may hold spaces or '?'.
        HttpAnswer answer = HttpAnswer::text({}, mimeType, HttpAnswer::Ok, headers);
        answer.headers.append({"X-Accel-Redirect", m_accelPrefix + '/' + QUrl::toPercentEncoding(below, "/")});
        answer.headers.append(digest);
        return answer;
    }
    const ByteRange::Version version =
        ByteRange::versionOf(file->size(), file->fileTime(QFileDevice::FileModificationTime));
    const ByteRange range = ByteRange::select(rangeAsked, ifRange, file->size(), version);
    HttpAnswer answer;
    answer.headers = {{"Accept-Ranges", "bytes"}, {"ETag", version.etag}, {"Last-Modified", version.lastModified}};
    answer.headers.append(digest);
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        answer.status = HttpAnswer::RangeNotSatisfiable;
        answer.headers.append({"Content-Range", range.contentRange()});
        return answer;
    }
    answer.headers.append({"Content-Type", mimeType});
    answer.headers.append(headers);
    if (range.kind == ByteRange::Kind::Span) {
        answer.status = HttpAnswer::PartialContent;
        answer.headers.append({"Content-Range", range.contentRange()});
    }
    answer.file = HttpAnswer::FileSpan{std::move(file), range.first, range.length};
    return answer;
}
