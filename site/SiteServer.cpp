#include "site/SiteServer.h"

#include "site/CatalogueQuery.h"
#include "site/pages/CatalogueRenderer.h"
#include "site/http/FileStreamer.h"
#include "site/http/FormData.h"
#include "site/pages/HtmlPages.h"
#include "site/http/HttpRequest.h"
#include "site/http/HttpResponder.h"
#include "site/forms/MessagePost.h"
#include "site/store/SiteStore.h"

#include <QDateTime>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUrlQuery>

using namespace Qt::StringLiterals;
using Status = HttpResponder::StatusCode;

namespace {

const QByteArray HtmlType = "text/html; charset=utf-8";
const QByteArray TextType = "text/plain; charset=utf-8";
const QString OfficialCatalogue = u"/guanfang/admin_upload.php"_s;
const QString UserCatalogue = u"/wangyou/users_upload.php"_s;
// What a client turned away for want of room is asked to wait, in seconds.
constexpr int BusyRetrySeconds = 10;

// A database failure is an error, so that the client keeps what it showed instead of taking
// an empty catalogue, or a missing page, for the truth.
void respondWithError(HttpResponder &responder)
{
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
            respondWithError(responder);
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
            respondWithError(responder);
        return true;
    }
    static const QString OfficialFiles = u"/guanfang/files/"_s;
    if (path.startsWith(OfficialFiles))
        return sendFile(request, responder, m_store.officialFilesFolder(), path.sliced(OfficialFiles.size()));
    static const QString UserFiles = u"/wangyou/up/"_s;
    if (path.startsWith(UserFiles))
        return sendFile(request, responder, m_store.uploadFolder(), path.sliced(UserFiles.size()));
    return false;
}

void SiteServer::catalogueRoute(const HttpRequest &request, HttpResponder &responder, const QString &root)
{
    const bool official = request.url.path() == OfficialCatalogue;
    const CatalogueQuery query = CatalogueQuery::parse(official ? Catalogue::Official : Catalogue::User,
                                                       request.url.query(QUrl::FullyEncoded).toUtf8());
    // Official pages link to the root they were asked through, so it is part of the key.
    const QByteArray key = official ? root.toUtf8() + ' ' + query.key() : query.key();
    if (const auto cached = m_catalogueCache.find(key))
        return responder.write(*cached, TextType);

    const auto page = m_store.findResources(query.catalogue, query.keyword, query.field, query.page);
    if (!page)
        return respondWithError(responder);
    const QByteArray body = official ? CatalogueRenderer::officialPage(*page, root) : CatalogueRenderer::userPage(*page);
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
                return respondWithError(responder);
            if (done->has_value())
                return responder.write(HtmlPages::uploadDonePage(done->value(), root), HtmlType);
        }
        const auto categories = m_store.categories(Catalogue::User);
        if (!categories)
            return respondWithError(responder);
        return responder.write(HtmlPages::uploadPage(*categories, std::nullopt, root), HtmlType);
    }
    if (!request.isPost())
        return respondNotAllowed(responder, "GET, HEAD, POST");

    const qint64 now = m_clock.elapsed();
    const auto uploaded =
        UserUpload::receive(m_store, FormData::parse(request.header("content-type"), request.body),
                            QDateTime::currentDateTime(), [&] { return m_uploadLimit.tryTake(request.peer, now); });
    if (uploaded) {
        m_catalogueCache.clear();
        return redirect(responder, root + u"wangyou/?done="_s + QString::number(uploaded->id));
    }
    const UserUpload::Rejection &rejection = uploaded.error();
    const auto categories = m_store.categories(Catalogue::User);
    if (!categories)
        return respondWithError(responder);
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
        const auto posted = MessagePost::receive(m_store, FormData::parse(request.header("content-type"), request.body),
                                                 QDateTime::currentDateTime(),
                                                 [&] { return m_messageLimit.tryTake(request.peer, now); });
        if (posted)
            return redirect(responder, root + u"nds_wd-nds_wd.html?posted=1"_s);
        rejection = posted.error();
    }
    const QUrlQuery query(request.url);
    const qint64 page = isPost ? 1 : CatalogueQuery::pageNumber(query.queryItemValue(u"page"_s));
    const auto messages = m_store.findMessages(page);
    if (!messages)
        return respondWithError(responder);
    const QByteArray html =
        HtmlPages::messageBoardPage(*messages, page, rejection, !isPost && query.hasQueryItem(u"posted"_s), root);
    if (!rejection)
        return responder.write(html, HtmlType);
    responder.write(html, HtmlType, messageStatus(rejection->reason),
                    rejection->reason == MessagePost::Error::TooFrequent
                        ? retryAfter(m_messageLimit.secondsToWait(request.peer, now))
                        : HttpResponder::Headers());
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
