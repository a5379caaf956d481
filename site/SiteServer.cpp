#include "site/SiteServer.h"

#include "site/CatalogueRenderer.h"
#include "site/FileStreamer.h"
#include "site/FormData.h"
#include "site/GuardedTcpServer.h"
#include "site/HtmlPages.h"
#include "site/MessagePost.h"
#include "site/SiteStore.h"
#include "site/UserUpload.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

const QByteArray HtmlType = "text/html; charset=utf-8";
const QByteArray TextType = "text/plain; charset=utf-8";

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

// Both answer the request in full, so a route can end with "return respond(...)".
bool respond(QHttpServerResponder &&responder, const QByteArray &mimeType, const QByteArray &body)
{
    responder.write(body, mimeType);
    return true;
}

// A database failure is an error, so that the client keeps what it showed instead of taking
// an empty catalogue for the truth.
bool respondWithError(QHttpServerResponder &&responder)
{
    responder.write(u"服务器内部错误"_s.toUtf8(), TextType, QHttpServerResponder::StatusCode::InternalServerError);
    return true;
}

// After a post the browser is sent on to a page it may load again without posting twice.
bool redirect(QHttpServerResponder &&responder, const QString &target)
{
    responder.write({{"Location", target.toUtf8()}}, QHttpServerResponder::StatusCode::SeeOther);
    return true;
}

bool respondNotAllowed(QHttpServerResponder &&responder, const QByteArray &allowed)
{
    responder.write({{"Allow", allowed}}, QHttpServerResponder::StatusCode::MethodNotAllowed);
    return true;
}

QByteArray rawPage(int status, const QByteArray &reason, const QByteArray &page)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + HtmlType
        + "\r\nContent-Length: " + QByteArray::number(page.size()) + "\r\nConnection: close\r\n\r\n" + page;
}

// Links on these pages stay on whatever host the browser used.
QByteArray refusal(GuardedTcpServer::Refusal refusal)
{
    switch (refusal) {
    case GuardedTcpServer::Refusal::HeadTooLarge:
        return rawPage(431, "Request Header Fields Too Large",
                       HtmlPages::refusalPage(u"请求头太大，无法处理。"_s, u"/"_s));
    case GuardedTcpServer::Refusal::LengthRequired:
        return rawPage(411, "Length Required",
                       HtmlPages::refusalPage(u"请求没有注明内容长度，无法处理。"_s, u"/"_s));
    case GuardedTcpServer::Refusal::BodyTooLarge:
        break;
    }
    return rawPage(413, "Payload Too Large",
                   HtmlPages::refusalPage(HtmlPages::errorText(UserUpload::Error::FileTooLarge), u"/"_s));
}

QHttpServerResponder::StatusCode uploadStatus(UserUpload::Error error)
{
    switch (error) {
    case UserUpload::Error::FileTooLarge:
        return QHttpServerResponder::StatusCode::PayloadTooLarge;
    case UserUpload::Error::StoreFailed:
        return QHttpServerResponder::StatusCode::InternalServerError;
    default:
        return QHttpServerResponder::StatusCode::BadRequest;
    }
}

} // namespace

SiteServer::SiteServer(SiteStore &store, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_store(store)
{
}

quint16 SiteServer::listenGuarded(const QHostAddress &address, quint16 port)
{
    auto *server = new GuardedTcpServer(MaxRequestBodyBytes, refusal, this);
    if (!server->listen(address, port)) {
        delete server;
        return 0;
    }
    bind(server);
    return server->serverPort();
}

bool SiteServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QString path = request.url().path(QUrl::FullyDecoded);
    const QUrlQuery query(request.url());
    const QString root = rootFor(request);
    if (path == u"/wangyou/"_s)
        return uploadRoute(request, socket, root);
    if (path == u"/nds_wd-nds_wd.html"_s)
        return messageBoardRoute(request, socket, root);
    if (request.method() != QHttpServerRequest::Method::Get)
        return respondNotAllowed(makeResponder(request, socket), "GET");

    if (path == u"/guanfang/admin_upload.php"_s) {
        // The client's field selector: 0 searches the category, 1 the title.
        const auto field = query.queryItemValue(u"t"_s) == u"0"_s ? SiteStore::SearchField::Category
                                                                  : SiteStore::SearchField::Title;
        const auto page = m_store.findResources(Catalogue::Official, keyword(query), field, pageNumber(query));
        return page ? respond(makeResponder(request, socket), TextType, CatalogueRenderer::officialPage(*page, root))
                    : respondWithError(makeResponder(request, socket));
    }
    if (path == u"/wangyou/users_upload.php"_s) {
        const auto page = m_store.findResources(Catalogue::User, keyword(query), SiteStore::SearchField::Anywhere,
                                                pageNumber(query));
        return page ? respond(makeResponder(request, socket), TextType, CatalogueRenderer::userPage(*page))
                    : respondWithError(makeResponder(request, socket));
    }
    if (path == u"/guanfang/view.php"_s) {
        bool ok = false;
        const qint64 id = query.queryItemValue(u"id"_s).toLongLong(&ok);
        const std::optional<SiteResource> resource = ok ? m_store.resource(Catalogue::Official, id) : std::nullopt;
        if (!resource)
            return false;
        return respond(makeResponder(request, socket), HtmlType, HtmlPages::resourcePage(*resource, root));
    }
    if (path == u"/zorvik/"_s) {
        const auto official = m_store.findResources(Catalogue::Official, QString(), SiteStore::SearchField::Anywhere, 1);
        const auto user = m_store.findResources(Catalogue::User, QString(), SiteStore::SearchField::Anywhere, 1);
        return official && user
            ? respond(makeResponder(request, socket), HtmlType, HtmlPages::startPage(*official, *user, root))
            : respondWithError(makeResponder(request, socket));
    }
    static const QString OfficialFiles = u"/guanfang/files/"_s;
    if (path.startsWith(OfficialFiles))
        return sendFile(request, socket, m_store.officialFilesFolder(), path.sliced(OfficialFiles.size()));
    static const QString UserFiles = u"/wangyou/up/"_s;
    if (path.startsWith(UserFiles))
        return sendFile(request, socket, m_store.uploadFolder(), path.sliced(UserFiles.size()));
    return false;
}

bool SiteServer::uploadRoute(const QHttpServerRequest &request, QTcpSocket *socket, const QString &root)
{
    if (request.method() == QHttpServerRequest::Method::Get) {
        // "?done=<id>" is where a successful upload leads.
        bool ok = false;
        const qint64 id = QUrlQuery(request.url()).queryItemValue(u"done"_s).toLongLong(&ok);
        if (const std::optional<SiteResource> done = ok ? m_store.resource(Catalogue::User, id) : std::nullopt)
            return respond(makeResponder(request, socket), HtmlType, HtmlPages::uploadDonePage(*done, root));
        const std::optional<QStringList> categories = m_store.categories(Catalogue::User);
        if (!categories)
            return respondWithError(makeResponder(request, socket));
        return respond(makeResponder(request, socket), HtmlType,
                       HtmlPages::uploadPage(*categories, SiteResource(), UserUpload::Error::None, root));
    }
    if (request.method() != QHttpServerRequest::Method::Post)
        return respondNotAllowed(makeResponder(request, socket), "GET, POST");

    const QByteArray body = request.body();  // the fields point into it
    const UserUpload::Result result = UserUpload::receive(m_store, FormData::parse(request.value("Content-Type"), body),
                                                          QDateTime::currentDateTime());
    if (result.error == UserUpload::Error::None)
        return redirect(makeResponder(request, socket), root + u"wangyou/?done="_s + QString::number(result.resource.id));
    const std::optional<QStringList> categories = m_store.categories(Catalogue::User);
    if (!categories)
        return respondWithError(makeResponder(request, socket));
    makeResponder(request, socket)
        .write(HtmlPages::uploadPage(*categories, result.resource, result.error, root), HtmlType,
               uploadStatus(result.error));
    return true;
}

bool SiteServer::messageBoardRoute(const QHttpServerRequest &request, QTcpSocket *socket, const QString &root)
{
    const bool isPost = request.method() == QHttpServerRequest::Method::Post;
    if (!isPost && request.method() != QHttpServerRequest::Method::Get)
        return respondNotAllowed(makeResponder(request, socket), "GET, POST");

    MessagePost::Result posted;
    if (isPost) {
        posted = MessagePost::receive(m_store, FormData::parse(request.value("Content-Type"), request.body()),
                                      QDateTime::currentDateTime());
        if (posted.error == MessagePost::Error::None)
            return redirect(makeResponder(request, socket), root + u"nds_wd-nds_wd.html?posted=1"_s);
    }
    const QUrlQuery query(request.url());
    const qint64 page = isPost ? 1 : pageNumber(query);
    const std::optional<SiteStore::MessagePage> messages = m_store.findMessages(page);
    if (!messages)
        return respondWithError(makeResponder(request, socket));
    const QByteArray html = HtmlPages::messageBoardPage(*messages, page, posted.message, posted.error,
                                                        !isPost && query.hasQueryItem(u"posted"_s), root);
    const auto status = posted.error == MessagePost::Error::None ? QHttpServerResponder::StatusCode::Ok
        : posted.error == MessagePost::Error::StoreFailed       ? QHttpServerResponder::StatusCode::InternalServerError
                                                                : QHttpServerResponder::StatusCode::BadRequest;
    makeResponder(request, socket).write(html, HtmlType, status);
    return true;
}

void SiteServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    makeResponder(request, socket)
        .write(HtmlPages::notFoundPage(rootFor(request)), HtmlType, QHttpServerResponder::StatusCode::NotFound);
}

bool SiteServer::sendFile(const QHttpServerRequest &request, QTcpSocket *socket, const QString &folder,
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
    FileStreamer::stream(makeResponder(request, socket), std::move(file), mimeType, m_fileRate, request.value("Range"),
                         request.value("If-Range"));
    return true;
}

QString SiteServer::rootFor(const QHttpServerRequest &request) const
{
    // The Host header goes into links on every page, so only a plain host and port is taken.
    static const QRegularExpression plainHost(u"^([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:.]+\\])(:[0-9]{1,5})?$"_s);
    const QString host = QString::fromLatin1(request.value("Host"));
    return plainHost.match(host).hasMatch() ? u"http://"_s + host + u'/' : m_fallbackRoot;
}
