#include "site/log/AccessLogWriter.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <optional>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace Site {

namespace {

constexpr qsizetype BatchBytes = 32 * 1024;
constexpr int FlushMs = 100;
// How long the last lines may take once the writer is to stop.
constexpr int StopMs = 1000;
// A pipe that says it takes more takes this much without blocking.
constexpr qsizetype PipeBytes = 4096;

// About what the entry's line takes.
qsizetype lineBytes(const AccessLog::Entry &entry)
{
    return 120 + entry.target.size() + entry.referrer.size() + entry.userAgent.size();
}

}  // namespace

AccessLogWriter::AccessLogWriter(int descriptor)
    : m_descriptor(descriptor)
    , m_thread(QThread::create([this] { run(); }))
{
    m_thread->start();
}

AccessLogWriter::~AccessLogWriter()
{
    {
        QMutexLocker locker(&m_mutex);
        m_stopping = true;
        m_queued.wakeOne();
    }
    m_thread->wait();
}

void AccessLogWriter::write(const AccessLog::Entry &entry)
{
    const qsizetype bytes = lineBytes(entry);
    QMutexLocker locker(&m_mutex);
    if (m_queuedBytes + bytes > MaxQueuedBytes) {
        ++m_dropped;
        return;
    }
    // The writer is woken for the first line of a batch and once a batch is full, not for each.
    const bool wakes = m_queue.isEmpty() || (m_queuedBytes < BatchBytes && m_queuedBytes + bytes >= BatchBytes);
    m_queue.append(entry);
    m_queuedBytes += bytes;
    if (wakes)
        m_queued.wakeOne();
}

void AccessLogWriter::run()
{
    for (;;) {
        QList<AccessLog::Entry> batch;
        qint64 dropped = 0;
        {
            QMutexLocker locker(&m_mutex);
            while (m_queue.isEmpty() && !m_stopping)
                m_queued.wait(&m_mutex);
            const QDeadlineTimer flush(FlushMs);
            while (m_queuedBytes < BatchBytes && !m_stopping && m_queued.wait(&m_mutex, flush)) { }
            if (m_queue.isEmpty())
                return;
            batch.swap(m_queue);
            m_queuedBytes = 0;
            dropped = std::exchange(m_dropped, 0);
        }
        QByteArray lines;
        for (const AccessLog::Entry &entry : std::as_const(batch))
            lines += AccessLog::line(entry);
        if (const int error = writeOut(lines)) {
            // What comes after is dropped, the queue kept to its bound.
            if (error == ETIMEDOUT)
                qWarning("the access log lost %lld lines: standard output did not take them before the site stopped",
                         qint64(batch.size()) + dropped);
            else
                qWarning("the access log stopped: cannot write on standard output: %s", std::strerror(error));
            return;
        }
        if (dropped > 0)
            qWarning("the access log dropped %lld lines: standard output took them slower than they came", dropped);
    }
}

int AccessLogWriter::writeOut(QByteArrayView bytes)
{
    std::optional<QDeadlineTimer> stop;
    while (!bytes.isEmpty()) {
        if (m_stopping && !stop)
            stop = QDeadlineTimer(StopMs);
        if (stop && stop->hasExpired())
            return ETIMEDOUT;
        // Waits for room a while at a time, to see whether it is to stop meanwhile.
        pollfd output{m_descriptor, POLLOUT, 0};
        const int ready = ::poll(&output, 1, FlushMs);
        if (ready < 0 && errno != EINTR)
            return errno;
        if (ready <= 0)
            continue;
        if (output.revents & POLLNVAL)
            return EBADF;
        // An error shows in the write.
        const ssize_t written = ::write(m_descriptor, bytes.data(), size_t(std::min(bytes.size(), PipeBytes)));
        if (written < 0 && errno != EINTR && errno != EAGAIN)
            return errno;
        if (written > 0)
            bytes = bytes.sliced(written);
    }
    return 0;
}

}  // namespace Site
