#pragma once

#include "site/log/AccessLog.h"

#include <QList>
#include <QMutex>
#include <QWaitCondition>

#include <atomic>
#include <memory>

class QThread;

namespace Site {

// Writes the access log on standard output from a thread of its own, so that an output that
// is slow or not read at all never stops the site. The requests' entries wait in a queue of
// bounded size; past it they are dropped, and how many went is logged once the output takes
// lines again. Lines go out in batches: a write for each would cost a fifth of the requests a
// second, and none waits longer than the flush interval. What is queued when the writer goes
// is written, if the output takes it within a second.
class AccessLogWriter
{
public:
    // Of the entries' text waiting to be written.
    static constexpr qsizetype MaxQueuedBytes = 1024 * 1024;

    // Writes to the descriptor, by default standard output's.
    explicit AccessLogWriter(int descriptor = 1);
    ~AccessLogWriter();
    AccessLogWriter(const AccessLogWriter &) = delete;
    AccessLogWriter &operator=(const AccessLogWriter &) = delete;

    // Never waits for the output.
    void write(const AccessLog::Entry &entry);

private:
    void run();
    // 0 once written, else the system's error; ETIMEDOUT when the output did not take them
    // within the time left to stop.
    int writeOut(QByteArrayView bytes);

    int m_descriptor;
    QMutex m_mutex;
    QWaitCondition m_queued;
    QList<AccessLog::Entry> m_queue;
    qsizetype m_queuedBytes = 0;
    qint64 m_dropped = 0;
    std::atomic<bool> m_stopping = false;
    std::unique_ptr<QThread> m_thread;
};

}  // namespace Site
