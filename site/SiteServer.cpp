#include "site/SiteServer.h"

#include "site/CatalogueRenderer.h"
#include "site/FileStreamer.h"
#include "site/HtmlPages.h"
#include "site/SiteStore.h"

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

} // namespace

SiteServer::SiteServer(SiteStore &store, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_store(store)
{
}

bool SiteServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (request.method() != QHttpServerRequest::Method::Get) {
        makeResponder(request, socket).write({{"Allow", "GET"}}, QHttpServerResponder::StatusCode::MethodNotAllowed);
        return true;
    }
    const QString path = request.url().path(QUrl::FullyDecoded);
    const QUrlQuery query(request.url());
    const QString root = rootFor(request);

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
    FileStreamer::stream(makeResponder(request, socket), std::move(file), mimeType);
    return true;
}

QString SiteServer::rootFor(const QHttpServerRequest &request) const
{
    // The Host header goes into links on every page, so only a plain host and port is taken.
    static const QRegularExpression plainHost(u"^([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:.]+\\])(:[0-9]{1,5})?$"_s);
    const QString host = QString::fromLatin1(request.value("Host"));
    return plainHost.match(host).hasMatch() ? u"http://"_s + host + u'/' : m_fallbackRoot;
}
