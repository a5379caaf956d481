#pragma once

#include <QString>

#include <optional>

namespace Quillmere {

// How a download's figures read to the user.
namespace TransferText {

// "512 B", "12.3 KB", "1.5 GB": binary multiples under the names people know them by, never
// more than three digits before the point.
QString size(qint64 bytes);
// "3 秒", "2 分 5 秒", "1 小时 20 分".
QString duration(qint64 seconds);
// "12.3 MB / 50.0 MB，2.1 MB/秒，剩余 18 秒"; what is unknown is left out.
QString progress(qint64 done, qint64 total, std::optional<double> bytesPerSecond, std::optional<qint64> secondsLeft);
// "网络中断，12 秒后重试（第 3 次）"; at 0 seconds the retry is under way.
QString retrying(qint64 seconds, int attempt);
// The message for a disk without room; needed is 0 when the download's size is unknown.
QString noRoom(qint64 needed, qint64 available);

}  // namespace TransferText

}  // namespace Quillmere
