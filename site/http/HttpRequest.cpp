#include "site/http/HttpRequest.h"

#include <microhttpd.h>

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

} // namespace

HttpRequest::HttpRequest(MHD_Connection *connection, const QByteArray &method, const QByteArray &target,
                         const QHostAddress &peer)
    : m_connection(connection)
    , m_method(method)
    , m_target(target)
    , m_url(targetUrl(target))
    , m_peer(peer)
{
}

QByteArray HttpRequest::header(const char *name) const
{
    return QByteArray(MHD_lookup_connection_value(m_connection, MHD_HEADER_KIND, name));
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
                values->found.append(QByteArray(value));
            return MHD_YES;
        },
        &values);
    return values.found;
}
