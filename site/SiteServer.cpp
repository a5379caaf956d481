#include "site/SiteServer.h"

#include "site/CatalogueQuery.h"
#include "site/forms/MessagePost.h"
#include "site/pages/CatalogueRenderer.h"
#include "site/pages/HtmlPages.h"
#include "site/store/SiteStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

const QByteArray HtmlType = "text/html; charset=utf-8";
const QByteArray TextType = "text/plain; charset=utf-8";
const QString OfficialCatalogue = u"/guanfang/admin_upload.php"_s;

// A database failure is an error, so that the client keeps what it showed instead of taking
// an empty catalogue, or a missing page, for the truth.
HttpAnswer storeError()
{
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

// Links on refusal pages stay on whatever host the browser used.
HttpAnswer refused(int status, const QString &message, const HttpAnswer::Headers &headers = {})
{
    return HttpAnswer::text(HtmlPages::refusalPage(message, u"/"_s), HtmlType, status, headers);
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
    case MessagePost::Error::StoreFailed:
        return HttpAnswer::InternalServerError;
    default:
        return HttpAnswer::BadRequest;
    }
}

// The regular file at relativePath inside folder, or nothing when the path is not a plain
// relative path or leads outside the folder (through "..", or a link pointing out).
std::optional<QString> locate(const QString &folder, const QString &relativePath)
{
    const QStringList segments = relativePath.split(u'/');
    for (const QString &segment : segments) {
        if (segment.isEmpty() || segment == u"."_s || segment == u".."_s || segment.contains(u'\\')
            || segment.contains(QChar::Null))
            return std::nullopt;
    }
    const QString base = QFileInfo(folder).canonicalFilePath();
    const QFileInfo file(QDir(folder).filePath(relativePath));
    // The canonical path resolves links, so a link inside the folder cannot lead out of it.
    if (base.isEmpty() || !file.isFile() || !file.canonicalFilePath().startsWith(base + u'/'))
        return std::nullopt;
    return file.canonicalFilePath();
}

struct Span
{
    qint64 first = 0;
    qint64 length = 0;
};

// The span a Range value asks of a file of size bytes; nothing when the value is not one
// satisfiable range (several ranges, or bad syntax, are answered with the whole file).
std::optional<Span> requestedSpan(const QByteArray &range, qint64 size, bool *unsatisfiable)
{
    *unsatisfiable = false;
    static const QRegularExpression single(u"^\\s*bytes\\s*=\\s*(\\d*)\\s*-\\s*(\\d*)\\s*$"_s);
    const QRegularExpressionMatch match = single.match(QString::fromLatin1(range));
    if (!match.hasMatch() || (match.capturedLength(1) == 0 && match.capturedLength(2) == 0))
        return std::nullopt;
    bool firstOk = true;
    bool lastOk = true;
    qint64 first = match.captured(1).toLongLong(&firstOk);
    qint64 last = match.captured(2).toLongLong(&lastOk);
    if (match.capturedLength(1) == 0) {
        // "bytes=-n": the last n bytes.
        if (!lastOk || last == 0) {
            *unsatisfiable = lastOk;
            return std::nullopt;
        }
        first = std::max<qint64>(size - last, 0);
        last = size - 1;
        firstOk = true;
    } else if (match.capturedLength(2) == 0 || !lastOk || last >= size) {
        last = size - 1;
    }
    if (!firstOk || last < first) {
        *unsatisfiable = firstOk && first >= size;
        return std::nullopt;
    }
    return Span{first, last - first + 1};
}

} // namespace

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
      }
    , m_messageLimit(options.messagesPerWindow, options.messageWindowMs)
    , m_uploadLimit(options.uploadsPerWindow, options.uploadWindowMs)
    , m_daemon(options.limits, *this)
{
    m_clock.start();
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
    if (request.isPost() && !isSameOrigin(request))
        return refused(HttpAnswer::Forbidden, u"只接受从本站页面提交的内容。"_s);
    QString rest;
    const Route *route = routeFor(request.url().path(QUrl::FullyDecoded), &rest);
    if (route && request.isGet()) {
        if (std::optional<HttpAnswer> answer = (this->*route->page)(request, rest))
            return std::move(*answer);
    } else if (route && route->post && request.isPost()) {
        if (std::optional<HttpAnswer> refusal = refusePost(request, *route))
            return std::move(*refusal);
        return formLimits(*route);
    } else if (!request.isGet()) {
        return notAllowed(route && route->post ? "GET, HEAD, POST" : "GET, HEAD");
    }
    return HttpAnswer::text(HtmlPages::notFoundPage(rootFor(request)), HtmlType, HttpAnswer::NotFound);
}

// A post is refused from its head alone when its body is too large or of no usable length,
// or when its address has posted too often of late, so that none of its body is parsed.
std::optional<HttpAnswer> SiteServer::refusePost(const HttpRequest &request, const Route &route) const
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
        refusal->skipsBody = true;
        return refusal;
    }
    // A message is read all the same, at most a few KiB, so that the page keeps what was typed.
    if (route.takesFiles) {
        const qint64 wait = m_uploadLimit.secondsToWait(request.peer(), m_clock.elapsed());
        if (wait > 0) {
            const auto categories = m_store.categories(Catalogue::User);
            if (!categories)
                return storeError();
            UserUpload::Rejection rejection{UserUpload::Error::TooFrequent, {}};
            return HttpAnswer::text(HtmlPages::uploadPage(*categories, rejection, rootFor(request)), HtmlType,
                                    HttpAnswer::TooManyRequests, retryAfter(wait));
        }
    }
    return std::nullopt;
}

FormReader::Limits SiteServer::formLimits(const Route &route) const
{
    FormReader::Limits limits;
    limits.maxBodyBytes = MaxTextFormBytes;
    limits.maxFields = MaxFormFields;
    if (route.takesFiles) {
        limits.maxBodyBytes = MaxRequestBodyBytes;
        limits.spoolFolder = QFileInfo(m_store.uploadFolder()).canonicalFilePath();
        limits.maxFileBytes = UserUpload::MaxFileBytes;
    }
    return limits;
}

HttpAnswer SiteServer::formArrived(const HttpRequest &request, ReceivedForm &form,
                                   std::optional<FormReader::Error> error)
{
    QString rest;
    const Route *route = routeFor(request.url().path(QUrl::FullyDecoded), &rest);
    return (this->*route->post)(request, form, error);
}

HttpAnswer SiteServer::busy()
{
    return refused(HttpAnswer::ServiceUnavailable, u"服务器正忙，请稍后再试。"_s);
}

std::optional<HttpAnswer> SiteServer::catalogue(const HttpRequest &request, const QString &)
{
    const bool official = request.url().path() == OfficialCatalogue;
    const QString root = rootFor(request);
    const CatalogueQuery query = CatalogueQuery::parse(official ? Catalogue::Official : Catalogue::User,
                                                       request.url().query(QUrl::FullyEncoded).toUtf8());
    // Official pages link to the root they were asked through, so it is part of the key.
    const QByteArray key = official ? root.toUtf8() + ' ' + query.key() : query.key();
    if (const auto cached = m_catalogueCache.find(key))
        return HttpAnswer::text(*cached, TextType);

    const auto page = m_store.findResources(query.catalogue, query.keyword, query.field, query.page);
    if (!page)
        return storeError();
    const QByteArray body = official ? CatalogueRenderer::officialPage(*page, root) : CatalogueRenderer::userPage(*page);
    m_catalogueCache.insert(key, body);
    return HttpAnswer::text(body, TextType);
}

std::optional<HttpAnswer> SiteServer::resourcePage(const HttpRequest &request, const QString &)
{
    bool ok = false;
    const qint64 id = QUrlQuery(request.url()).queryItemValue(u"id"_s).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    const auto found = m_store.resource(Catalogue::Official, id);
    if (!found)
        return storeError();
    if (!found->has_value())
        return std::nullopt;
    return HttpAnswer::text(HtmlPages::resourcePage(found->value(), rootFor(request)), HtmlType);
}

std::optional<HttpAnswer> SiteServer::startPage(const HttpRequest &request, const QString &)
{
    const auto official = m_store.findResources(Catalogue::Official, QString(), SiteStore::SearchField::Anywhere, 1);
    const auto user = m_store.findResources(Catalogue::User, QString(), SiteStore::SearchField::Anywhere, 1);
    if (!official || !user)
        return storeError();
    return HttpAnswer::text(HtmlPages::startPage(*official, *user, rootFor(request)), HtmlType);
}

std::optional<HttpAnswer> SiteServer::officialFile(const HttpRequest &request, const QString &rest)
{
    return sendFile(request, m_store.officialFilesFolder(), rest);
}

std::optional<HttpAnswer> SiteServer::userFile(const HttpRequest &request, const QString &rest)
{
    return sendFile(request, m_store.uploadFolder(), rest);
}

std::optional<HttpAnswer> SiteServer::uploadPage(const HttpRequest &request, const QString &)
{
    const QString root = rootFor(request);
    // "?done=<id>" is where a successful upload leads.
    bool ok = false;
    const qint64 id = QUrlQuery(request.url()).queryItemValue(u"done"_s).toLongLong(&ok);
    if (ok) {
        const auto done = m_store.resource(Catalogue::User, id);
        if (!done)
            return storeError();
        if (done->has_value())
            return HttpAnswer::text(HtmlPages::uploadDonePage(done->value(), root), HtmlType);
    }
    const auto categories = m_store.categories(Catalogue::User);
    if (!categories)
        return storeError();
    return HttpAnswer::text(HtmlPages::uploadPage(*categories, std::nullopt, root), HtmlType);
}

HttpAnswer SiteServer::upload(const HttpRequest &request, ReceivedForm &form, std::optional<FormReader::Error> error)
{
    if (error) {
        const UserUpload::Error reason = error == FormReader::Error::TooLarge ? UserUpload::Error::FileTooLarge
            : error == FormReader::Error::SpoolFailed                         ? UserUpload::Error::StoreFailed
                                                                              : UserUpload::Error::Malformed;
        return uploadRefused({reason, UserUpload::entered(form)}, request);
    }
    const qint64 now = m_clock.elapsed();
    const auto uploaded = UserUpload::receive(m_store, form, QDateTime::currentDateTime(),
                                              [&] { return m_uploadLimit.tryTake(request.peer(), now); });
    if (!uploaded)
        return uploadRefused(uploaded.error(), request);
    m_catalogueCache.clear();
    return redirect(rootFor(request) + u"wangyou/?done="_s + QString::number(uploaded->id));
}

HttpAnswer SiteServer::uploadRefused(const UserUpload::Rejection &rejection, const HttpRequest &request)
{
    const auto categories = m_store.categories(Catalogue::User);
    if (!categories)
        return storeError();
    return HttpAnswer::text(HtmlPages::uploadPage(*categories, rejection, rootFor(request)), HtmlType,
                            uploadStatus(rejection.reason),
                            rejection.reason == UserUpload::Error::TooFrequent
                                ? retryAfter(m_uploadLimit.secondsToWait(request.peer(), m_clock.elapsed()))
                                : HttpAnswer::Headers());
}

std::optional<HttpAnswer> SiteServer::messageBoard(const HttpRequest &request, const QString &)
{
    const QUrlQuery query(request.url());
    return messageBoardPage(request, CatalogueQuery::pageNumber(query.queryItemValue(u"page"_s)), std::nullopt,
                            query.hasQueryItem(u"posted"_s));
}

HttpAnswer SiteServer::postMessage(const HttpRequest &request, ReceivedForm &form,
                                   std::optional<FormReader::Error> error)
{
    const qint64 now = m_clock.elapsed();
    const auto posted = MessagePost::receive(m_store, error ? nullptr : &form, QDateTime::currentDateTime(),
                                             [&] { return m_messageLimit.tryTake(request.peer(), now); });
    if (posted)
        return redirect(rootFor(request) + u"nds_wd-nds_wd.html?posted=1"_s);
    return messageBoardPage(request, 1, posted.error(), false);
}

HttpAnswer SiteServer::messageBoardPage(const HttpRequest &request, qint64 page,
                                        const std::optional<MessagePost::Rejection> &rejection, bool posted)
{
    const auto messages = m_store.findMessages(page);
    if (!messages)
        return storeError();
    const QByteArray html = HtmlPages::messageBoardPage(*messages, page, rejection, posted, rootFor(request));
    if (!rejection)
        return HttpAnswer::text(html, HtmlType);
    return HttpAnswer::text(html, HtmlType, messageStatus(rejection->reason),
                            rejection->reason == MessagePost::Error::TooFrequent
                                ? retryAfter(m_messageLimit.secondsToWait(request.peer(), m_clock.elapsed()))
                                : HttpAnswer::Headers());
}

// A single byte range ("Range: bytes=...") is answered with 206 and only that part, unless
// If-Range names another version of the file; a range that starts past the end gets 416.
// Every answer carries the file's ETag and Last-Modified.
std::optional<HttpAnswer> SiteServer::sendFile(const HttpRequest &request, const QString &folder,
                                               const QString &relativePath)
{
    const std::optional<QString> path = locate(folder, relativePath);
    if (!path)
        return std::nullopt;
    auto file = std::make_shared<QFile>(*path);
    if (!file->open(QIODevice::ReadOnly))
        return std::nullopt;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(*path, QMimeDatabase::MatchExtension);
    QByteArray mimeType = type.name().toUtf8();
    if (type.inherits(u"text/plain"_s))
        mimeType += "; charset=utf-8";

    const qint64 size = file->size();
    const QDateTime modified = file->fileTime(QFileDevice::FileModificationTime).toUTC();
    // Size and time in the tag: a file replaced under the same name gets another.
    const QByteArray etag = '"' + QByteArray::number(size, 16) + '-'
        + QByteArray::number(modified.toMSecsSinceEpoch(), 16) + '"';
    const QByteArray lastModified =
        QLocale::c().toString(modified, u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s).toLatin1();
    const QByteArray range = request.header("Range");
    const QByteArray ifRange = request.header("If-Range").trimmed();
    // If-Range: the range only for the version the client already holds, else the whole file.
    const bool sameVersion = ifRange.isEmpty() || ifRange == etag || ifRange == lastModified;
    bool unsatisfiable = false;
    const std::optional<Span> span =
        range.isEmpty() || !sameVersion ? std::nullopt : requestedSpan(range, size, &unsatisfiable);

    HttpAnswer answer;
    answer.headers = {{"Accept-Ranges", "bytes"}, {"ETag", etag}, {"Last-Modified", lastModified}};
    if (unsatisfiable) {
        answer.status = HttpAnswer::RangeNotSatisfiable;
        answer.headers.append({"Content-Range", "bytes */" + QByteArray::number(size)});
        return answer;
    }
    answer.headers.append({"Content-Type", mimeType});
    const Span sent = span.value_or(Span{0, size});
    if (span) {
        answer.status = HttpAnswer::PartialContent;
        answer.headers.append({"Content-Range", "bytes " + QByteArray::number(sent.first) + '-'
                                                    + QByteArray::number(sent.first + sent.length - 1) + '/'
                                                    + QByteArray::number(size)});
    }
    answer.file = HttpAnswer::FileSpan{std::move(file), sent.first, sent.length};
    return answer;
}

QString SiteServer::rootFor(const HttpRequest &request) const
{
    // The Host header goes into links on every page, so only a plain host and port is taken.
    static const QRegularExpression plainHost(u"^([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:.]+\\])(:[0-9]{1,5})?$"_s);
    const QString host = QString::fromLatin1(request.header("Host"));
    return plainHost.match(host).hasMatch() ? u"http://"_s + host + u'/' : m_fallbackRoot;
}

// A browser names the page a form was sent from in Origin (or, older ones, Referer); a post
// that names another site is refused, so that no other page can post in a visitor's name.
// A post that names none comes from a script or a tool, not from a visitor's browser.
bool SiteServer::isSameOrigin(const HttpRequest &request) const
{
    const QByteArray origin = request.header("Origin");
    const QByteArray source = origin.isEmpty() ? request.header("Referer") : origin;
    if (source.isEmpty())
        return true;
    const QUrl from(QString::fromLatin1(source), QUrl::StrictMode);
    const QUrl own(u"http://"_s + QString::fromLatin1(request.header("Host")), QUrl::StrictMode);
    if (!from.isValid() || from.host().isEmpty() || (from.scheme() != u"http"_s && from.scheme() != u"https"_s)
        || !own.isValid() || own.host().isEmpty() || from.host().compare(own.host(), Qt::CaseInsensitive) != 0)
        return false;
    // A Host without a port is behind the scheme's own port, maybe through a proxy for https.
    if (own.port() < 0)
        return from.port() < 0;
    return from.port(from.scheme() == u"https"_s ? 443 : 80) == own.port();
}
