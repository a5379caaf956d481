#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>

// How often one client address may post: at most count times within any window of time.
// Addresses that have not posted within a window are forgotten, so a flood of addresses
// costs memory only for one window.
class PostLimit
{
public:
    // A count of 0 sets no limit.
    PostLimit(int count, qint64 windowMs);

    // True, and counted, when the address may post at nowMs (milliseconds on any steady clock).
    bool tryTake(const QHostAddress &address, qint64 nowMs);
    // Whole seconds until the address may post again; 0 when it may now.
    qint64 secondsToWait(const QHostAddress &address, qint64 nowMs) const;

private:
    void forgetOlderThan(qint64 ms);

    int m_count;
    qint64 m_windowMs;
    QHash<QHostAddress, QList<qint64>> m_times;  // per address, oldest first, within the last window
    qint64 m_lastSweep = 0;
};
