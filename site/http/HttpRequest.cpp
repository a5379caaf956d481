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

int HttpRequest::headerCount(const char *name) const
{
    struct Count
    {
        const char *name;
        int found = 0;
    } count{name};
    MHD_get_connection_values(
        m_connection, MHD_HEADER_KIND,
        [](void *cls, MHD_ValueKind, const char *key, const char *) {
            auto *count = static_cast<Count *>(cls);
            if (qstricmp(key, count->name) == 0)
                ++count->found;
            return MHD_YES;
        },
        &count);
    return count.found;
}
