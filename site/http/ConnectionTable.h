#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>

// The connections a server holds, counted per client (see ClientKey) and in all, with the time
// each has for what it is doing. It decides who comes in, who gives way to a newcomer when the
// table is full, and who is too slow to keep; the server carries that out.
//
// A connection is waiting (for its first request head, or idle after an answer) or busy with a
// request, from its head to the end of its answer. A newcomer past its client's cap, or one
// that finds the table full of busy connections, is let in only to be told it is busy, while
// there is room for that; past that it is dropped.
class ConnectionTable
{
public:
    // Connections let in past a cap only to be told so, rather than dropped unanswered.
    static constexpr int RefusalRoom = 16;

    struct Limits
    {
        int maxConnections = 1000;
        int maxPerClient = 64;
        qint64 headMs = 10'000;  // to send a whole request head
        qint64 idleMs = 60'000;  // after an answer, before the next head's time starts
    };

    using Id = const void *;

    enum class Refusal {
        None,
        TableFull,  // every connection is busy
        ClientCap,  // the client holds as many as it may
    };

    struct Admission
    {
        bool admitted = true;  // false: drop the connection unanswered
        Refusal refusal = Refusal::None;  // the reason to answer busy, or to drop
        Id givesWay = nullptr;  // a connection left out of the table for this one; close it
    };

    explicit ConnectionTable(const Limits &limits);

    const Limits &limits() const { return m_limits; }
    qsizetype size() const { return m_entries.size(); }
    int countFor(const QHostAddress &key) const { return m_counts.value(key); }

    // Decides on a newcomer from this key; a connection that gives way is out of the table already.
    Admission admit(const QHostAddress &key);
    // Records a newcomer let in, with the refusal its admission gave.
    void add(Id id, const QHostAddress &key, Refusal refusal, qint64 nowMs);
    // The connection's request head is in.
    void headArrived(Id id);
    void requestEnded(Id id, qint64 nowMs);
    void remove(Id id);
    // Connections past their time, each named once.
    QList<Id> late(qint64 nowMs);

private:
    struct Entry
    {
        QHostAddress key;
        bool overCap = false;  // told busy, then closed
        bool busy = false;
        bool idle = false;  // waiting after an answer, not for its first head
        bool closing = false;  // named late
        qint64 waitingSinceMs = 0;
    };

    Id victim() const;
    void count(const QHostAddress &key, int change);

    Limits m_limits;
    QHash<Id, Entry> m_entries;
    QHash<QHostAddress, int> m_counts;
};
