#include "site/http/HttpResponder.h"

#include "site/http/HttpConnection.h"

HttpResponder::HttpResponder(HttpConnection *connection, quint64 answer)
    : m_connection(connection)
    , m_answer(answer)
{
}

HttpResponder::HttpResponder(HttpResponder &&other) noexcept
    : m_connection(std::exchange(other.m_connection, nullptr))
    , m_answer(other.m_answer)
{
}

HttpResponder::~HttpResponder()
{
    if (HttpConnection *connection = live())
        connection->abandonAnswer();
}

HttpConnection *HttpResponder::live() const
{
    return m_connection && m_connection->isAnswering(m_answer) ? m_connection.data() : nullptr;
}

void HttpResponder::writeStatusLine(StatusCode status)
{
    if (HttpConnection *connection = live())
        connection->beginAnswer(status);
}

void HttpResponder::writeHeader(const QByteArray &name, const QByteArray &value)
{
    if (HttpConnection *connection = live())
        connection->addHeader(name, value);
}

void HttpResponder::writeBody(const char *data, qint64 size)
{
    if (HttpConnection *connection = live())
        connection->addBody(data, size);
}

void HttpResponder::write(const QByteArray &body, const QByteArray &mimeType, StatusCode status, const Headers &headers)
{
    writeStatusLine(status);
    writeHeader("Content-Type", mimeType);
    writeHeader("Content-Length", QByteArray::number(body.size()));
    for (const auto &[name, value] : headers)
        writeHeader(name, value);
    writeBody(body);
}

void HttpResponder::write(const Headers &headers, StatusCode status)
{
    writeStatusLine(status);
    for (const auto &[name, value] : headers)
        writeHeader(name, value);
    writeHeader("Content-Length", "0");
    writeBody(QByteArray());
}

bool HttpResponder::isComplete() const
{
    return !live();
}

QTcpSocket *HttpResponder::socket() const
{
    return m_connection ? m_connection->m_socket : nullptr;
}
