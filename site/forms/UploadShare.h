#pragma once

#include "site/forms/UploadError.h"

#include <QHostAddress>

#include <optional>

namespace Site {

class SiteStore;

// An address's share of the disk uploads fill: so many bytes a day (an IPv6 client's /64
// sharing one), counted in the store with each upload so that every process sharing it agrees,
// and a reserve of free space that no upload may take, so the disk never fills. Asked on the
// store's workers, each with its store.
class UploadShare
{
public:
    static constexpr qint64 DefaultBytesPerDay = 500LL * 1024 * 1024;
    static constexpr qint64 DefaultReserveBytes = 1024LL * 1024 * 1024;

    struct Limits
    {
        qint64 bytesPerDay = DefaultBytesPerDay;  // 0 for no limit
        qint64 reserveBytes = DefaultReserveBytes;
    };

    explicit UploadShare(const Limits &limits)
        : m_limits(limits)
    {
    }

    const Limits &limits() const { return m_limits; }

    // Decided from a post's head, before any of its body is kept: a body that would take the
    // disk's reserve, or that no file could be small enough in to fit the client's day. A
    // store that cannot tell lets the upload come, to be counted where it is stored.
    std::optional<UploadError> refusalAtHead(const SiteStore &store, const QHostAddress &client, qint64 bodyBytes,
                                             qint64 nowMs) const;
    // Once an upload is on the disk, unnamed: whether the reserve is still free beside it.
    // Several arriving at once are each on the disk by then, so none is kept into the reserve.
    bool reserveKept(const SiteStore &store) const;
    // Whole seconds until the client's day has room for a file again.
    qint64 secondsUntilRoom(const SiteStore &store, const QHostAddress &client, qint64 nowMs) const;

private:
    static qint64 freeBytes(const SiteStore &store);

    Limits m_limits;
};

}  // namespace Site
