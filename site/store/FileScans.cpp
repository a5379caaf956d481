#include "site/store/FileScans.h"

#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"

using namespace Qt::StringLiterals;

namespace Site {

Result<std::optional<FileScans::Verdict>, StoreError> FileScans::find(const QByteArray &sha256) const
{
    auto query = SqlQuery::run(m_connection.database(),
                               u"SELECT signature, scanned_at FROM file_scans WHERE sha256 = ?"_s,
                               {QString::fromLatin1(sha256.toHex())});
    if (!query)
        return Failure(query.error());
    if (!query->next())
        return std::optional<Verdict>();
    return std::optional<Verdict>(Verdict{query->value(0).toString(), query->value(1).toString()});
}

Result<void, StoreError> FileScans::keep(const QByteArray &sha256, const Verdict &verdict)
{
    const auto kept = SqlQuery::run(m_connection.database(),
                                    u"INSERT INTO file_scans (sha256, signature, scanned_at) VALUES (?, COALESCE(?, ''), ?)"
                                    " ON CONFLICT (sha256) DO UPDATE SET signature = excluded.signature,"
                                    " scanned_at = excluded.scanned_at"_s,
                                    {QString::fromLatin1(sha256.toHex()), verdict.signature, verdict.scannedAt});
    if (!kept)
        return Failure(kept.error());
    return {};
}

}  // namespace Site
