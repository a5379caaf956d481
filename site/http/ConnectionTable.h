#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>

#include <optional>

namespace Site {

// The connections a server holds, counted per client (see ClientKey) and in all, with the time
// each has for what it is doing. It decides who comes in, who gives way to a newcomer when the
// table is full, and who is too slow to keep; the server carries that out.
//
// A connection is waiting (for its first request head, or idle after an answer) or busy with a
// request, from its head to the end of its answer. A newcomer past its client's cap, or one
// that finds the table full of busy connections, is let in only to be told it is busy, while
// there is room for that; past that it is dropped. A trusted proxy's connections are counted
// as its own, against a cap of their own; while one carries a request, it counts for the
// client the proxy forwarded it for as well.
class ConnectionTable
{
public:
    // Connections let in past a cap only to be told so, rather than dropped unanswered.
    static constexpr int RefusalRoom = 16;

    struct Limits
    {
        int maxConnections = 1000;
        int maxPerClient = 64;
        int maxPerProxy = 1000;
        qint64 headMs = 10'000;  // to send a whole request head
        qint64 idleMs = 60'000;  // after an answer, before the next head's time starts
        // A body must come at this rate on average, after a first stretch that lets a slow
        // start and a small body through.
        qint64 bodyGraceMs = 10'000;
        qint64 minBodyBytesPerSecond = 2048;
    };

    using Id = const void *;

    enum class Refusal {
        None,
        TableFull,  // every connection is busy
        ClientCap,  // the client holds as many as it may
        ProxyCap,   // a trusted proxy holds as many as it may
    };

    struct Admission
    {
        bool admitted = true;             // false: drop the connection unanswered
        Refusal refusal = Refusal::None;  // the reason to answer busy, or to drop
        Id givesWay = nullptr;            // a connection left out of the table for this one; close it
    };

    enum class Lateness { Head, Body };

    explicit ConnectionTable(const Limits &limits);

    const Limits &limits() const { return m_limits; }
    qsizetype size() const { return m_entries.size(); }
    // Connections counted for a client or proxy, forwarded requests included.
    int countFor(const QHostAddress &key) const { return m_counts.value(key); }

    // Decides on a newcomer from this key; a connection that gives way is out of the table already.
    Admission admit(const QHostAddress &key, bool proxy);
    // Records a newcomer let in, with the refusal its admission gave.
    void add(Id id, const QHostAddress &key, bool proxy, Refusal refusal, qint64 nowMs);
    // The connection's request head is in. For a proxy's connection, the key of the client it
    // forwards the request for; false when that client is past its cap.
    bool headArrived(Id id, const std::optional<QHostAddress> &forwardedFor);
    void bodyStarted(Id id, qint64 nowMs);
    void bodyReceived(Id id, qint64 bytes);
    void bodyEnded(Id id);
    void requestEnded(Id id, qint64 nowMs);
    void remove(Id id);
    // Connections past their time, each named once.
    QList<std::pair<Id, Lateness>> late(qint64 nowMs);

private:
    struct Entry
    {
        QHostAddress key;
        bool proxy = false;
        bool overCap = false;  // told busy, then closed
        bool busy = false;
        bool idle = false;     // waiting after an answer, not for its first head
        bool closing = false;  // named late
        qint64 waitingSinceMs = 0;
        std::optional<QHostAddress> forwardedFor;
        qint64 bodySinceMs = -1;  // -1 while no body is read
        qint64 bodyBytes = 0;
    };

    Id victim() const;
    void count(const QHostAddress &key, int change);

    Limits m_limits;
    QHash<Id, Entry> m_entries;
    QHash<QHostAddress, int> m_counts;
};

}  // namespace Site
