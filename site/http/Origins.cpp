#include "site/http/Origins.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// "", "/" or "/a/b/" with no empty, "." or ".." segment; nothing else names a place to serve from.
std::optional<QString> servedPath(const QString &path)
{
    if (path.isEmpty() || path == u"/"_s)
        return u"/"_s;
    const QString withSlash = path.endsWith(u'/') ? path : path + u'/';
    const QStringList segments = withSlash.sliced(1).chopped(1).split(u'/');
    const bool plain = withSlash.startsWith(u'/') && std::none_of(segments.begin(), segments.end(), [](const QString &s) {
                           return s.isEmpty() || s == u"."_s || s == u".."_s;
                       });
    return plain ? std::make_optional(withSlash) : std::nullopt;
}

}  // namespace

Result<Origins, QString> Origins::fromList(const QStringList &urls)
{
    Origins origins;
    for (const QString &text : urls) {
        const QUrl url(text, QUrl::StrictMode);
        const QString scheme = url.scheme();
        const std::optional<QString> path = servedPath(url.path(QUrl::FullyDecoded));
        if (!url.isValid() || (scheme != u"http"_s && scheme != u"https"_s) || url.host().isEmpty()
            || !url.userInfo().isEmpty() || !path || url.hasQuery() || url.hasFragment())
            return Failure(u"not an http or https origin: %1"_s.arg(text));
        origins.add(scheme, url.host(), url.port(defaultPort(scheme)), *path);
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
            origins.add(u"http"_s, url.host(), port, u"/"_s);
    }
    return origins;
}

// Encoded: the root goes into Location headers, which take ASCII only.
void Origins::add(const QString &scheme, const QString &host, int port, const QString &path)
{
    const bool otherPort = port != defaultPort(scheme);
    // Only a host of plain letters, digits and marks is written so; an international name is
    // left to be read.
    const bool plain = std::all_of(host.begin(), host.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u':';
    });
    QByteArray hostField;
    if (plain) {
        hostField = host.contains(u':') ? '[' + host.toLatin1() + ']' : host.toLatin1();
        if (otherPort)
            hostField += ':' + QByteArray::number(port);
    }
    m_origins.append({scheme, host, port, path, hostField});
    if (m_origins.size() > 1)
        return;
    QUrl url;
    url.setScheme(scheme);
    url.setHost(host);
    if (otherPort)
        url.setPort(port);
    url.setPath(path, QUrl::DecodedMode);
    m_root = url.toString(QUrl::FullyEncoded);
}

bool Origins::acceptsHost(QByteArrayView host) const
{
    // As browsers write it, a host is taken without reading it.
    if (std::any_of(m_origins.begin(), m_origins.end(),
                    [host](const Origin &origin) { return !origin.hostField.isEmpty() && host == origin.hostField; }))
        return true;
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

QString Origins::rootPath() const
{
    return m_origins.first().path;
}

QString Origins::pathBelow(const QString &path) const
{
    qsizetype longest = 0;
    for (const Origin &origin : m_origins) {
        if (origin.path.size() > longest + 1 && path.startsWith(origin.path))
            longest = origin.path.size() - 1;
    }
    return path.sliced(longest);
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

}  // namespace Site
