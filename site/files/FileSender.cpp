#include "site/files/FileSender.h"

#include "common/ReprDigest.h"
#include "common/Sha256.h"
#include "site/http/ByteRange.h"
#include "site/routes/RouteContext.h"
#include "site/store/SiteStore.h"
#include "site/store/StoredPath.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>

using namespace Qt::StringLiterals;

namespace Site {

// A file whose digest the store does not keep (an official file before its first download,
// a file changed on disk) has it taken on a worker first, and kept.
HttpDaemon::HeadDecision FileSender::send(const HttpRequest &request, const QString &folder, const QString &relativePath,
                                          const MayHave &mayHave, const HttpAnswer::Headers &headers)
{
    const QString filesFolder = m_context.store().filesFolder();
    const QByteArray range = request.header("Range");
    const QByteArray ifRange = request.header("If-Range");
    const QString root = m_context.root();
    const PendingAnswer pending = m_context.answerLater(request);
    StorePool &pool = m_context.pool();
    pool.run(StorePool::Work::Lookup, [=, this, &pool](SiteStore &store) -> StorePool::Done {
        std::optional<HttpAnswer> refusal = mayHave(store);
        const std::optional<QString> path = refusal ? std::nullopt : StoredPath::locate(folder, relativePath);
        if (!refusal && !path)
            refusal = RouteContext::notFound(root);
        if (refusal)
            return [pending, answer = *refusal] { pending.answer(answer); };
        const QString below = QDir(QFileInfo(filesFolder).canonicalFilePath()).relativeFilePath(*path);
        const auto kept = store.fileDigest(below);
        if (!kept)
            qWarning().noquote() << "cannot read the digest of" << below << ':' << kept.error().text;
        if (!kept || *kept) {
            const std::optional<QByteArray> sha256 = kept ? *kept : std::nullopt;
            return [=, this] { pending.answer(answer(range, ifRange, *path, below, sha256, headers)); };
        }
        return [=, this, &pool] {
            pool.run(StorePool::Work::Write, [=, this](SiteStore &store) -> StorePool::Done {
                const std::optional<QByteArray> sha256 = takeDigest(store, below, *path);
                return [=, this] { pending.answer(answer(range, ifRange, *path, below, sha256, headers)); };
            });
        };
    });
    return pending;
}

HttpAnswer FileSender::answer(const QByteArray &rangeAsked, const QByteArray &ifRange, const QString &path,
                              const QString &below, const std::optional<QByteArray> &sha256,
                              const HttpAnswer::Headers &headers) const
{
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return m_context.notFound();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    QByteArray mimeType = type.name().toUtf8();
    if (type.inherits(u"text/plain"_s))
        mimeType += "; charset=utf-8";

    HttpAnswer::Headers digest;
    if (sha256)
        digest.append({"Repr-Digest", ReprDigest::fieldValue(*sha256)});
    if (!m_accelPrefix.isEmpty()) {
        // Percent-encoded: the proxy decodes the path, and names may hold spaces or '?'.
        HttpAnswer answer = HttpAnswer::text({}, mimeType, HttpAnswer::Ok, headers);
        answer.headers.append({"X-Accel-Redirect", m_accelPrefix + '/' + QUrl::toPercentEncoding(below, "/")});
        answer.headers.append(digest);
        return answer;
    }
    const ByteRange::Version version = ByteRange::versionOf(file->size(),
                                                            file->fileTime(QFileDevice::FileModificationTime));
    const ByteRange range = ByteRange::select(rangeAsked, ifRange, file->size(), version);
    HttpAnswer answer;
    answer.headers = {{"Accept-Ranges", "bytes"}, {"ETag", version.etag}, {"Last-Modified", version.lastModified}};
    answer.headers.append(digest);
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        answer.status = HttpAnswer::RangeNotSatisfiable;
        answer.headers.append({"Content-Range", range.contentRange()});
        return answer;
    }
    answer.headers.append({"Content-Type", mimeType});
    answer.headers.append(headers);
    if (range.kind == ByteRange::Kind::Span) {
        answer.status = HttpAnswer::PartialContent;
        answer.headers.append({"Content-Range", range.contentRange()});
    }
    answer.file = HttpAnswer::FileSpan{std::move(file), range.first, range.length};
    return answer;
}

std::optional<QByteArray> FileSender::takeDigest(SiteStore &store, const QString &below, const QString &path)
{
    QFile file(path);
    Sha256 digest;
    if (!file.open(QIODevice::ReadOnly) || !digest.addData(file)) {
        qWarning().noquote() << "cannot read" << path << "to take its digest:" << file.errorString();
        return std::nullopt;
    }
    const QByteArray sha256 = digest.result();
    if (const auto noted = store.setFileDigest(below, sha256); !noted)
        qWarning().noquote() << "cannot keep the digest of" << below << ':' << noted.error().text;
    return sha256;
}

}  // namespace Site
