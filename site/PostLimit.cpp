#include "site/PostLimit.h"

PostLimit::PostLimit(int count, qint64 windowMs)
    : m_count(count)
    , m_windowMs(windowMs)
{
}

bool PostLimit::tryTake(const QHostAddress &address, qint64 nowMs)
{
    if (m_count <= 0)
        return true;
    if (nowMs - m_lastSweep >= m_windowMs) {
        forgetOlderThan(nowMs - m_windowMs);
        m_lastSweep = nowMs;
    }
    if (secondsToWait(address, nowMs) > 0)
        return false;
    QList<qint64> &times = m_times[address];
    while (!times.isEmpty() && times.first() <= nowMs - m_windowMs)
        times.removeFirst();
    times.append(nowMs);
    return true;
}

qint64 PostLimit::secondsToWait(const QHostAddress &address, qint64 nowMs) const
{
    if (m_count <= 0)
        return 0;
    const QList<qint64> times = m_times.value(address);
    // Posts older than a window no longer count; the oldest of the last count posts decides.
    qsizetype recent = 0;
    for (const qint64 time : times)
        recent += time > nowMs - m_windowMs ? 1 : 0;
    if (recent < m_count)
        return 0;
    const qint64 freedAt = times.at(times.size() - m_count) + m_windowMs;
    return (freedAt - nowMs + 999) / 1000;
}

void PostLimit::forgetOlderThan(qint64 ms)
{
    for (auto it = m_times.begin(); it != m_times.end();) {
        if (it->isEmpty() || it->last() <= ms)
            it = m_times.erase(it);
        else
            ++it;
    }
}
