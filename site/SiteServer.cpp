#include "site/SiteServer.h"

#include "site/http/SpoolFile.h"
#include "site/pages/HtmlPages.h"
#include "site/routes/AnswerStatus.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

const QString HealthPath = u"/healthz"_s;

}  // namespace

SiteServer::SiteServer(SiteStore &store, const Options &options)
    : m_store(store)
    , m_options(options)
    , m_context(m_daemon, m_pool, store)
    , m_catalogueCache(store)
    , m_gate({options.messagesPerWindow, options.messageWindowMs}, {options.uploadsPerWindow, options.uploadWindowMs})
    , m_share(options.uploadShare)
    , m_intake(m_pool, m_gate, m_share, options.scanner, options.whenScanUnavailable)
    , m_catalogues(m_context, m_catalogueCache)
    , m_files(m_context)
    , m_uploads(m_context, m_catalogueCache, m_intake)
    , m_messages(m_context, m_gate)
    , m_routes(routes())
    , m_pool(store.dataFolder(), store.filesFolder(), store.location())
    , m_daemon(options.limits, *this)
{
    // Hourly as well as at start: a process restarted after it died finds its own leftovers
    // too young to go.
    m_leftoverSweep.setInterval(std::chrono::hours(1));
    QObject::connect(&m_leftoverSweep, &QTimer::timeout, [this] { removeSpoolLeftovers(); });
}

SiteServer::~SiteServer() = default;

// One table of every path, what answers it and what it takes; the checks every request
// passes are made in headArrived, before any of them.
QList<SiteServer::Route> SiteServer::routes()
{
    const auto catalogue = [this](Catalogue which) {
        return [this, which](const HttpRequest &request, const QString &) {
            return m_catalogues.catalogue(request, which);
        };
    };
    const auto resourcePage = [this](const HttpRequest &request, const QString &) {
        return m_catalogues.resourcePage(request);
    };
    const auto startPage = [this](const HttpRequest &request, const QString &) {
        return m_catalogues.startPage(request);
    };
    const auto officialFile = [this](const HttpRequest &request, const QString &rest) {
        return m_files.officialFile(request, rest);
    };
    const auto userFile = [this](const HttpRequest &request, const QString &rest) {
        return m_files.userFile(request, rest);
    };
    const auto uploadPage = [this](const HttpRequest &request, const QString &) { return m_uploads.uploadPage(request); };
    const auto upload = [this](const HttpRequest &request, ReceivedForm &form, std::optional<FormReader::Error> error) {
        return m_uploads.upload(request, form, error);
    };
    const auto board = [this](const HttpRequest &request, const QString &) { return m_messages.board(request); };
    const auto post = [this](const HttpRequest &request, ReceivedForm &form, std::optional<FormReader::Error> error) {
        return m_messages.post(request, form, error);
    };
    const auto healthCheck = [this](const HttpRequest &, const QString &) { return health(); };
    return {
        {u"/guanfang/admin_upload.php"_s, false, catalogue(Catalogue::Official), {}, false},
        {u"/wangyou/users_upload.php"_s, false, catalogue(Catalogue::User), {}, false},
        {u"/guanfang/view.php"_s, false, resourcePage, {}, false},
        {u"/zorvik/"_s, false, startPage, {}, false},
        {u"/guanfang/files/"_s, true, officialFile, {}, false},
        {u"/wangyou/up/"_s, true, userFile, {}, false},
        {u"/wangyou/"_s, false, uploadPage, upload, true},
        {u"/nds_wd-nds_wd.html"_s, false, board, post, false},
        {HealthPath, false, healthCheck, {}, false},
    };
}

bool SiteServer::listen(const QHostAddress &address, quint16 port)
{
    if (const auto started = m_pool.start(); !started) {
        qCritical().noquote() << "cannot connect the store's workers:" << started.error().text;
        return false;
    }
    if (!m_daemon.listen(address, port))
        return false;
    if (!m_context.origins)
        m_context.origins = Origins::forAddress(address.toString(), m_daemon.serverPort());
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

QString SiteServer::sitePath(const HttpRequest &request) const
{
    return m_context.origins->pathBelow(request.url().path(QUrl::FullyDecoded));
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
    const Origins &origins = *m_context.origins;
    // Only HTTP/1.0 may leave Host out, and no browser does: no page elsewhere can be behind it.
    if (const std::optional<QByteArray> host = request.host(); host && !origins.acceptsHost(*host))
        return m_context.refused(HttpAnswer::MisdirectedRequest, u"这个地址不属于本站。"_s);
    if (request.isPost() && !origins.isSameOrigin(request.header("Origin"), request.header("Referer")))
        return m_context.refused(HttpAnswer::Forbidden, u"只接受从本站页面提交的内容。"_s);
    QString rest;
    const Route *route = routeFor(sitePath(request), &rest);
    if (route && request.isGet())
        return route->page(request, rest);
    if (route && route->post && request.isPost())
        return postArrived(request, *route);
    if (!request.isGet())
        return AnswerStatus::notAllowed(route && route->post ? "GET, HEAD, POST" : "GET, HEAD");
    return m_context.notFound();
}

// A post is refused from its head alone when its body is too large or of no usable length, so
// that none of it is parsed or kept; an upload also when its sender may not upload now.
HttpDaemon::HeadDecision SiteServer::postArrived(const HttpRequest &request, const Route &route)
{
    bool stated = false;
    const qint64 length = request.header("Content-Length").toLongLong(&stated);
    const FormReader::Limits limits = formLimits(route);
    std::optional<HttpAnswer> refusal;
    if (!stated)
        refusal = m_context.refused(HttpAnswer::LengthRequired, u"请求没有注明内容长度，无法处理。"_s);
    else if (request.headerCount("Content-Length") > 1)
        refusal = m_context.refused(HttpAnswer::BadRequest, u"请求的格式不对，无法处理。"_s);
    else if (length > limits.maxBodyBytes && route.takesFiles)
        refusal = m_context.refused(HttpAnswer::PayloadTooLarge, HtmlPages::errorText(UserUpload::Error::FileTooLarge));
    else if (length > limits.maxBodyBytes)
        refusal = m_context.refused(HttpAnswer::BadRequest, u"请求的格式不对，无法处理。"_s);
    if (refusal) {
        // A body of no usable length is not read at all.
        refusal->skipsBody = !stated || request.headerCount("Content-Length") > 1;
        return std::move(*refusal);
    }
    // A message is read all the same, at most a few KiB, so that the page keeps what was
    // typed; whether it may be kept is decided where it is stored.
    if (route.takesFiles)
        return m_uploads.headArrived(request, limits);
    return limits;
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
    return route->post(request, form, error);
}

HttpAnswer SiteServer::busy()
{
    return m_context.refused(HttpAnswer::ServiceUnavailable, u"服务器正忙，请稍后再试。"_s);
}

HttpAnswer SiteServer::framingRefused(int status)
{
    return m_context.refused(status, u"请求的格式不对，无法处理。"_s);
}

// On this thread, with its own connection: it answers while the workers are busy.
HttpDaemon::HeadDecision SiteServer::health()
{
    if (const auto checked = m_store.check(); !checked) {
        qCritical().noquote() << "health check: the store failed:" << checked.error().text;
        return HttpAnswer::text("unavailable\n", AnswerStatus::TextType, HttpAnswer::ServiceUnavailable);
    }
    return HttpAnswer::text("ok\n", AnswerStatus::TextType);
}

void SiteServer::setAccessLog(bool on)
{
    if (on && !m_accessLog)
        m_accessLog = std::make_unique<AccessLogWriter>();
    else if (!on)
        m_accessLog.reset();
}

void SiteServer::answered(const HttpRequest &request, const AccessLog::Entry &entry)
{
    // Monitoring asks every few seconds; its lines would bury the visitors'.
    if (m_accessLog && sitePath(request) != HealthPath)
        m_accessLog->write(entry);
}

}  // namespace Site
