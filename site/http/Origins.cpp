#include "site/http/Origins.h"

#include <QRegularExpression>
#include <QUrl>

using namespace Qt::StringLiterals;

Result<Origins, QString> Origins::fromList(const QStringList &urls)
{
    Origins origins;
    for (const QString &text : urls) {
        const QUrl url(text, QUrl::StrictMode);
        const QString scheme = url.scheme();
        if (!url.isValid() || (scheme != u"http"_s && scheme != u"https"_s) || url.host().isEmpty()
            || !url.userInfo().isEmpty() || (!url.path().isEmpty() && url.path() != u"/"_s) || url.hasQuery()
            || url.hasFragment())
            return Failure(u"not an http or https origin: %1"_s.arg(text));
        origins.m_origins.append({scheme, url.host(), url.port(defaultPort(scheme))});
    }
    if (origins.m_origins.isEmpty())
        return Failure(u"no origin given"_s);
    return origins;
}

Origins Origins::forAddress(const QString &address, quint16 port)
{
    Origins origins;
    for (const QString &host : {address, u"localhost"_s, u"::1"_s}) {
        // Normalised the way a Host header is read; an address QUrl cannot hold is left out.
        QUrl url;
        url.setHost(host);
        if (!url.host().isEmpty())
            origins.m_origins.append({u"http"_s, url.host(), port});
    }
    return origins;
}

bool Origins::acceptsHost(QByteArrayView host) const
{
    static const QRegularExpression plainHost(u"^([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:.]+\\])(?::([0-9]{1,5}))?$"_s);
    const QRegularExpressionMatch match = plainHost.match(QString::fromLatin1(host));
    if (!match.hasMatch())
        return false;
    const QUrl url(u"http://"_s + match.captured(1), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const bool hasPort = match.capturedLength(2) > 0;
    const int port = match.captured(2).toInt();
    if (port > 65535)
        return false;
    for (const Origin &origin : m_origins) {
        if (origin.host == url.host() && origin.port == (hasPort ? port : defaultPort(origin.scheme)))
            return true;
    }
    return false;
}

bool Origins::isSameOrigin(QByteArrayView origin, QByteArrayView referer) const
{
    const QByteArrayView source = origin.isEmpty() ? referer : origin;
    if (source.isEmpty())
        return true;
    const QUrl from(QString::fromLatin1(source), QUrl::StrictMode);
    const QString scheme = from.scheme();
    if (!from.isValid() || from.host().isEmpty() || (scheme != u"http"_s && scheme != u"https"_s))
        return false;
    return contains(scheme, from.host(), from.port(defaultPort(scheme)));
}

QString Origins::root() const
{
    const Origin &first = m_origins.first();
    QUrl url;
    url.setScheme(first.scheme);
    url.setHost(first.host);
    if (first.port != defaultPort(first.scheme))
        url.setPort(first.port);
    url.setPath(u"/"_s);
    return url.toString();
}

int Origins::defaultPort(const QString &scheme)
{
    return scheme == u"https"_s ? 443 : 80;
}

bool Origins::contains(const QString &scheme, const QString &host, int port) const
{
    return std::any_of(m_origins.begin(), m_origins.end(), [&](const Origin &origin) {
        return origin.scheme == scheme && origin.host == host && origin.port == port;
    });
}
