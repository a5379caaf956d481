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
#include "site/scan/ScanPool.h"
#include "site/store/NetworkAddress.h"
#include "site/store/SiteStore.h"
#include "site/store/StoredPath.h"

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
// What a visitor whose upload could not be scanned is asked to wait.
constexpr qint64 ScanRetrySeconds = 60;

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
    case UserUpload::Error::QuotaSpent:
        return HttpAnswer::TooManyRequests;
    case UserUpload::Error::NoSpace:
        return HttpAnswer::InsufficientStorage;
    case UserUpload::Error::Infected:
        return HttpAnswer::UnprocessableContent;
    case UserUpload::Error::ScanUnavailable:
        return HttpAnswer::ServiceUnavailable;
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

} // namespace

// Links on refusal pages stay on whatever host the browser used.
HttpAnswer SiteServer::refused(int status, const QString &message, const HttpAnswer::Headers &headers) const
{
    return HttpAnswer::text(HtmlPages::refusalPage(message, m_origins->rootPath()), HtmlType, status, headers);
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
    , m_share(store, options.uploadShare)
    , m_scanner(options.scanner ? std::make_unique<ScanPool>(*options.scanner) : nullptr)
    , m_intake(store, m_scanner.get(), options.whenScanUnavailable)
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
    return HttpAnswer::text(HtmlPages::notFoundPage(root()), HtmlType, HttpAnswer::NotFound);
}

// A post is refused from its head alone when its body is too large or of no usable length,
// or when its address has posted too often of late, so that none of its body is parsed or kept.
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
        // A body of no usable length is not read at all.
        refusal->skipsBody = !stated || request.headerCount("Content-Length") > 1;
        return refusal;
    }
    // A message is read all the same, at most a few KiB, so that the page keeps what was typed.
    if (route.takesFiles && isBlocked(request.peer())) {
        const auto categories = m_store.categories(Catalogue::User);
        if (!categories)
            return storeError(categories.error());
        UserUpload::Rejection rejection{UserUpload::Error::Blocked, {}};
        return HttpAnswer::text(HtmlPages::uploadPage(*categories, rejection, root()), HtmlType, HttpAnswer::Forbidden);
    }
    if (route.takesFiles) {
        const qint64 wait = secondsToWait(SiteStore::PostKind::Upload, request.peer());
        if (wait > 0) {
            const auto categories = m_store.categories(Catalogue::User);
            if (!categories)
                return storeError(categories.error());
            UserUpload::Rejection rejection{UserUpload::Error::TooFrequent, {}};
            return HttpAnswer::text(HtmlPages::uploadPage(*categories, rejection, root()), HtmlType,
                                    HttpAnswer::TooManyRequests, retryAfter(wait));
        }
        if (const auto refusal = m_share.refusalAtHead(ClientKey::of(request.peer()), length,
                                                       QDateTime::currentMSecsSinceEpoch()))
            return uploadRefused({*refusal, {}}, request.peer());
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

std::optional<HttpAnswer> SiteServer::catalogue(const HttpRequest &request, const QString &)
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
        m_catalogueCache.clear();
        m_revision = *revision;
    }
    if (const auto cached = m_catalogueCache.find(key))
        return HttpAnswer::text(*cached, TextType);

    const auto page = m_store.findResources(query.catalogue, query.keyword, query.field, query.page);
    if (!page)
        return storeError(page.error());
    const QByteArray body = official ? CatalogueRenderer::officialPage(*page, root) : CatalogueRenderer::userPage(*page);
    // Pages past the last are as many as numbers: kept, they would push out the real ones.
    if (query.page == 1 || !page->resources.isEmpty())
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
        return storeError(found.error());
    if (!found->has_value())
        return std::nullopt;
    return HttpAnswer::text(HtmlPages::resourcePage(found->value(), root()), HtmlType);
}

std::optional<HttpAnswer> SiteServer::startPage(const HttpRequest &, const QString &)
{
    const auto official = m_store.findResources(Catalogue::Official, QString(), SiteStore::SearchField::Anywhere, 1);
    const auto user = m_store.findResources(Catalogue::User, QString(), SiteStore::SearchField::Anywhere, 1);
    if (!official || !user)
        return storeError(official ? user.error() : official.error());
    return HttpAnswer::text(HtmlPages::startPage(*official, *user, root()), HtmlType);
}

// An official file is the site's to hand out only while a resource the public sees links it.
std::optional<HttpAnswer> SiteServer::officialFile(const HttpRequest &request, const QString &rest)
{
    const auto linked = m_store.isOfficialFileLinked(rest);
    if (!linked)
        return storeError(linked.error());
    if (!*linked)
        return std::nullopt;
    return sendFile(request, m_store.officialFilesFolder(), rest);
}

// A visitor's file is a download, never a page of the site: a stored page or image with
// script in it would otherwise run as the site's own and could post in a reader's name.
// A removed upload is gone for good, and says so; a hidden one is not there while it is hidden.
std::optional<HttpAnswer> SiteServer::userFile(const HttpRequest &request, const QString &rest)
{
    const auto state = m_store.uploadState(rest);
    if (!state)
        return storeError(state.error());
    if (*state == SiteStore::UploadState::Removed)
        return refused(HttpAnswer::Gone, u"这个文件已被删除。"_s);
    if (*state == SiteStore::UploadState::Hidden)
        return std::nullopt;
    return sendFile(request, m_store.uploadFolder(), rest,
                    {{"Content-Disposition", ContentDisposition::attachment(rest.section(u'/', -1))},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Content-Security-Policy", "sandbox"}});
}

std::optional<HttpAnswer> SiteServer::uploadPage(const HttpRequest &request, const QString &)
{
    const QString root = SiteServer::root();
    // "?done=<id>" is where a successful upload leads, "?held=1" one held until it is scanned.
    if (QUrlQuery(request.url()).hasQueryItem(u"held"_s))
        return HttpAnswer::text(HtmlPages::uploadHeldPage(root), HtmlType);
    bool ok = false;
    const qint64 id = QUrlQuery(request.url()).queryItemValue(u"done"_s).toLongLong(&ok);
    if (ok) {
        const auto done = m_store.resource(Catalogue::User, id);
        if (!done)
            return storeError(done.error());
        if (done->has_value())
            return HttpAnswer::text(HtmlPages::uploadDonePage(done->value(), root), HtmlType);
    }
    const auto categories = m_store.categories(Catalogue::User);
    if (!categories)
        return storeError(categories.error());
    return HttpAnswer::text(HtmlPages::uploadPage(*categories, std::nullopt, root), HtmlType);
}

HttpDaemon::FormDecision SiteServer::upload(const HttpRequest &request, ReceivedForm &form,
                                            std::optional<FormReader::Error> error)
{
    const QHostAddress peer = request.peer();
    if (error) {
        const UserUpload::Error reason = error == FormReader::Error::TooLarge ? UserUpload::Error::FileTooLarge
            : error == FormReader::Error::SpoolFailed                         ? UserUpload::Error::StoreFailed
                                                                              : UserUpload::Error::Malformed;
        return uploadRefused({reason, UserUpload::entered(form)}, peer);
    }
    const UserUpload::Sender sender{NetworkAddress::plain(peer).toString(), ClientKey::of(peer), &m_share};
    auto checked = UserUpload::check(m_store, form, sender, [&]() -> std::optional<UserUpload::Error> {
        const auto taken = takePost(SiteStore::PostKind::Upload, peer);
        if (!taken)
            return UserUpload::Error::StoreFailed;
        if (!*taken)
            return UserUpload::Error::TooFrequent;
        return std::nullopt;
    });
    if (!checked)
        return uploadRefused(checked.error(), peer);
    // The scan, when there is one, runs beside the loop while the connection waits.
    const PendingAnswer later = m_daemon.answerLater(request);
    const SiteResource entered = checked->entry;
    m_intake.take(std::move(*checked), sender, [this, later, entered, peer](const auto &taken) {
        later.answer(uploadTaken(taken, entered, peer));
    });
    return later;
}

HttpAnswer SiteServer::uploadTaken(const Result<UploadIntake::Taken, UserUpload::Error> &taken,
                                   const SiteResource &entered, const QHostAddress &peer)
{
    if (!taken)
        return uploadRefused({taken.error(), entered}, peer);
    if (!taken->stored)
        return redirect(root() + u"wangyou/?held=1"_s);
    m_catalogueCache.clear();
    return redirect(root() + u"wangyou/?done="_s + QString::number(taken->stored->id));
}

HttpAnswer SiteServer::uploadRefused(const UserUpload::Rejection &rejection, const QHostAddress &peer) const
{
    const auto categories = m_store.categories(Catalogue::User);
    if (!categories)
        return storeError(categories.error());
    HttpAnswer::Headers headers;
    if (rejection.reason == UserUpload::Error::TooFrequent)
        headers = retryAfter(secondsToWait(SiteStore::PostKind::Upload, peer));
    else if (rejection.reason == UserUpload::Error::QuotaSpent)
        headers = retryAfter(m_share.secondsUntilRoom(ClientKey::of(peer), QDateTime::currentMSecsSinceEpoch()));
    else if (rejection.reason == UserUpload::Error::ScanUnavailable)
        headers = retryAfter(ScanRetrySeconds);
    return HttpAnswer::text(HtmlPages::uploadPage(*categories, rejection, root()), HtmlType,
                            uploadStatus(rejection.reason), headers);
}

std::optional<HttpAnswer> SiteServer::health(const HttpRequest &, const QString &)
{
    if (const auto checked = m_store.check(); !checked) {
        qCritical().noquote() << "health check: the store failed:" << checked.error().text;
        return HttpAnswer::text("unavailable\n", TextType, HttpAnswer::ServiceUnavailable);
    }
    return HttpAnswer::text("ok\n", TextType);
}

// A store that cannot say lets the post through to the store, whose failure is then logged and shown.
bool SiteServer::isBlocked(const QHostAddress &peer) const
{
    const auto blocked = m_store.isBlocked(peer, QDateTime::currentDateTimeUtc());
    if (!blocked)
        qCritical().noquote() << "cannot read the blocked addresses:" << blocked.error().text;
    return blocked && *blocked;
}

Result<bool, StoreError> SiteServer::takePost(SiteStore::PostKind kind, const QHostAddress &peer)
{
    const bool message = kind == SiteStore::PostKind::Message;
    return m_store.takePost(kind, ClientKey::of(peer), QDateTime::currentMSecsSinceEpoch(),
                            message ? m_options.messagesPerWindow : m_options.uploadsPerWindow,
                            message ? m_options.messageWindowMs : m_options.uploadWindowMs);
}

// A store that cannot tell is logged; the post then fails where it is counted.
qint64 SiteServer::secondsToWait(SiteStore::PostKind kind, const QHostAddress &peer) const
{
    const bool message = kind == SiteStore::PostKind::Message;
    const auto wait = m_store.secondsToWait(kind, ClientKey::of(peer), QDateTime::currentMSecsSinceEpoch(),
                                            message ? m_options.messagesPerWindow : m_options.uploadsPerWindow,
                                            message ? m_options.messageWindowMs : m_options.uploadWindowMs);
    if (!wait) {
        qCritical().noquote() << "cannot count the posts of" << peer.toString() << wait.error().text;
        return 0;
    }
    return *wait;
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

std::optional<HttpAnswer> SiteServer::messageBoard(const HttpRequest &request, const QString &)
{
    const QUrlQuery query(request.url());
    return messageBoardPage(request, CatalogueQuery::pageNumber(query.queryItemValue(u"page"_s)), std::nullopt,
                            query.hasQueryItem(u"posted"_s));
}

HttpDaemon::FormDecision SiteServer::postMessage(const HttpRequest &request, ReceivedForm &form,
                                                 std::optional<FormReader::Error> error)
{
    const auto posted = MessagePost::receive(
        m_store, error ? nullptr : &form, QDateTime::currentDateTime(),
        NetworkAddress::plain(request.peer()).toString(), [&]() -> std::optional<MessagePost::Error> {
            if (isBlocked(request.peer()))
                return MessagePost::Error::Blocked;
            const auto taken = takePost(SiteStore::PostKind::Message, request.peer());
            if (!taken)
                return MessagePost::Error::StoreFailed;
            if (!*taken)
                return MessagePost::Error::TooFrequent;
            return std::nullopt;
        });
    if (posted)
        return redirect(root() + u"nds_wd-nds_wd.html?posted=1"_s);
    return messageBoardPage(request, 1, posted.error(), false);
}

HttpAnswer SiteServer::messageBoardPage(const HttpRequest &request, qint64 page,
                                        const std::optional<MessagePost::Rejection> &rejection, bool posted)
{
    const auto messages = m_store.findMessages(page);
    if (!messages)
        return storeError(messages.error());
    const QByteArray html = HtmlPages::messageBoardPage(*messages, page, rejection, posted, root());
    if (!rejection)
        return HttpAnswer::text(html, HtmlType);
    return HttpAnswer::text(html, HtmlType, messageStatus(rejection->reason),
                            rejection->reason == MessagePost::Error::TooFrequent
                                ? retryAfter(secondsToWait(SiteStore::PostKind::Message, request.peer()))
                                : HttpAnswer::Headers());
}

// A single byte range is answered with 206 and only that part, unless If-Range names another
// version of the file; a range that starts past the end gets 416. Every answer carries the
// file's ETag and Last-Modified.
std::optional<HttpAnswer> SiteServer::sendFile(const HttpRequest &request, const QString &folder,
                                               const QString &relativePath, const HttpAnswer::Headers &headers)
{
    const std::optional<QString> path = StoredPath::locate(folder, relativePath);
    if (!path)
        return std::nullopt;
    auto file = std::make_shared<QFile>(*path);
    if (!file->open(QIODevice::ReadOnly))
        return std::nullopt;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(*path, QMimeDatabase::MatchExtension);
    QByteArray mimeType = type.name().toUtf8();
    if (type.inherits(u"text/plain"_s))
        mimeType += "; charset=utf-8";

    const QString below = QDir(QFileInfo(m_store.filesFolder()).canonicalFilePath()).relativeFilePath(*path);
    // Names the whole file's bytes in every answer, ranged or not, so that a client can check
    // what it joined from several.
    HttpAnswer::Headers digest;
    if (const std::optional<QByteArray> sha256 = digestOf(below, *path))
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
    const ByteRange range =
        ByteRange::select(request.header("Range"), request.header("If-Range"), file->size(), version);
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

// The SHA-256 the store keeps for the file below the files folder; one it has not (an official
// file before its first download, a file changed on disk) is taken now and kept. Nothing when
// the file cannot be read, or the store cannot say: the answer then names no digest.
std::optional<QByteArray> SiteServer::digestOf(const QString &below, const QString &path)
{
    const auto kept = m_store.fileDigest(below);
    if (!kept) {
        qWarning().noquote() << "cannot read the digest of" << below << ':' << kept.error().text;
        return std::nullopt;
    }
    if (*kept)
        return *kept;
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
    if (const auto noted = m_store.setFileDigest(below, sha256); !noted)
        qWarning().noquote() << "cannot keep the digest of" << below << ':' << noted.error().text;
    return sha256;
}
