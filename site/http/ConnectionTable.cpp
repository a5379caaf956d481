#include "site/http/ConnectionTable.h"

namespace Site {

ConnectionTable::ConnectionTable(const Limits &limits)
    : m_limits(limits)
{
}

ConnectionTable::Admission ConnectionTable::admit(const QHostAddress &key, bool proxy)
{
    const int cap = proxy ? m_limits.maxPerProxy : m_limits.maxPerClient;
    const int held = countFor(key);
    const bool roomToRefuse = size() < m_limits.maxConnections + RefusalRoom;
    // Nothing gives way to a client that holds its share already.
    if (held >= cap)
        return {roomToRefuse && held < cap + RefusalRoom, proxy ? Refusal::ProxyCap : Refusal::ClientCap, nullptr};
    if (size() < m_limits.maxConnections)
        return {};
    if (const Id waiting = victim()) {
        remove(waiting);
        return {true, Refusal::None, waiting};
    }
    return {roomToRefuse, Refusal::TableFull, nullptr};
}

// Idle keep-alive connections go first, the longest idle before the others; then heads that
// are not in yet, the oldest first. A busy connection never gives way.
ConnectionTable::Id ConnectionTable::victim() const
{
    Id found = nullptr;
    const Entry *chosen = nullptr;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        const Entry &entry = it.value();
        if (entry.busy || entry.overCap || entry.closing)
            continue;
        const bool before = !chosen
            || (entry.idle != chosen->idle ? entry.idle : entry.waitingSinceMs < chosen->waitingSinceMs);
        if (before) {
            found = it.key();
            chosen = &entry;
        }
    }
    return found;
}

void ConnectionTable::add(Id id, const QHostAddress &key, bool proxy, Refusal refusal, qint64 nowMs)
{
    Entry entry;
    entry.key = key;
    entry.proxy = proxy;
    entry.overCap = refusal != Refusal::None;
    entry.waitingSinceMs = nowMs;
    m_entries.insert(id, entry);
    count(key, 1);
}

bool ConnectionTable::headArrived(Id id, const std::optional<QHostAddress> &forwardedFor)
{
    const auto it = m_entries.find(id);
    if (it == m_entries.end())
        return true;
    it->busy = true;
    if (!it->proxy || !forwardedFor)
        return true;
    it->forwardedFor = forwardedFor;
    count(*forwardedFor, 1);
    return countFor(*forwardedFor) <= m_limits.maxPerClient;
}

void ConnectionTable::bodyStarted(Id id, qint64 nowMs)
{
    if (const auto it = m_entries.find(id); it != m_entries.end()) {
        it->bodySinceMs = nowMs;
        it->bodyBytes = 0;
    }
}

void ConnectionTable::bodyReceived(Id id, qint64 bytes)
{
    if (const auto it = m_entries.find(id); it != m_entries.end())
        it->bodyBytes += bytes;
}

void ConnectionTable::bodyEnded(Id id)
{
    if (const auto it = m_entries.find(id); it != m_entries.end())
        it->bodySinceMs = -1;
}

void ConnectionTable::requestEnded(Id id, qint64 nowMs)
{
    const auto it = m_entries.find(id);
    if (it == m_entries.end())
        return;
    if (it->forwardedFor)
        count(*it->forwardedFor, -1);
    it->forwardedFor.reset();
    it->busy = false;
    it->idle = true;
    it->waitingSinceMs = nowMs;
    it->bodySinceMs = -1;
}

void ConnectionTable::remove(Id id)
{
    const auto it = m_entries.find(id);
    if (it == m_entries.end())
        return;
    count(it->key, -1);
    if (it->forwardedFor)
        count(*it->forwardedFor, -1);
    m_entries.erase(it);
}

QList<std::pair<ConnectionTable::Id, ConnectionTable::Lateness>> ConnectionTable::late(qint64 nowMs)
{
    QList<std::pair<Id, Lateness>> found;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        Entry &entry = it.value();
        if (entry.closing)
            continue;
        if (!entry.busy) {
            const qint64 deadline = entry.waitingSinceMs + m_limits.headMs + (entry.idle ? m_limits.idleMs : 0);
            if (nowMs > deadline)
                found.append({it.key(), Lateness::Head});
        } else if (entry.bodySinceMs >= 0) {
            // What the body has brought buys it time at the least rate, beyond the first stretch.
            const qint64 earnedMs = entry.bodyBytes * 1000 / m_limits.minBodyBytesPerSecond;
            if (nowMs - entry.bodySinceMs > m_limits.bodyGraceMs + earnedMs)
                found.append({it.key(), Lateness::Body});
        }
    }
    for (const auto &[id, lateness] : std::as_const(found))
        m_entries[id].closing = true;
    return found;
}

void ConnectionTable::count(const QHostAddress &key, int change)
{
    int &held = m_counts[key];
    held += change;
    if (held <= 0)
        m_counts.remove(key);
}

}  // namespace Site
