#include "site/http/HttpConnection.h"

#include <QTcpSocket>

namespace {

// What the socket may hold that nobody has asked for yet: requests sent ahead, a body waiting
// for its turn.
constexpr qint64 ReadBufferBytes = 64 * 1024;

QByteArray reasonPhrase(HttpResponder::StatusCode status)
{
    using Status = HttpResponder::StatusCode;
    switch (status) {
    case Status::Ok: return "OK";
    case Status::PartialContent: return "Partial Content";
    case Status::SeeOther: return "See Other";
    case Status::BadRequest: return "Bad Request";
    case Status::Forbidden: return "Forbidden";
    case Status::NotFound: return "Not Found";
    case Status::MethodNotAllowed: return "Method Not Allowed";
    case Status::Gone: return "Gone";
    case Status::LengthRequired: return "Length Required";
    case Status::PayloadTooLarge: return "Payload Too Large";
    case Status::TooManyRequests: return "Too Many Requests";
    case Status::RequestRangeNotSatisfiable: return "Range Not Satisfiable";
    case Status::RequestHeaderFieldsTooLarge: return "Request Header Fields Too Large";
    case Status::InternalServerError: return "Internal Server Error";
    case Status::ServiceUnavailable: return "Service Unavailable";
    case Status::HttpVersionNotSupported: return "HTTP Version Not Supported";
    }
    return "Unknown";
}

HttpServer::Refusal refusalFor(RequestGuard::Verdict verdict)
{
    switch (verdict) {
    case RequestGuard::Verdict::HeadTooLarge: return HttpServer::Refusal::HeadTooLarge;
    case RequestGuard::Verdict::LengthRequired: return HttpServer::Refusal::LengthRequired;
    case RequestGuard::Verdict::BodyTooLarge: return HttpServer::Refusal::BodyTooLarge;
    case RequestGuard::Verdict::VersionNotSupported: return HttpServer::Refusal::VersionNotSupported;
    default: return HttpServer::Refusal::BadRequest;
    }
}

// The target split by hand: QUrl would read "//host/path" as a host.
QUrl targetUrl(const QByteArray &target)
{
    const qsizetype question = target.indexOf('?');
    QUrl url;
    url.setPath(QString::fromLatin1(target.first(question < 0 ? target.size() : question)), QUrl::TolerantMode);
    if (question >= 0)
        url.setQuery(QString::fromLatin1(target.sliced(question + 1)), QUrl::TolerantMode);
    return url;
}

} // namespace

HttpConnection::HttpConnection(QTcpSocket *socket, HttpServer *server, bool counted)
    : QObject(server)
    , m_socket(socket)
    , m_server(server)
    , m_limits(server->limits())
    , m_counted(counted)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(ReadBufferBytes);
    m_request.peer = m_socket->peerAddress();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HttpConnection::expire);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readMore);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    // An answer moves as long as the client takes its bytes.
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_state == State::Answering || m_state == State::Closing)
            m_timer.start(m_limits.idleTimeoutMs);
    });
}

HttpConnection::~HttpConnection()
{
    if (m_server)
        m_server->forget(this);
}

void HttpConnection::start()
{
    // A new connection has as long as a begun request to send its first head.
    m_headStarted = true;
    m_timer.start(m_limits.headTimeoutMs);
    readMore();
}

HttpResponder HttpConnection::takeOverForRefusal()
{
    return startAnswer(false, false);
}

void HttpConnection::resumeBody()
{
    m_request.body.reserve(m_request.head.contentLength);
    m_state = State::Body;
    m_timer.start(m_limits.stallTimeoutMs);
    // Not from inside the answer of the connection that gave up the slot.
    QMetaObject::invokeMethod(this, &HttpConnection::readMore, Qt::QueuedConnection);
}

void HttpConnection::readMore()
{
    if (m_dispatching)
        return;
    for (;;) {
        if (m_state == State::Head && !readHead())
            return;
        if (m_state == State::Body && !readBody())
            return;
        if (m_state != State::Head && m_state != State::Body)
            return;
    }
}

// False while the head is incomplete or the request is refused.
bool HttpConnection::readHead()
{
    const qint64 wanted = std::min(RequestGuard::MaxHeadBytes + 1 - m_buffer.size(), m_socket->bytesAvailable());
    if (wanted > 0)
        m_buffer += m_socket->read(wanted);
    while (m_buffer.startsWith("\r\n") || m_buffer.startsWith('\n'))
        m_buffer.remove(0, m_buffer.startsWith('\r') ? 2 : 1);
    if (m_buffer.isEmpty())
        return false;
    if (!m_headStarted) {
        m_headStarted = true;
        m_timer.start(m_limits.headTimeoutMs);
    }
    const RequestGuard::Result result = RequestGuard::read(m_buffer, m_limits.maxBodyBytes);
    if (result.verdict == RequestGuard::Verdict::Incomplete)
        return false;
    if (result.verdict != RequestGuard::Verdict::Complete) {
        refuse(result.verdict);
        return false;
    }
    m_request.head = result.head;
    m_request.url = targetUrl(result.head.target);
    m_request.body = QByteArray();
    m_buffer.remove(0, result.head.size);
    if (result.head.contentLength > m_limits.largeBodyBytes && m_server && !m_server->takeBodySlot(this)) {
        m_state = State::WaitingForSlot;
        m_timer.stop();
        return false;
    }
    m_request.body.reserve(result.head.contentLength);
    m_state = State::Body;
    m_timer.start(m_limits.stallTimeoutMs);
    return true;
}

// False while the body is incomplete, or when its answer leaves nothing more to read now.
bool HttpConnection::readBody()
{
    QByteArray &body = m_request.body;
    const qint64 length = m_request.head.contentLength;
    const qsizetype buffered = std::min<qint64>(length - body.size(), m_buffer.size());
    if (buffered > 0) {
        body += m_buffer.first(buffered);
        m_buffer.remove(0, buffered);
    }
    const qint64 wanted = std::min(length - body.size(), m_socket->bytesAvailable());
    if (wanted > 0) {
        const qsizetype old = body.size();
        body.resize(old + wanted);
        body.resize(old + std::max<qint64>(m_socket->read(body.data() + old, wanted), 0));
        m_timer.start(m_limits.stallTimeoutMs);
    }
    if (body.size() < length)
        return false;
    dispatch();
    return m_state == State::Head;
}

void HttpConnection::dispatch()
{
    const bool headOnly = m_request.head.method == "HEAD";
    m_dispatching = true;
    HttpResponder responder = startAnswer(m_request.head.keepAlive, headOnly);
    m_logged = false;
    m_receivedAt = QDateTime::currentDateTimeUtc();
    m_sinceReceived.start();
    if (m_server)
        m_server->handleRequest(m_request, std::move(responder));
    m_dispatching = false;
    if (m_server)
        m_server->releaseBodySlot(this);
    m_request.body = QByteArray();
}

void HttpConnection::refuse(RequestGuard::Verdict verdict)
{
    if (m_server)
        m_server->refuse(refusalFor(verdict), startAnswer(false, false));
}

void HttpConnection::expire()
{
    m_socket->abort();
    deleteLater();
}

HttpResponder HttpConnection::startAnswer(bool keepAlive, bool headOnly)
{
    m_state = State::Answering;
    m_out.clear();
    m_headersEnded = false;
    m_keepAlive = keepAlive;
    m_headOnly = headOnly;
    m_declaredLength = -1;
    m_bodySent = 0;
    m_logged = true;
    m_timer.start(m_limits.idleTimeoutMs);
    return HttpResponder(this, ++m_answer);
}

void HttpConnection::beginAnswer(HttpResponder::StatusCode status)
{
    if (m_headersEnded)
        return;
    m_status = int(status);
    m_out = "HTTP/1.1 " + QByteArray::number(int(status)) + ' ' + reasonPhrase(status) + "\r\n";
}

void HttpConnection::addHeader(const QByteArray &name, const QByteArray &value)
{
    if (m_headersEnded)
        return;
    // The connection says itself whether it stays open.
    if (name.compare("connection", Qt::CaseInsensitive) == 0)
        return;
    if (name.compare("content-length", Qt::CaseInsensitive) == 0)
        m_declaredLength = value.toLongLong();
    m_out += name + ": " + value + "\r\n";
}

void HttpConnection::addBody(const char *data, qint64 size)
{
    if (!m_headersEnded) {
        // Without a stated length only the close tells where the body ends.
        if (m_declaredLength < 0)
            m_keepAlive = false;
        if (!m_keepAlive)
            m_out += "Connection: close\r\n";
        else if (m_request.head.minorVersion == 0)
            m_out += "Connection: keep-alive\r\n";
        m_out += "\r\n";
        m_headersEnded = true;
    }
    if (!m_headOnly) {
        const qint64 take = m_declaredLength < 0 ? size : std::min(size, m_declaredLength - m_bodySent);
        if (take > 0) {
            m_out.append(data, take);
            m_bodySent += take;
        }
    }
    if (!m_out.isEmpty()) {
        m_socket->write(m_out);
        m_out.clear();
    }
    if (m_headOnly || (m_declaredLength >= 0 && m_bodySent >= m_declaredLength))
        finishAnswer();
}

void HttpConnection::abandonAnswer()
{
    if (m_headersEnded && m_declaredLength < 0) {
        finishAnswer();
        return;
    }
    logAnswer();
    m_state = State::Closing;
    m_socket->abort();
    deleteLater();
}

void HttpConnection::finishAnswer()
{
    logAnswer();
    if (!m_keepAlive) {
        m_state = State::Closing;
        m_timer.start(m_limits.idleTimeoutMs);
        m_socket->disconnectFromHost();
        return;
    }
    m_state = State::Head;
    m_headStarted = false;
    m_timer.start(m_limits.idleTimeoutMs);
    if (!m_dispatching)
        QMetaObject::invokeMethod(this, &HttpConnection::readMore, Qt::QueuedConnection);
}

void HttpConnection::logAnswer()
{
    if (m_logged || !m_server)
        return;
    m_logged = true;
    m_server->logAccess(m_request, {m_request.peer, m_receivedAt, m_request.head.method, m_request.head.target,
                                    m_request.head.minorVersion, m_status, m_bodySent, m_request.header("referer"),
                                    m_request.header("user-agent"), m_sinceReceived.nsecsElapsed() / 1000});
}
