#include "site/store/HeldUploads.h"

#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"

using namespace Qt::StringLiterals;

namespace Site {

Result<qint64, StoreError> HeldUploads::add(const HeldUpload &upload)
{
    const SiteResource &entry = upload.entry;
    const auto id = SqlQuery::single(
        m_connection.database(),
        u"INSERT INTO held_uploads (category, title, remark, address, file_name, held_name, sha256, size, held_at)"
        " VALUES (?, ?, COALESCE(?, ''), COALESCE(?, ''), ?, ?, ?, ?, ?) RETURNING id"_s,
        {entry.category, entry.title, entry.remark, entry.address, upload.fileName, upload.heldName,
         QString::fromLatin1(upload.sha256.toHex()), upload.size, upload.heldAt});
    if (!id)
        return Failure(id.error());
    return id->toLongLong();
}

Result<QList<HeldUpload>, StoreError> HeldUploads::all() const
{
    auto query = SqlQuery::run(m_connection.database(),
                               u"SELECT id, category, title, remark, address, file_name, held_name, sha256, size, held_at"
                               " FROM held_uploads ORDER BY id"_s);
    if (!query)
        return Failure(query.error());
    QList<HeldUpload> held;
    while (query->next()) {
        HeldUpload upload;
        upload.id = query->value(0).toLongLong();
        upload.entry.catalogue = Catalogue::User;
        upload.entry.category = query->value(1).toString();
        upload.entry.title = query->value(2).toString();
        upload.entry.remark = query->value(3).toString();
        upload.entry.address = query->value(4).toString();
        upload.fileName = query->value(5).toString();
        upload.heldName = query->value(6).toString();
        upload.sha256 = QByteArray::fromHex(query->value(7).toString().toLatin1());
        upload.size = query->value(8).toLongLong();
        upload.heldAt = query->value(9).toString();
        held.append(upload);
    }
    return held;
}

Result<bool, StoreError> HeldUploads::remove(qint64 id)
{
    const auto removed = SqlQuery::change(m_connection.database(), u"DELETE FROM held_uploads WHERE id = ?"_s, {id});
    if (!removed)
        return Failure(removed.error());
    return *removed == 1;
}

}  // namespace Site
