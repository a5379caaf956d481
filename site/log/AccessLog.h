#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>

namespace Site {

// One line of the access log, in the combined format that log readers and analysers know,
// with the time taken appended:
// 203.0.113.7 - - [08/Dec/2026:17:20:31 +0000] "GET /a.zip HTTP/1.1" 200 2326 "http://x/" "Mozilla/5.0" 1520
class AccessLog
{
public:
    struct Entry
    {
        QHostAddress peer;
        QDateTime receivedAt;
        QByteArray method;
        QByteArray target;
        int minorVersion = 1;  // HTTP/1.0 or HTTP/1.1
        int status = 0;
        qint64 bodyBytes = 0;  // of the answer, as sent; below 0 when not known
        QByteArray referrer;
        QByteArray userAgent;
        qint64 microseconds = 0;  // from the whole request to the end of its answer
    };

    // The line with its line break. What the client sent is quoted with '"', '\' and bytes
    // outside printable ASCII written as \xHH, so no request can forge a line or a field.
    static QByteArray line(const Entry &entry);
};

}  // namespace Site
