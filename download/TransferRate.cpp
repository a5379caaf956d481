#include "download/TransferRate.h"

#include <cmath>

namespace Quillmere {

void TransferRate::sample(qint64 msecs, qint64 bytesDone)
{
    m_samples.push_back({msecs, bytesDone});
    // The oldest sample kept is the last one at least a window old, so the average always
    // spans the whole window once the transfer has run that long.
    while (m_samples.size() > 2 && msecs - m_samples[1].msecs >= WindowMs)
        m_samples.pop_front();
}

std::optional<double> TransferRate::bytesPerSecond() const
{
    if (m_samples.size() < 2 || m_samples.back().msecs <= m_samples.front().msecs)
        return std::nullopt;
    const double bytes = double(m_samples.back().bytes - m_samples.front().bytes);
    return std::max(bytes, 0.0) * 1000.0 / double(m_samples.back().msecs - m_samples.front().msecs);
}

std::optional<qint64> TransferRate::secondsLeft(qint64 total) const
{
    const std::optional<double> speed = bytesPerSecond();
    if (!speed || *speed <= 0 || total <= 0)
        return std::nullopt;
    return qint64(std::ceil(double(std::max<qint64>(total - m_samples.back().bytes, 0)) / *speed));
}

}  // namespace Quillmere
