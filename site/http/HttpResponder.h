#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>

#include <utility>

class HttpConnection;
class QTcpSocket;

// Writes the answer to one request: status line, headers, then a body of the stated
// Content-Length. The answer is over when that many body bytes have gone out (at once when
// the request was HEAD, which gets no body); the connection then reads the next request or
// closes. A responder dropped before its answer is complete cuts the connection, the only
// way left to tell the client that the answer is short.
class HttpResponder
{
public:
    enum class StatusCode {
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
        TooManyRequests = 429,
        RequestRangeNotSatisfiable = 416,
        RequestHeaderFieldsTooLarge = 431,
        InternalServerError = 500,
        ServiceUnavailable = 503,
        HttpVersionNotSupported = 505,
    };
    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    HttpResponder(HttpConnection *connection, quint64 answer);
    HttpResponder(HttpResponder &&other) noexcept;
    HttpResponder &operator=(HttpResponder &&) = delete;
    ~HttpResponder();

    void writeStatusLine(StatusCode status);
    void writeHeader(const QByteArray &name, const QByteArray &value);
    // The first call ends the headers, also with no data.
    void writeBody(const char *data, qint64 size);
    void writeBody(const QByteArray &body) { writeBody(body.constData(), body.size()); }

    // A whole answer in one call.
    void write(const QByteArray &body, const QByteArray &mimeType, StatusCode status = StatusCode::Ok,
               const Headers &headers = {});
    void write(const Headers &headers, StatusCode status);

    // True once the whole answer is written; nothing more is taken then.
    bool isComplete() const;
    QTcpSocket *socket() const;

private:
    HttpConnection *live() const;

    QPointer<HttpConnection> m_connection;
    quint64 m_answer;
};
