#include "site/log/AccessLogWriter.h"

#include <cstdio>

namespace {

constexpr qsizetype BatchBytes = 32 * 1024;
constexpr int FlushMs = 100;

} // namespace

AccessLogWriter::AccessLogWriter()
{
    m_flush.setSingleShot(true);
    m_flush.setInterval(FlushMs);
    QObject::connect(&m_flush, &QTimer::timeout, [this] { flush(); });
}

AccessLogWriter::~AccessLogWriter()
{
    flush();
}

void AccessLogWriter::write(const AccessLog::Entry &entry)
{
    m_lines += AccessLog::line(entry);
    if (m_lines.size() >= BatchBytes)
        flush();
    else if (!m_flush.isActive())
        m_flush.start();
}

void AccessLogWriter::flush()
{
    m_flush.stop();
    if (m_lines.isEmpty())
        return;
    std::fwrite(m_lines.constData(), 1, size_t(m_lines.size()), stdout);
    std::fflush(stdout);
    m_lines.clear();
}
