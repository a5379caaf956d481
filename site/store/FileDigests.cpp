#include "site/store/FileDigests.h"

#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"

#include <QDateTime>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Site {

// A file replaced under the same name has another size or time, and so another version.
QString FileDigests::version(const QString &filePath) const
{
    const QFileInfo file(m_filesFolder.filePath(filePath));
    return u"%1 %2"_s.arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
}

Result<std::optional<QByteArray>, StoreError> FileDigests::find(const QString &filePath) const
{
    auto query = SqlQuery::run(m_connection.database(),
                               u"SELECT sha256 FROM file_digests WHERE file_path = ? AND version = ?"_s,
                               {filePath, version(filePath)});
    if (!query)
        return Failure(query.error());
    if (!query->next())
        return std::optional<QByteArray>();
    return std::optional<QByteArray>(QByteArray::fromHex(query->value(0).toString().toLatin1()));
}

Result<void, StoreError> FileDigests::keep(const QString &filePath, const QByteArray &sha256)
{
    const auto kept = SqlQuery::run(m_connection.database(),
                                    u"INSERT INTO file_digests (file_path, sha256, version) VALUES (?, ?, ?)"
                                    " ON CONFLICT (file_path) DO UPDATE SET sha256 = excluded.sha256,"
                                    " version = excluded.version"_s,
                                    {filePath, QString::fromLatin1(sha256.toHex()), version(filePath)});
    if (!kept)
        return Failure(kept.error());
    return {};
}

Result<std::optional<QString>, StoreError> FileDigests::fileWith(const QByteArray &sha256, const QString &folder) const
{
    auto query = SqlQuery::run(m_connection.database(), u"SELECT file_path, version FROM file_digests WHERE sha256 = ?"_s,
                               {QString::fromLatin1(sha256.toHex())});
    if (!query)
        return Failure(query.error());
    while (query->next()) {
        const QString filePath = query->value(0).toString();
        if (filePath.startsWith(folder) && query->value(1).toString() == version(filePath))
            return std::optional<QString>(filePath);
    }
    return std::optional<QString>();
}

}  // namespace Site
