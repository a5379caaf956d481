#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <utility>

// Reads the head of an HTTP/1.x request from the bytes a connection has received so far, and
// decides before any body arrives whether the site takes the request: the head must be well
// formed and small, and the body of a stated length no larger than the site takes. A body of
// unstated length (chunked) is refused, since its size is known only at the end.
class RequestGuard
{
public:
    enum class Verdict {
        Incomplete,     // the head has not fully arrived yet
        Complete,
        BadRequest,
        HeadTooLarge,
        LengthRequired,
        BodyTooLarge,
        VersionNotSupported,
    };

    static constexpr qsizetype MaxHeadBytes = 64 * 1024;

    struct Head
    {
        QByteArray method;
        QByteArray target;   // as sent: a path, maybe with a query
        int minorVersion = 1;  // HTTP/1.0 or HTTP/1.1
        QList<std::pair<QByteArray, QByteArray>> headers;  // names in lower case, values trimmed
        qint64 contentLength = 0;
        bool keepAlive = true;  // whether the client expects the connection to stay open
        qsizetype size = 0;     // bytes of the head, up to and with the empty line that ends it

        // The first value of that header (name in lower case); empty when there is none.
        QByteArray header(QByteArrayView name) const;
    };

    struct Result
    {
        Verdict verdict = Verdict::Incomplete;
        Head head;  // filled when the verdict is Complete
    };

    static Result read(QByteArrayView received, qint64 maxBodyBytes);
};
