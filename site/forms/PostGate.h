#pragma once

#include "site/store/PostAllowance.h"

#include <QtGlobal>

class QHostAddress;

namespace Site {

class SiteStore;

// Whether an address may post now: it is not blocked, and its allowance of posts of the kind
// within their window is not spent. Asked on a worker with its store; what decides is asked
// within the transaction that records the post, so that workers, and processes sharing the
// store, agree. An IPv6 client's allowance is its /64's.
class PostGate
{
public:
    struct Allowance
    {
        int count = 0;  // posts within the window; 0 for no limit
        qint64 windowMs = 0;
    };

    enum class Verdict { Open, Blocked, TooFrequent, StoreFailed };
    struct Decision
    {
        Verdict verdict = Verdict::Open;
        qint64 waitSeconds = 0;  // when too frequent: until the next post is allowed
    };

    PostGate(Allowance messages, Allowance uploads)
        : m_messages(messages)
        , m_uploads(uploads)
    {
    }

    // Counts the post when it may be made; within the transaction that records it.
    Decision enter(SiteStore &store, PostAllowance::Kind kind, const QHostAddress &peer) const;
    // The same, counting nothing: an upload is refused from its head, before its body.
    Decision look(const SiteStore &store, PostAllowance::Kind kind, const QHostAddress &peer) const;

private:
    const Allowance &allowance(PostAllowance::Kind kind) const;
    bool isBlocked(const SiteStore &store, const QHostAddress &peer) const;
    qint64 secondsToWait(const SiteStore &store, PostAllowance::Kind kind, const QHostAddress &peer) const;

    Allowance m_messages;
    Allowance m_uploads;
};

}  // namespace Site
