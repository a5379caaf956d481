#pragma once

#include "site/http/HttpAnswer.h"
#include "site/http/HttpDaemon.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace Site {

class RouteContext;
class SiteStore;

// Sends the site's files once the store says they may be had: straight from disk, or named to
// the proxy in front, which then sends them itself. A single byte range is answered with 206
// and only that part, unless If-Range names another version of the file; a range that starts
// past the end gets 416. Every answer carries the file's ETag and Last-Modified, and the SHA-256
// of the whole file (Repr-Digest), ranged or not, so that a client can check what it joined
// from several.
class FileSender
{
public:
    // The refusal when the file may not be had, asked on a worker.
    using MayHave = std::function<std::optional<HttpAnswer>(SiteStore &store)>;

    explicit FileSender(RouteContext &context)
        : m_context(context)
    {
    }

    // Files are not sent but handed to the proxy in front: their answer names the file as
    // prefix + its path below the files folder in X-Accel-Redirect, with the type and the
    // headers the site decides, and the proxy sends it with ranges and validators of its own.
    void setAccelRedirect(const QByteArray &prefix) { m_accelPrefix = prefix; }

    // The file at relativePath below folder, with headers besides its own.
    HttpDaemon::HeadDecision send(const HttpRequest &request, const QString &folder, const QString &relativePath,
                                  const MayHave &mayHave, const HttpAnswer::Headers &headers = {});

private:
    HttpAnswer answer(const QByteArray &range, const QByteArray &ifRange, const QString &path, const QString &below,
                      const std::optional<QByteArray> &sha256, const HttpAnswer::Headers &headers) const;
    // The SHA-256 of a file below the files folder, taken now and kept; nothing when the file
    // cannot be read: the answer then names no digest.
    static std::optional<QByteArray> takeDigest(SiteStore &store, const QString &below, const QString &path);

    RouteContext &m_context;
    QByteArray m_accelPrefix;  // empty: the site sends files itself
};

}  // namespace Site
