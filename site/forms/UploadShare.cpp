#include "site/forms/UploadShare.h"

#include "site/store/SiteStore.h"

#include <QDebug>
#include <QStorageInfo>

namespace Site {

namespace {

// What a form may hold beside its file: the site takes a body that much larger than a file.
constexpr qint64 FormBytes = 64 * 1024;

}  // namespace

qint64 UploadShare::freeBytes(const SiteStore &store)
{
    // The folder exists once the site has taken a form with a file; before, its parent tells.
    QStorageInfo disk(store.uploadFolder());
    if (!disk.isValid())
        disk.setPath(store.filesFolder());
    return disk.bytesAvailable();
}

std::optional<UploadError> UploadShare::refusalAtHead(const SiteStore &store, const QHostAddress &client,
                                                      qint64 bodyBytes, qint64 nowMs) const
{
    const qint64 available = freeBytes(store);
    if (available >= 0 && available - bodyBytes < m_limits.reserveBytes)
        return UploadError::NoSpace;
    if (m_limits.bytesPerDay <= 0)
        return std::nullopt;
    const auto used = store.uploadedBytes(client, nowMs);
    if (!used) {
        qCritical().noquote() << "cannot count the uploaded bytes of" << client.toString() << ':' << used.error().text;
        return std::nullopt;
    }
    if (*used + std::max<qint64>(bodyBytes - FormBytes, 1) > m_limits.bytesPerDay)
        return UploadError::QuotaSpent;
    return std::nullopt;
}

bool UploadShare::reserveKept(const SiteStore &store) const
{
    const qint64 available = freeBytes(store);
    return available < 0 || available >= m_limits.reserveBytes;
}

qint64 UploadShare::secondsUntilRoom(const SiteStore &store, const QHostAddress &client, qint64 nowMs) const
{
    const auto seconds = store.secondsUntilUploadRoom(client, nowMs, 1, m_limits.bytesPerDay);
    if (!seconds) {
        qCritical().noquote() << "cannot count the uploaded bytes of" << client.toString() << ':' << seconds.error().text;
        return 0;
    }
    return *seconds;
}

}  // namespace Site
