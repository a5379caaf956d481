#pragma once

#include "common/Result.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace Site {

// The addresses the site is reached by, as scheme, host, port and the path the site is served
// under ("/" unless a proxy in front puts it below one, as "/share/"). A request naming another
// host is not for this site (a page elsewhere may have pointed its own name at our address),
// and a post sent from a page of another origin is not taken.
class Origins
{
public:
    // From "--origin" values such as "https://example.org", "http://10.0.0.5:8642/" or
    // "https://example.org/share/" (the last "/" may be left out); the message names the first
    // value that is not an http or https address with at most a plain path.
    static Result<Origins, QString> fromList(const QStringList &urls);
    // The listening address and port, with localhost and [::1] on that port.
    static Origins forAddress(const QString &address, quint16 port);

    // Whether a Host header names one of the origins; a Host without a port means the
    // scheme's own port, and one that is not a plain host and port is never taken.
    bool acceptsHost(QByteArrayView host) const;
    // Whether a post comes from a page of one of the origins, scheme included, going by its
    // Origin header or, without one, its Referer. A post naming neither comes from a script
    // or a tool, not from a visitor's browser, and is taken.
    bool isSameOrigin(QByteArrayView origin, QByteArrayView referer) const;
    // The first origin with its path, ending in "/", which pages link from.
    const QString &root() const { return m_root; }
    // The first origin's path alone ("/" or "/share/"), for links that stay on whatever host
    // the browser used.
    QString rootPath() const;
    // A request's path (decoded) as the site's routes know it: without the path of an origin
    // it starts with, or as it is when a proxy in front has taken that path off already.
    QString pathBelow(const QString &path) const;

private:
    struct Origin
    {
        QString scheme;
        QString host;  // as QUrl normalises it: lower case, IPv6 without brackets
        int port;
        QString path;          // decoded, starting and ending with "/"
        QByteArray hostField;  // the Host header a browser sends for it; empty when not plain
    };

    // Adds an origin of these parts, host as QUrl normalises it.
    void add(const QString &scheme, const QString &host, int port, const QString &path);
    static int defaultPort(const QString &scheme);
    bool contains(const QString &scheme, const QString &host, int port) const;

    QList<Origin> m_origins;
    QString m_root;  // of the first
};

}  // namespace Site
