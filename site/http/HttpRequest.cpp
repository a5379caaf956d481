#include "site/http/HttpRequest.h"

#include <QRegularExpression>

#include <microhttpd.h>

namespace Site {

namespace {

// The target split by hand: QUrl would read "//host/path" as a host.
QUrl targetUrl(const QByteArray &target)
{
    const qsizetype question = target.indexOf('?');
    QUrl url;
    url.setPath(QString::fromLatin1(target.first(question < 0 ? target.size() : question)), QUrl::TolerantMode);
    if (question >= 0)
        url.setQuery(QString::fromLatin1(target.sliced(question + 1)), QUrl::TolerantMode);
    return url;
}

// HTTP/1.1 servers take a target in absolute form ("http://host/path?query") as well as a
// path; any other scheme's is no address of this site and is left to be read as a path.
std::optional<std::pair<QByteArray, QByteArray>> splitAbsolute(const QByteArray &target)
{
    // Nearly every target is a path: it is told at its first byte.
    if (target.startsWith('/'))
        return std::nullopt;
    static const QRegularExpression absolute(QStringLiteral("^https?://([^/?#]*)(.*)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = absolute.match(QString::fromLatin1(target));
    if (!match.hasMatch())
        return std::nullopt;
    QByteArray rest = match.captured(2).toLatin1();
    if (!rest.startsWith('/'))
        rest.prepend('/');
    return std::pair{match.captured(1).toLatin1(), rest};
}

// Spaces and tabs around a field value are not part of it; the library drops those before it only.
QByteArray withoutSpaces(const char *value)
{
    QByteArrayView view(value);
    while (!view.isEmpty() && (view.front() == ' ' || view.front() == '\t'))
        view = view.sliced(1);
    while (!view.isEmpty() && (view.back() == ' ' || view.back() == '\t'))
        view.chop(1);
    return view.toByteArray();
}

}  // namespace

HttpRequest::HttpRequest(MHD_Connection *connection, const QByteArray &method, const QByteArray &target,
                         const QHostAddress &peer)
    : m_connection(connection)
    , m_method(method)
    , m_target(target)
    , m_peer(peer)
{
    if (const auto absolute = splitAbsolute(target)) {
        m_authority = absolute->first;
        m_url = targetUrl(absolute->second);
    } else {
        m_url = targetUrl(target);
    }
}

std::optional<QByteArray> HttpRequest::host() const
{
    if (m_authority)
        return m_authority;
    if (!hasHeader("Host"))
        return std::nullopt;
    return header("Host");
}

QByteArray HttpRequest::header(const char *name) const
{
    const char *value = MHD_lookup_connection_value(m_connection, MHD_HEADER_KIND, name);
    return value ? withoutSpaces(value) : QByteArray();
}

bool HttpRequest::hasHeader(const char *name) const
{
    return MHD_lookup_connection_value(m_connection, MHD_HEADER_KIND, name) != nullptr;
}

QList<QByteArray> HttpRequest::headerValues(const char *name) const
{
    struct Values
    {
        const char *name;
        QList<QByteArray> found;
    } values{name, {}};
    MHD_get_connection_values(
        m_connection, MHD_HEADER_KIND,
        [](void *cls, MHD_ValueKind, const char *key, const char *value) {
            auto *values = static_cast<Values *>(cls);
            if (qstricmp(key, values->name) == 0)
                values->found.append(withoutSpaces(value));
            return MHD_YES;
        },
        &values);
    return values.found;
}

}  // namespace Site
