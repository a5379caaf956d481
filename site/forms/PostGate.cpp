#include "site/forms/PostGate.h"

#include "site/http/ClientKey.h"
#include "site/store/SiteStore.h"

#include <QDateTime>
#include <QDebug>

namespace Site {

PostGate::Decision PostGate::enter(SiteStore &store, PostAllowance::Kind kind, const QHostAddress &peer) const
{
    if (isBlocked(store, peer))
        return {Verdict::Blocked};
    const Allowance &limit = allowance(kind);
    const auto taken = store.takePost(kind, ClientKey::of(peer), QDateTime::currentMSecsSinceEpoch(), limit.count,
                                      limit.windowMs);
    if (!taken) {
        qCritical().noquote() << "cannot count the posts of" << peer.toString() << taken.error().text;
        return {Verdict::StoreFailed};
    }
    if (!*taken)
        return {Verdict::TooFrequent, secondsToWait(store, kind, peer)};
    return {};
}

PostGate::Decision PostGate::look(const SiteStore &store, PostAllowance::Kind kind, const QHostAddress &peer) const
{
    if (isBlocked(store, peer))
        return {Verdict::Blocked};
    if (const qint64 wait = secondsToWait(store, kind, peer); wait > 0)
        return {Verdict::TooFrequent, wait};
    return {};
}

const PostGate::Allowance &PostGate::allowance(PostAllowance::Kind kind) const
{
    return kind == PostAllowance::Kind::Message ? m_messages : m_uploads;
}

// A store that cannot say lets the post through to the store, whose failure is then logged and shown.
bool PostGate::isBlocked(const SiteStore &store, const QHostAddress &peer) const
{
    const auto blocked = store.isBlocked(peer, QDateTime::currentDateTimeUtc());
    if (!blocked)
        qCritical().noquote() << "cannot read the blocked addresses:" << blocked.error().text;
    return blocked && *blocked;
}

// A store that cannot tell is logged; the post then fails where it is counted.
qint64 PostGate::secondsToWait(const SiteStore &store, PostAllowance::Kind kind, const QHostAddress &peer) const
{
    const Allowance &limit = allowance(kind);
    const auto wait = store.secondsToWait(kind, ClientKey::of(peer), QDateTime::currentMSecsSinceEpoch(), limit.count,
                                          limit.windowMs);
    if (!wait) {
        qCritical().noquote() << "cannot count the posts of" << peer.toString() << wait.error().text;
        return 0;
    }
    return *wait;
}

}  // namespace Site
