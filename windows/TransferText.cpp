#include "windows/TransferText.h"

#include <QStringList>

#include <cmath>
#include <iterator>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace TransferText {

QString size(qint64 bytes)
{
    static const char *const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    // Four digits never show before the point: from 1000 of a unit on, the next unit is used,
    // so 1023.8 KB reads "1.0 MB"; the largest 64-bit count is 8.0 EB.
    if (bytes < 1000)
        return u"%1 B"_s.arg(bytes);
    double value = double(bytes) / 1024;
    int unit = 0;
    while (unit < int(std::size(units)) - 1 && std::round(value * 10) / 10 >= 1000) {
        value /= 1024;
        ++unit;
    }
    return u"%1 %2"_s.arg(value, 0, 'f', 1).arg(QLatin1StringView(units[unit]));
}

QString duration(qint64 seconds)
{
    if (seconds < 60)
        return u"%1 秒"_s.arg(seconds);
    if (seconds < 3600)
        return u"%1 分 %2 秒"_s.arg(seconds / 60).arg(seconds % 60);
    return u"%1 小时 %2 分"_s.arg(seconds / 3600).arg(seconds % 3600 / 60);
}

QString progress(qint64 done, qint64 total, std::optional<double> bytesPerSecond, std::optional<qint64> secondsLeft)
{
    QStringList parts{total > 0 ? size(done) + u" / "_s + size(total) : size(done)};
    if (bytesPerSecond)
        parts.append(size(qint64(*bytesPerSecond)) + u"/秒"_s);
    if (secondsLeft)
        parts.append(u"剩余 "_s + duration(*secondsLeft));
    // The full-width comma of Chinese text.
    return parts.join(u"，"_s);
}

QString retrying(qint64 seconds, int attempt)
{
    const QString when = seconds > 0 ? u"%1 秒后重试"_s.arg(seconds) : u"正在重试"_s;
    return u"网络中断，%1（第 %2 次）"_s.arg(when).arg(attempt);
}

QString noRoom(qint64 needed, qint64 available)
{
    const QString free = u"可用 "_s + size(available);
    return u"磁盘空间不足\n"_s + (needed > 0 ? u"还需 "_s + size(needed) + u"，"_s + free : free);
}

}  // namespace TransferText

}  // namespace Quillmere
