#include "site/http/ConnectionTable.h"

ConnectionTable::ConnectionTable(const Limits &limits)
    : m_limits(limits)
{
}

ConnectionTable::Admission ConnectionTable::admit(const QHostAddress &key)
{
    const int held = countFor(key);
    const bool roomToRefuse = size() < m_limits.maxConnections + RefusalRoom;
    // Nothing gives way to a client that holds its share already.
    if (held >= m_limits.maxPerClient)
        return {roomToRefuse && held < m_limits.maxPerClient + RefusalRoom, Refusal::ClientCap, nullptr};
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
        const bool before = !chosen || (entry.idle != chosen->idle ? entry.idle
                                                                   : entry.waitingSinceMs < chosen->waitingSinceMs);
        if (before) {
            found = it.key();
            chosen = &entry;
        }
    }
    return found;
}

void ConnectionTable::add(Id id, const QHostAddress &key, Refusal refusal, qint64 nowMs)
{
    Entry entry;
    entry.key = key;
    entry.overCap = refusal != Refusal::None;
    entry.waitingSinceMs = nowMs;
    m_entries.insert(id, entry);
    count(key, 1);
}

void ConnectionTable::headArrived(Id id)
{
    if (const auto it = m_entries.find(id); it != m_entries.end())
        it->busy = true;
}

void ConnectionTable::requestEnded(Id id, qint64 nowMs)
{
    const auto it = m_entries.find(id);
    if (it == m_entries.end())
        return;
    it->busy = false;
    it->idle = true;
    it->waitingSinceMs = nowMs;
}

void ConnectionTable::remove(Id id)
{
    const auto it = m_entries.find(id);
    if (it == m_entries.end())
        return;
    count(it->key, -1);
    m_entries.erase(it);
}

QList<ConnectionTable::Id> ConnectionTable::late(qint64 nowMs)
{
    QList<Id> found;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        Entry &entry = it.value();
        if (entry.closing || entry.busy)
            continue;
        const qint64 deadline = entry.waitingSinceMs + m_limits.headMs + (entry.idle ? m_limits.idleMs : 0);
        if (nowMs > deadline) {
            entry.closing = true;
            found.append(it.key());
        }
    }
    return found;
}

void ConnectionTable::count(const QHostAddress &key, int change)
{
    int &held = m_counts[key];
    held += change;
    if (held <= 0)
        m_counts.remove(key);
}
