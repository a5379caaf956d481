#pragma once

#include <QtGlobal>

#include <deque>
#include <optional>

namespace Quillmere {

// The speed of a transfer averaged over its last few seconds, and the time it needs for the
// rest at that speed. Fed with the bytes done at moments in milliseconds from any clock.
class TransferRate
{
public:
    static constexpr qint64 WindowMs = 5000;

    void sample(qint64 msecs, qint64 bytesDone);
    // Nothing until two samples lie apart in time.
    std::optional<double> bytesPerSecond() const;
    // Nothing while the speed is unknown or zero, or the total is unknown (0).
    std::optional<qint64> secondsLeft(qint64 total) const;

private:
    struct Sample
    {
        qint64 msecs;
        qint64 bytes;
    };
    std::deque<Sample> m_samples;
};

}  // namespace Quillmere
