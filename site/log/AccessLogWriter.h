#pragma once

#include "site/log/AccessLog.h"

#include <QByteArray>
#include <QTimer>

// Writes the access log's lines on standard output in batches: a write for each would cost a
// fifth of the requests a second, and none waits longer than the flush interval. What is left
// is written when the writer goes.
class AccessLogWriter
{
public:
    AccessLogWriter();
    ~AccessLogWriter();

    void write(const AccessLog::Entry &entry);
    void flush();

private:
    QByteArray m_lines;  // not yet written
    QTimer m_flush;
};
