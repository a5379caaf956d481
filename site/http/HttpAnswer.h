#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

#include <memory>
#include <optional>
#include <utility>

namespace Site {

// What the site answers to one request: a status, headers and a body, held in memory or sent
// straight from a span of an open file. The HTTP library adds Content-Length, Date and what
// the connection needs; a HEAD request gets the same head without the body.
struct HttpAnswer
{
    enum Status {
        Ok = 200,
        PartialContent = 206,
        SeeOther = 303,
        BadRequest = 400,
        Forbidden = 403,
        NotFound = 404,
        MethodNotAllowed = 405,
        Gone = 410,
        LengthRequired = 411,
        PayloadTooLarge = 413,
        RangeNotSatisfiable = 416,
        MisdirectedRequest = 421,
        UnprocessableContent = 422,
        TooManyRequests = 429,
        InternalServerError = 500,
        NotImplemented = 501,
        ServiceUnavailable = 503,
        InsufficientStorage = 507,
    };
    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    struct FileSpan
    {
        std::shared_ptr<QFile> file;  // open for reading
        qint64 offset = 0;
        qint64 length = 0;
    };

    static HttpAnswer text(const QByteArray &body, const QByteArray &mimeType, int status = Ok, Headers headers = {})
    {
        headers.prepend({"Content-Type", mimeType});
        return HttpAnswer{status, std::move(headers), body, std::nullopt, false};
    }

    int status = Ok;
    Headers headers;
    QByteArray body;
    std::optional<FileSpan> file;  // sent instead of body when set
    // Decided from the head before a body that is not worth reading: the answer goes out at
    // once, the body is not read and the connection closes.
    bool skipsBody = false;
};

}  // namespace Site
