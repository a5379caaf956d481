#include "site/SiteServer.h"

#include "site/pages/CatalogueRenderer.h"
#include "site/http/FileStreamer.h"
#include "site/http/FormData.h"
#include "site/pages/HtmlPages.h"
#include "site/http/HttpRequest.h"
#include "site/http/HttpResponder.h"
#include "site/forms/MessagePost.h"
#include "site/store/SiteStore.h"

#include <QDateTime>
#include <QDebug>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUrlQuery>

#include <cstdio>

using namespace Qt::StringLiterals;
using Status = HttpResponder::StatusCode;

namespace {

const QByteArray HtmlType = "text/html; charset=utf-8";
const QByteArray TextType = "text/plain; charset=utf-8";
const QString OfficialCatalogue = u"/guanfang/admin_upload.php"_s;
const QString UserCatalogue = u"/wangyou/users_upload.php"_s;
const QString HealthPath = u"/healthz"_s;
// Keywords come from anyone, so the cache is emptied rather than let grow without end.
constexpr qsizetype MaxCachedPages = 4096;
constexpr qsizetype AccessLogBatchBytes = 32 * 1024;
constexpr int AccessLogFlushMs = 100;
// What a client turned away for want of room is asked to wait, in seconds.
constexpr int BusyRetrySeconds = 10;

// A missing, zero, negative or unreadable page number shows the first page.
qint64 pageNumber(const QUrlQuery &query)
{
    bool ok = false;
    const qint64 page = query.queryItemValue(u"page"_s).toLongLong(&ok);
    return ok && page >= 1 && page <= std::numeric_limits<qint32>::max() ? page : 1;
}

// QUrlQuery leaves "+" as it is, which is what the client means by it: spaces come as %20.
QString keyword(const QUrlQuery &query)
{
    return query.queryItemValue(u"q"_s, QUrl::FullyDecoded);
}

// A database failure is an error, so that the client keeps what it showed instead of taking
// an empty catalogue, or a missing page, for the truth; the operator reads why in the log.
void respondWithError(HttpResponder &responder, const StoreError &error)
{
    qCritical().noquote() << "the store failed:" << error.text;
    responder.write(u"服务器内部错误"_s.toUtf8(), TextType, Status::InternalServerError);
}

// After a post the browser is sent on to a page it may load again without posting twice.
void redirect(HttpResponder &responder, const QString &target)
{
    responder.write({{"Location", target.toUtf8()}}, Status::SeeOther);
}

void respondNotAllowed(HttpResponder &responder, const QByteArray &allowed)
{
    responder.write({{"Allow", allowed}}, Status::MethodNotAllowed);
}

// Links on refusal pages stay on whatever host the browser used.
void respondRefused(HttpResponder &responder, Status status, const QString &message,
                    const HttpResponder::Headers &headers = {})
{
    responder.write(HtmlPages::refusalPage(message, u"/"_s), HtmlType, status, headers);
}

Status uploadStatus(UserUpload::Error error)
{
    switch (error) {
    case UserUpload::Error::FileTooLarge:
        return Status::PayloadTooLarge;
    case UserUpload::Error::TooFrequent:
        return Status::TooManyRequests;
    case UserUpload::Error::Blocked:
        return Status::Forbidden;
    case UserUpload::Error::StoreFailed:
        return Status::InternalServerError;
    default:
        return Status::BadRequest;
    }
}

Status messageStatus(MessagePost::Error error)
{
    switch (error) {
    case MessagePost::Error::TooFrequent:
        return Status::TooManyRequests;
    case MessagePost::Error::Blocked:
        return Status::Forbidden;
    case MessagePost::Error::StoreFailed:
        return Status::InternalServerError;
    default:
        return Status::BadRequest;
    }
}

HttpResponder::Headers retryAfter(qint64 seconds)
{
    return {{"Retry-After", QByteArray::number(std::max<qint64>(seconds, 1))}};
}

} // namespace

SiteServer::SiteServer(SiteStore &store, const Options &options, QObject *parent)
    : HttpServer(options.limits, parent)
    , m_store(store)
    , m_messageLimit(options.messagesPerWindow, options.messageWindowMs)
    , m_uploadLimit(options.uploadsPerWindow, options.uploadWindowMs)
{
    m_clock.start();
    m_accessFlush.setSingleShot(true);
    m_accessFlush.setInterval(AccessLogFlushMs);
    connect(&m_accessFlush, &QTimer::timeout, this, &SiteServer::flushAccessLog);
}

SiteServer::~SiteServer()
{
    flushAccessLog();
}

void SiteServer::handleRequest(const HttpRequest &request, HttpResponder &&responder)
{
    const QString root = rootFor(request);
    if (request.isPost() && !isSameOrigin(request))
        return respondRefused(responder, Status::Forbidden, u"只接受从本站页面提交的内容。"_s);
    if (!route(request, responder, root))
        responder.write(HtmlPages::notFoundPage(root), HtmlType, Status::NotFound);
}

void SiteServer::refuse(Refusal refusal, HttpResponder &&responder)
{
    switch (refusal) {
    case Refusal::BadRequest:
        return respondRefused(responder, Status::BadRequest, u"请求的格式不对，无法处理。"_s);
    case Refusal::HeadTooLarge:
        return respondRefused(responder, Status::RequestHeaderFieldsTooLarge, u"请求头太大，无法处理。"_s);
    case Refusal::LengthRequired:
        return respondRefused(responder, Status::LengthRequired, u"请求没有注明内容长度，无法处理。"_s);
    case Refusal::BodyTooLarge:
        return respondRefused(responder, Status::PayloadTooLarge,
                              HtmlPages::errorText(UserUpload::Error::FileTooLarge));
    case Refusal::VersionNotSupported:
        return respondRefused(responder, Status::HttpVersionNotSupported, u"不支持这个 HTTP 版本。"_s);
    case Refusal::Busy:
        return respondRefused(responder, Status::ServiceUnavailable, u"服务器正忙，请稍后再试。"_s,
                              retryAfter(BusyRetrySeconds));
    }
}

void SiteServer::logAccess(const HttpRequest &request, const AccessLog::Entry &entry)
{
    // Monitoring asks every few seconds; its lines would bury the visitors'.
    if (!m_accessLog || request.url.path() == HealthPath)
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

// False when nothing lives at the request's path.
bool SiteServer::route(const HttpRequest &request, HttpResponder &responder, const QString &root)
{
    const QString path = request.url.path(QUrl::FullyDecoded);
    if (path == u"/wangyou/"_s) {
        uploadRoute(request, responder, root);
        return true;
    }
    if (path == u"/nds_wd-nds_wd.html"_s) {
        messageBoardRoute(request, responder, root);
        return true;
    }
    if (!request.isGet()) {
        respondNotAllowed(responder, "GET, HEAD");
        return true;
    }
    if (path == HealthPath) {
        if (const auto checked = m_store.check(); !checked) {
            qCritical().noquote() << "health check: the store failed:" << checked.error().text;
            responder.write("unavailable\n", TextType, Status::ServiceUnavailable);
        } else {
            responder.write("ok\n", TextType);
        }
        return true;
    }
    if (path == OfficialCatalogue || path == UserCatalogue) {
        catalogueRoute(request, responder, root);
        return true;
    }
    const QUrlQuery query(request.url);
    if (path == u"/guanfang/view.php"_s) {
        bool ok = false;
        const qint64 id = query.queryItemValue(u"id"_s).toLongLong(&ok);
        if (!ok)
            return false;
        const auto found = m_store.resource(Catalogue::Official, id);
        if (!found)
            respondWithError(responder, found.error());
        else if (!found->has_value())
            return false;
        else
            responder.write(HtmlPages::resourcePage(found->value(), root), HtmlType);
        return true;
    }
    if (path == u"/zorvik/"_s) {
        const auto official = m_store.findResources(Catalogue::Official, QString(), SiteStore::SearchField::Anywhere, 1);
        const auto user = m_store.findResources(Catalogue::User, QString(), SiteStore::SearchField::Anywhere, 1);
        if (official && user)
            responder.write(HtmlPages::startPage(*official, *user, root), HtmlType);
        else
            respondWithError(responder, official ? user.error() : official.error());
        return true;
    }
    static const QString OfficialFiles = u"/guanfang/files/"_s;
    if (path.startsWith(OfficialFiles))
        return sendFile(request, responder, m_store.officialFilesFolder(), path.sliced(OfficialFiles.size()));
    static const QString UserFiles = u"/wangyou/up/"_s;
    if (path.startsWith(UserFiles))
        return uploadedFileRoute(request, responder, path.sliced(UserFiles.size()));
    return false;
}

void SiteServer::catalogueRoute(const HttpRequest &request, HttpResponder &responder, const QString &root)
{
    // Official pages link to the root they were asked through, so it is part of the key.
    const QByteArray key = root.toUtf8() + ' ' + request.head.target;
    // The operator's commands change the store from another process; their change shows at once.
    const auto revision = m_store.revision();
    if (!revision)
        return respondWithError(responder, revision.error());
    if (*revision != m_revision) {
        m_catalogueCache.clear();
        m_revision = *revision;
    }
    if (const auto cached = m_catalogueCache.constFind(key); cached != m_catalogueCache.cend())
        return responder.write(*cached, TextType);

    const QUrlQuery query(request.url);
    const bool official = request.url.path() == OfficialCatalogue;
    auto field = SiteStore::SearchField::Anywhere;
    if (official) {
        // The client's field selector: 0 searches the category, 1 the title.
        field = query.queryItemValue(u"t"_s) == u"0"_s ? SiteStore::SearchField::Category
                                                       : SiteStore::SearchField::Title;
    }
    const auto page = m_store.findResources(official ? Catalogue::Official : Catalogue::User, keyword(query), field,
                                            pageNumber(query));
    if (!page)
        return respondWithError(responder, page.error());
    const QByteArray body = official ? CatalogueRenderer::officialPage(*page, root) : CatalogueRenderer::userPage(*page);
    if (m_catalogueCache.size() >= MaxCachedPages)
        m_catalogueCache.clear();
    m_catalogueCache.insert(key, body);
    responder.write(body, TextType);
}

void SiteServer::uploadRoute(const HttpRequest &request, HttpResponder &responder, const QString &root)
{
    if (request.isGet()) {
        // "?done=<id>" is where a successful upload leads.
        bool ok = false;
        const qint64 id = QUrlQuery(request.url).queryItemValue(u"done"_s).toLongLong(&ok);
        if (ok) {
            const auto done = m_store.resource(Catalogue::User, id);
            if (!done)
                return respondWithError(responder, done.error());
            if (done->has_value())
                return responder.write(HtmlPages::uploadDonePage(done->value(), root), HtmlType);
        }
        const auto categories = m_store.categories(Catalogue::User);
        if (!categories)
            return respondWithError(responder, categories.error());
        return responder.write(HtmlPages::uploadPage(*categories, std::nullopt, root), HtmlType);
    }
    if (!request.isPost())
        return respondNotAllowed(responder, "GET, HEAD, POST");

    const qint64 now = m_clock.elapsed();
    const auto uploaded = UserUpload::receive(
        m_store, FormData::parse(request.header("content-type"), request.body), QDateTime::currentDateTime(),
        sender(request), [&]() -> std::optional<UserUpload::Error> {
            if (isBlocked(request.peer))
                return UserUpload::Error::Blocked;
            if (!m_uploadLimit.tryTake(request.peer, now))
                return UserUpload::Error::TooFrequent;
            return std::nullopt;
        });
    if (uploaded) {
        m_catalogueCache.clear();
        return redirect(responder, root + u"wangyou/?done="_s + QString::number(uploaded->id));
    }
    const UserUpload::Rejection &rejection = uploaded.error();
    const auto categories = m_store.categories(Catalogue::User);
    if (!categories)
        return respondWithError(responder, categories.error());
    responder.write(HtmlPages::uploadPage(*categories, rejection, root), HtmlType, uploadStatus(rejection.reason),
                    rejection.reason == UserUpload::Error::TooFrequent
                        ? retryAfter(m_uploadLimit.secondsToWait(request.peer, now))
                        : HttpResponder::Headers());
}

void SiteServer::messageBoardRoute(const HttpRequest &request, HttpResponder &responder, const QString &root)
{
    const bool isPost = request.isPost();
    if (!isPost && !request.isGet())
        return respondNotAllowed(responder, "GET, HEAD, POST");

    std::optional<MessagePost::Rejection> rejection;
    const qint64 now = m_clock.elapsed();
    if (isPost) {
        const auto posted = MessagePost::receive(
            m_store, FormData::parse(request.header("content-type"), request.body), QDateTime::currentDateTime(),
            sender(request), [&]() -> std::optional<MessagePost::Error> {
                if (isBlocked(request.peer))
                    return MessagePost::Error::Blocked;
                if (!m_messageLimit.tryTake(request.peer, now))
                    return MessagePost::Error::TooFrequent;
                return std::nullopt;
            });
        if (posted)
            return redirect(responder, root + u"nds_wd-nds_wd.html?posted=1"_s);
        rejection = posted.error();
    }
    const QUrlQuery query(request.url);
    const qint64 page = isPost ? 1 : pageNumber(query);
    const auto messages = m_store.findMessages(page);
    if (!messages)
        return respondWithError(responder, messages.error());
    const QByteArray html =
        HtmlPages::messageBoardPage(*messages, page, rejection, !isPost && query.hasQueryItem(u"posted"_s), root);
    if (!rejection)
        return responder.write(html, HtmlType);
    responder.write(html, HtmlType, messageStatus(rejection->reason),
                    rejection->reason == MessagePost::Error::TooFrequent
                        ? retryAfter(m_messageLimit.secondsToWait(request.peer, now))
                        : HttpResponder::Headers());
}

// A removed upload is gone for good, and says so; a hidden one is not there while it is hidden.
bool SiteServer::uploadedFileRoute(const HttpRequest &request, HttpResponder &responder, const QString &relativePath)
{
    const auto state = m_store.uploadState(relativePath);
    if (!state) {
        respondWithError(responder, state.error());
        return true;
    }
    if (*state == SiteStore::UploadState::Removed) {
        responder.write(HtmlPages::refusalPage(u"这个文件已被删除。"_s, u"/"_s), HtmlType, Status::Gone);
        return true;
    }
    if (*state == SiteStore::UploadState::Hidden)
        return false;
    return sendFile(request, responder, m_store.uploadFolder(), relativePath);
}

QString SiteServer::sender(const HttpRequest &request)
{
    return SiteStore::plainAddress(request.peer).toString();
}

// A store that cannot say lets the post through to the store, whose failure is then logged and shown.
bool SiteServer::isBlocked(const QHostAddress &peer) const
{
    const auto blocked = m_store.isBlocked(peer, QDateTime::currentDateTimeUtc());
    if (!blocked)
        qCritical().noquote() << "cannot read the blocked addresses:" << blocked.error().text;
    return blocked && *blocked;
}

bool SiteServer::sendFile(const HttpRequest &request, HttpResponder &responder, const QString &folder,
                          const QString &relativePath)
{
    const std::optional<QString> path = FileStreamer::locate(folder, relativePath);
    if (!path)
        return false;
    auto file = std::make_unique<QFile>(*path);
    if (!file->open(QIODevice::ReadOnly))
        return false;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(*path, QMimeDatabase::MatchExtension);
    QByteArray mimeType = type.name().toUtf8();
    if (type.inherits(u"text/plain"_s))
        mimeType += "; charset=utf-8";
    FileStreamer::stream(std::move(responder), std::move(file), mimeType, m_fileRate, request.header("range"),
                         request.header("if-range"));
    return true;
}

QString SiteServer::rootFor(const HttpRequest &request) const
{
    // The Host header goes into links on every page, so only a plain host and port is taken.
    static const QRegularExpression plainHost(u"^([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:.]+\\])(:[0-9]{1,5})?$"_s);
    const QString host = QString::fromLatin1(request.header("host"));
    return plainHost.match(host).hasMatch() ? u"http://"_s + host + u'/' : m_fallbackRoot;
}

// A browser names the page a form was sent from in Origin (or, older ones, Referer); a post
// that names another site is refused, so that no other page can post in a visitor's name.
// A post that names none comes from a script or a tool, not from a visitor's browser.
bool SiteServer::isSameOrigin(const HttpRequest &request) const
{
    const QByteArray origin = request.header("origin");
    const QByteArray source = origin.isEmpty() ? request.header("referer") : origin;
    if (source.isEmpty())
        return true;
    const QUrl from(QString::fromLatin1(source), QUrl::StrictMode);
    const QUrl own(u"http://"_s + QString::fromLatin1(request.header("host")), QUrl::StrictMode);
    if (!from.isValid() || from.host().isEmpty() || (from.scheme() != u"http"_s && from.scheme() != u"https"_s)
        || !own.isValid() || own.host().isEmpty() || from.host().compare(own.host(), Qt::CaseInsensitive) != 0)
        return false;
    // A Host without a port is behind the scheme's own port, maybe through a proxy for https.
    if (own.port() < 0)
        return from.port() < 0;
    return from.port(from.scheme() == u"https"_s ? 443 : 80) == own.port();
}
